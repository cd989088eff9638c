// How launches fail, end to end through launcher copies: files missing or too
// long a path away, an INI file that is a folder, a log folder that
// cannot be made, an interpreter that cannot start, a failed staging, too
// many words and characters, and a launcher whose own path is too long. Each
// run ends with its exit code and message, and every line of its log is a
// whole record. A held log file has its own file (heldlog_test).
#include <cerrno>

#include "tasklaunch.h"

using namespace ts;

// Each task folder is a new one, or one of folderLength characters; its script
// reports its words and exits 6 unless the row says otherwise. Checked: the
// exit code; records, expected in their order and the last one last (none: no
// log); standard error: err, then the text of each ERROR record; standard
// output: empty, or the text of each INFO record when the log fell back to
// log.txt in the caller's folder; and the words the script got: the first 126
// arguments, none when the launcher ended with 1 (before the log exists) or 4.
// Text as the interpreter fails with ERROR_BAD_EXE_FORMAT (193) on Windows,
// ENOEXEC natively. The interpreter's command holds 1999 characters at most:
// 150 of the folder, the 25 around it ("\"", "\autoit3.exe\" task.a3x  ") and
// 1824 of the arguments make 1999; a folder of 151 makes 2000, refused with
// every word still logged. Parameters of 2000 characters are refused while
// being built, with one more record. When both interpreter and script are
// missing, the interpreter is named alone. A log name of 256 characters
// leaves no room for ".log" in a path.
TEST(LauncherFailure, EndsWithItsExitCodeAndMessage)
{
    auto done = [](int code) { return "INFO Ho finito il mio lavoro! - exitCode=" + std::to_string(code); };
    const std::string SIX = REPORT + "exit 6\n", RUN = "Errore durante l'esecuzione del comando: ";
    const std::string BESIDE = " non e' presente nella stessa directory dell'eseguibile.", NAME(256, 'n');
    const std::string TOO_LONG =
        "ERROR Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";
    const std::string work = ts::makeWorkFolder("failures"), gone = ts::join(work, "gone");
    Texts many(200, "w");   // a 29000-character 127th argument and -q as the 200th, both past those kept
    many[126] = std::string(29000, 't');
    many[199] = "-q";
    const Files FOLDER_INI = {{"connettoreclient.ini\\", ""}, {"frascombe_a3x.ini", ""}};
    const Files LOG_IS_A_FILE = {{"connettoreclient.ini", ""}, {"Log", ""}};
    const Files TEXT_EXE = {{"frascombe_a3x.ini", ""}, {"autoit3.exe", "text"}};
    const Files GONE = {{"connettoreclient.ini", "[main]\n$pathconnettore=" + gone}};
    const struct { const char *name; size_t folderLength; Task task; Texts args; int exitCode;
                   std::string log; Texts records, err; } cases[] = {
        {"INI path too long", 245, {"t.exe", SIX, true, {}}, {"-q"}, 1, "{F}\\t.log", {},
         {"File ini non valorizzato -> ESCO"}},
        {"INI is a folder", 0, {"task.exe", SIX, true, FOLDER_INI}, {"-q"}, 1, "{F}\\task.log", {},
         {"Errore caricamento da conf_load del file '{F}\\connettoreclient.ini' -> ESCO"}},
        {"log name of 256 characters", 0, {"vantor.exe"}, {"x", "y", NAME}, 1, "{F}\\vantor.log", {},
         {"Nome del file di log '" + NAME + "' troppo lungo -> ESCO"}},
        {"neither interpreter nor script", 0, {"task.exe", "", false}, {"-q"}, 4, "{F}\\task.log",
         {"ERROR Il file autoit3.exe" + BESIDE}, {}},
        {"no script", 0, {"task.exe", ""}, {"-q"}, 4, "{F}\\task.log",
         {"ERROR Il file {F}\\task.a3x" + BESIDE}, {}},
        {"script path too long", 241, {"abcdefghijklmn.x", "", true, {{"Esegui_da_qod.ini", ""}}}, {"-q"}, 4,
         "{F}\\Esegui_da_QOD.log",
         {"ERROR Il percorso del file {F}\\abcdefghijklmn.a3x e' troppo lungo."}, {}},
        {"command of 1999 characters", 150, {"task.exe", SIX}, {"-q", std::string(1819, 'a'), "b"}, 6,
         "{F}\\task.log", {done(6)}, {}},
        {"command of 2000 characters", 151, {"task.exe"}, {"-q", std::string(1819, 'a'), "b"}, 4,
         "{F}\\task.log", {"INFO Parametro che NON necessita di protezione [b] ", TOO_LONG}, {}},
        {"parameters of 1999 characters", 0, {"task.exe"}, {std::string(1998, 'p')}, 4, "{F}\\task.log",
         {TOO_LONG}, {}},
        {"parameters of 2000 characters", 0, {"task.exe"}, {"-q", std::string(1996, 'p')}, 4, "{F}\\task.log",
         {TOO_LONG, "ERROR Errore durante la costruzione dei parametri del comando."}, {}},
        {"export tool's Log folder is a file", 0, {"XXquenbarodis.exe", SIX, true, LOG_IS_A_FILE}, {"-q"}, 6,
         "{C}\\log.txt", {done(6)}, {"Impossibile creare la struttura delle directory per il file di log."}},
        {"text as the interpreter", 0, {"task.exe", SIX, true, TEXT_EXE}, {"-q"}, 1, "{F}\\task.log",
         {"ERROR " + RUN + RUN + std::to_string(ts::onWindows() ? 193 : ENOEXEC), done(1)}, {}},
        {"connector folder gone", 0, {"QODvantor.exe", SIX, true, GONE}, {"-q"}, 6, "{F}\\QODvantor.log",
         {"ERROR prepareVantor KO Eseguibile Autoit3.exe [" + gone + "\\autoit3.exe] non trovato",
          "INFO L'esecuzione comunque continua", done(6)}, {}},
        {"200 arguments", 0, {"task.exe"}, many, 0, "{F}\\task.log", {"INFO wait: false", done(0)}, {}},
    };
    for (const auto &c : cases) {
        std::string folder;   // a new one, unless the row gives its length
        if (c.folderLength > 0) folder = ts::join(work, std::string(c.folderLength - 1 - work.size(), 'd'));
        Launch run = launch(c.task, c.args, c.log, folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        size_t found = 0;   // how many of the expected records the log holds in their order
        for (const std::string &line : run.log) found += found < c.records.size() && line == c.records[found];
        EXPECT_EQ(found, c.records.size()) << c.name << ": the log lacks the record after " << found;
        EXPECT_EQ(run.log.empty() ? "" : run.log.back(), c.records.empty() ? "" : c.records.back()) << c.name;
        Texts err = c.err, info;   // standard error: err, then each ERROR text; INFO texts apart
        for (const std::string &record : run.log) {
            if (record.compare(0, 6, "ERROR ") == 0) err.push_back(record.substr(6));
            else info.push_back(record.substr(5));
        }
        EXPECT_EQ(run.err, err) << c.name;
        EXPECT_EQ(run.out, c.log == "{C}\\log.txt" ? info : Texts{}) << c.name;
        Texts words(c.args.begin(), c.args.begin() + std::min<size_t>(c.args.size(), 126));
        EXPECT_EQ(run.received, c.exitCode == 1 || c.exitCode == 4 ? Texts{} : words) << c.name;
    }
}

// A launcher whose own path has 260 characters or more would read it cut,
// naming another folder and script: it stops at once with exit code 1. Wine
// starts no such program; Win32Identity.OwnPathInTheAnsiCodePage runs the
// Win32 bound there.
TEST(LauncherFailure, OwnPathOver259Characters)
{
    std::string deep = ts::makeWorkFolder("ownpath");
    while (deep.size() < 200) ts::makeFolder(deep = ts::join(deep, std::string(40, 'd')));
    std::string exe = ts::layTask(deep, std::string(260 - deep.size() - 5, 'n') + ".exe", false);
    ts::RunResult r = ts::run(ts::commandLine(exe, {"-q"}), deep);
    if (ts::onWindows() && !r.startError.empty()) {
        GTEST_SKIP() << "Wine starts no program whose path has 260 characters or more: " << r.startError;
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ts::lf(r.err), "Errore durante l'ottenimento del percorso dell'eseguibile.\n");
}
