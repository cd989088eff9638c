// Injected faults, end to end through launcher copies: a held log file, log
// folders that cannot be made, INI files that are folders or junk, an
// interpreter that cannot start, a killed child, a vanished connector, too many
// words and characters. Each run ends with its exit code and message, and every
// line of its log is a whole record.
#include <cerrno>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

std::string done(int exitCode) { return "INFO Ho finito il mio lavoro! - exitCode=" + std::to_string(exitCode); }

struct Task { std::string folder, exe, base, log, report; };

// A launcher copy in a new work folder, the stand-in beside it, a script that
// reports its words and exits 6, and an empty INI: frascombe_a3x.ini for
// task.exe, connettoreclient.ini for other names.
Task newTask(const std::string &exeName)
{
    std::string folder = ts::makeWorkFolder("fault"), base = exeName.substr(0, exeName.rfind('.'));
    Task t{folder, ts::layTask(folder, exeName), base, ts::join(folder, base + ".log"), ts::join(folder, "r.txt")};
    ts::writeFile(ts::join(t.folder, t.base + ".a3x"), "report r.txt\nexit 6\n");
    ts::writeFile(ts::join(t.folder, t.base == "task" ? "frascombe_a3x.ini" : "connettoreclient.ini"), "");
    return t;
}

// Checks a finished run and returns its log's records as "LABEL text": every
// line is a whole record; keys are found in order, the last one last (no keys:
// no log); standard error is errPrefix then each ERROR text; standard output is
// empty, or each INFO text when the log fell back to the caller's log.txt (app
// "?"); the script got words after its interpreter's path (waited for).
Texts checkRun(const ts::RunResult &r, int exitCode, const std::string &log, const Texts &keys, const Task &t,
               const Texts &words, const std::string &what, const std::string &errPrefix = "", bool fallback = false)
{
    Texts records;
    std::string err = errPrefix, info;
    for (const std::string &line : ts::lines(ts::readFile(log))) {
        ts::LogRecord rec;
        EXPECT_TRUE(ts::parseLogRecord(line, &rec) && rec.app == (fallback ? "?" : "frascombe_a3x") &&
                    rec.version == "1.1.1.7") << what << ": not a whole record: " << line;
        records.push_back(rec.label + " " + rec.text);
        (rec.label == "ERROR" ? err : info) += rec.text + "\n";
    }
    size_t found = 0;
    for (const std::string &text : records) found += found < keys.size() && text == keys[found];
    EXPECT_EQ(found, keys.size()) << what << ": the log lacks " << (found < keys.size() ? keys[found] : "");
    EXPECT_EQ(records.empty() ? "" : records.back(), keys.empty() ? "" : keys.back()) << what;
    EXPECT_EQ(r.exitCode, exitCode) << what;
    EXPECT_EQ(ts::lf(r.err), err) << what;
    EXPECT_EQ(ts::lf(r.out), fallback ? info : "") << what;
    for (int i = 0; !words.empty() && i < 150 && !ts::fileExists(t.report); i++) win_sleep(100);
    Texts got = ts::readReport(t.report).args;
    EXPECT_EQ(got.empty() ? got : Texts(got.begin() + 1, got.end()), words) << what;
    return records;
}

TEST(FaultLog, HeldByAnotherProcess)
{
    if (!ts::onWindows()) GTEST_SKIP() << "POSIX locks are advisory: no process can hold a file against the launcher";
    // A record retries five times about a second apart, then is lost with one message.
    const std::string noOpen = "Impossibile aprire il file di log.\n";
    const struct { const char *name; int holdMs; bool lost; } cases[] = {
        {"released while the first record retries", 3000, false}, {"held past the five tries", 8000, true}};
    for (const auto &c : cases) {
        Task t = newTask("task.exe");
        std::string ready = ts::join(t.folder, "ready"), lost;
        std::string holder = ts::commandLine(ts::builtProgram("holdfile"), {t.log, std::to_string(c.holdMs), ready});
        char errorText[VEK_TEXT_SIZE];
        ASSERT_EQ(win_executeCommand(&holder[0], t.folder.c_str(), false, errorText), 0) << c.name;
        for (int i = 0; i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        ts::RunResult r = ts::run(ts::commandLine(t.exe, {"-q"}), ts::makeWorkFolder("caller"));
        for (const std::string &line : ts::lines(r.err)) lost += line + "\n" == noOpen ? noOpen : "";
        Texts log = checkRun(r, 6, t.log, {done(6)}, t, {"task.a3x", "-q"}, c.name, lost);
        EXPECT_EQ(log.size() + lost.size() / noOpen.size(), 9u) << c.name << ": each of nine records logged or lost";
        EXPECT_EQ(!lost.empty(), c.lost) << c.name;
    }
}

TEST(FaultRun, EndsWithItsExitCodeAndMessage)
{
    // On Windows ERROR_BAD_EXE_FORMAT (193) or ERROR_ACCESS_DENIED (5), natively
    // ENOEXEC or EACCES; a killed child ends natively with 128 + SIGTERM, on
    // Windows with the runtime's 3. The word table keeps the launcher and 126
    // arguments; parameters past 1999 characters are refused while being built.
    const bool win = ts::onWindows();
    const std::string run = "ERROR Errore durante l'esecuzione del comando: Errore durante l'esecuzione del comando: ";
    const std::string noExe = run + std::to_string(win ? 193 : ENOEXEC), noDir = run + std::to_string(win ? 5 : EACCES);
    const Texts refused = {"ERROR Errore: la dimensione massima del buffer 'command' \xE8 stata superata.",
                           "ERROR Errore durante la costruzione dei parametri del comando."};
    const std::string gone = ts::join(ts::makeWorkFolder("connector"), "gone");
    std::string junk;  // every byte value in a scrambled order, a line end every 256 bytes
    for (int i = 0; i < 8192; i++) junk += (char)(i * 7919);
    Texts qFirst(200, "w"), qLast(200, "w"), longLast(127, "w");
    qFirst[0] = qLast[199] = longLast[125] = "-q", longLast[126] = std::string(29000, 't');
    // file: made in the task folder before the run, a folder when its name ends
    // in "\"; err: standard error before the ERROR texts, "@" standing for the
    // task folder; fallback: the log is the caller's log.txt.
    const struct { const char *name, *exeName, *file; std::string bytes; int exitCode; Texts keys;
                   Texts args = {"-q"}; std::string err = ""; bool fallback = false; } cases[] = {
        {"INI is a folder", "task.exe", "frascombe_a3x.ini\\", "", 1, {}, {"-q"},
         "Errore caricamento da conf_load del file '@\\frascombe_a3x.ini' -> ESCO\n"},
        {"INI holds junk", "task.exe", "connettoreclient.ini", junk, 6, {"INFO Ambiente: CONNETTORI", done(6)}},
        {"export tool's Log folder is a file", "XXquenbarodis.exe", "Log", "x", 6, {done(6)}, {"-q"},
         "Impossibile creare la struttura delle directory per il file di log.\n", true},
        {"log file name is a folder", "task.exe", "task.log\\", "", 6, {done(6)}, {"-q"},
         "Il percorso del file di log punta gi\xE0" " ad una directory esistente.\n", true},
        {"text as the interpreter", "task.exe", "autoit3.exe", "text", 1, {noExe, done(1)}},
        {"a folder as the interpreter", "task.exe", "autoit3.exe\\", "", 1, {noDir, done(1)}},
        {"child killed", "task.exe", "task.a3x", "report r.txt\nsignal\n", win ? 3 : 143, {done(win ? 3 : 143)}},
        {"connector folder gone", "QODvantor.exe", "connettoreclient.ini", "[main]\n$pathconnettore=" + gone, 6,
         {"INFO VANTOR", "ERROR prepareVantor KO Eseguibile Autoit3.exe [" + gone + "\\autoit3.exe] non trovato",
          "INFO L'esecuzione comunque continua", done(6)}},
        {"200 arguments, -q first", "task.exe", "", "", 6, {"INFO wait: true", done(6)}, qFirst},
        {"-q as the 200th argument", "task.exe", "", "", 0, {"INFO wait: false", done(0)}, qLast},
        {"a 29000-character 127th argument", "task.exe", "", "", 6, {done(6)}, longLast},
        {"one 30000-character word", "task.exe", "", "", 4, refused, {"-q", std::string(30000, 'x')}},
        {"120 words of 250", "task.exe", "", "", 4, refused, Texts(120, std::string(250, 'y'))}};
    for (const auto &c : cases) {
        Task t = newTask(c.exeName);
        std::string file = ts::join(t.folder, c.file), caller = ts::makeWorkFolder("caller"), err = c.err;
        bool folder = *c.file && file.back() == '\\';
        if (folder) file.pop_back(), win_removeFile(file.c_str());
        ASSERT_TRUE(!*c.file || (folder ? ts::makeFolder(file) : ts::writeFile(file, c.bytes))) << c.name;
        if (err.find('@') != std::string::npos) err.replace(err.find('@'), 1, t.folder);
        ts::RunResult r = ts::run(ts::commandLine(t.exe, c.args), caller);
        Texts words{t.base + ".a3x"};  // the first 126 arguments, none when the script never started
        words.insert(words.end(), c.args.begin(), c.args.begin() + (c.args.size() < 126 ? c.args.size() : 126));
        if (c.exitCode == 1 || c.exitCode == 4) words.clear();
        checkRun(r, c.exitCode, c.fallback ? ts::join(caller, "log.txt") : t.log, c.keys, t, words, c.name, err,
                 c.fallback);
        EXPECT_EQ(ts::fileExists(ts::join(caller, "log.txt")), c.fallback) << c.name;
    }
}

}  // namespace
