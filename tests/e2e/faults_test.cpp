// Injected faults, end to end through launcher copies: a held log file, a log
// folder that cannot be made, INI files that are folders or junk, an
// interpreter that cannot start, a killed child, a skipped or failed staging,
// too many words and characters. Each run ends with its exit code and message,
// and every line of its log is a whole record.
#include <cerrno>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

std::string done(int exitCode) { return "INFO Ho finito il mio lavoro! - exitCode=" + std::to_string(exitCode); }

// One fault: file is made in the task folder before the run, a folder when
// its name ends in "\"; keys are log records found in order, the last one
// last (no keys: no log); err is standard error before the ERROR texts, "@"
// standing for the task folder; fallback: the log is the caller's log.txt;
// holdMs: how long another process holds the log from the start.
struct Fault { const char *name, *exeName, *file; std::string bytes; int exitCode; Texts keys, args = {"-q"};
               std::string err = ""; bool fallback = false; int holdMs = 0; };

// Checks a finished run of c in folder and returns its log's records as
// "LABEL text": every line is a whole record and the keys are there; standard
// error is err then each ERROR text; standard output is empty, or each INFO
// text when the log fell back to log.txt (application "?"); the script got the
// first 126 arguments after its own name, unless the launcher ended with 1 or 4.
Texts checkRun(const ts::RunResult &r, const Fault &c, const std::string &folder, const std::string &log,
               std::string err)
{
    Texts records, words{std::string(c.exeName, strlen(c.exeName) - 4) + ".a3x"}, got;
    std::string info, report = ts::join(folder, "r.txt");
    for (const std::string &line : ts::lines(ts::readFile(log))) {
        ts::LogRecord rec;
        EXPECT_TRUE(ts::parseLogRecord(line, &rec) && rec.app == (c.fallback ? "?" : "frascombe_a3x") &&
                    rec.version == "1.1.1.7") << c.name << ": not a whole record: " << line;
        records.push_back(rec.label + " " + rec.text);
        (rec.label == "ERROR" ? err : info) += rec.text + "\n";
    }
    size_t found = 0;
    for (const std::string &text : records) found += found < c.keys.size() && text == c.keys[found];
    EXPECT_EQ(found, c.keys.size()) << c.name << ": the log lacks " << (found < c.keys.size() ? c.keys[found] : "");
    EXPECT_EQ(records.empty() ? "" : records.back(), c.keys.empty() ? "" : c.keys.back()) << c.name;
    EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(ts::lf(r.err), err) << c.name;
    EXPECT_EQ(ts::lf(r.out), c.fallback ? info : "") << c.name;
    words.insert(words.end(), c.args.begin(), c.args.begin() + (c.args.size() < 126 ? c.args.size() : 126));
    if (c.exitCode == 1 || c.exitCode == 4) words.clear();
    for (int i = 0; !words.empty() && i < 150 && !ts::fileExists(report); i++) win_sleep(100);
    got = ts::readReport(report).args;
    EXPECT_EQ(got.empty() ? got : Texts(got.begin() + 1, got.end()), words) << c.name;
    return records;
}

// Each task gets a new folder with the launcher copy, the stand-in, a script
// that reports its words and exits 6, and an empty INI (frascombe_a3x.ini for
// task.exe, connettoreclient.ini for other names). On Windows ERROR_BAD_EXE_FORMAT
// (193) or ERROR_ACCESS_DENIED (5), natively ENOEXEC or EACCES; a killed child
// ends natively with 128 + SIGTERM, on Windows with the runtime's 3. The word
// table keeps the launcher and 126 arguments; parameters past 1999 characters
// are refused while being built. A log held for three seconds makes the first
// record retry until it is let go (a log held past the tries: heldlog_test):
// only Windows can hold a file against the launcher, POSIX locks being advisory.
TEST(Fault, EndsWithItsExitCodeAndMessage)
{
    const bool win = ts::onWindows();
    const std::string run = "ERROR Errore durante l'esecuzione del comando: Errore durante l'esecuzione del comando: ";
    const std::string noExe = run + std::to_string(win ? 193 : ENOEXEC), noDir = run + std::to_string(win ? 5 : EACCES);
    const std::string gone = ts::join(ts::makeWorkFolder("connector"), "gone");
    const std::string goesOn = "INFO L'esecuzione comunque continua", noOpen = "Impossibile aprire il file di log.\n";
    std::string junk;  // every byte value in a scrambled order, a line end every 256 bytes
    for (int i = 0; i < 8192; i++) junk += (char)(i * 7919);
    Texts many(200, "w");   // a 29000-character 127th argument and -q as the 200th, both past those kept
    many[126] = std::string(29000, 't'), many[199] = "-q";
    const Fault cases[] = {
        {"INI is a folder", "task.exe", "frascombe_a3x.ini\\", "", 1, {}, {"-q"},
         "Errore caricamento da conf_load del file '@\\frascombe_a3x.ini' -> ESCO\n"},
        {"INI holds junk", "task.exe", "connettoreclient.ini", junk, 6, {"INFO Ambiente: CONNETTORI", done(6)}},
        {"export tool's Log folder is a file", "XXquenbarodis.exe", "Log", "x", 6, {done(6)}, {"-q"},
         "Impossibile creare la struttura delle directory per il file di log.\n", true},
        {"text as the interpreter", "task.exe", "autoit3.exe", "text", 1, {noExe, done(1)}},
        {"a folder as the interpreter", "task.exe", "autoit3.exe\\", "", 1, {noDir, done(1)}},
        {"child killed", "task.exe", "task.a3x", "report r.txt\nsignal\n", win ? 3 : 143, {done(win ? 3 : 143)}},
        {"no connector folder named", "VANTOR.EXE", "", "", 6, {"INFO VANTOR", "ERROR prepareVantor: Non e' "
         "valorizzato pathconnettore. Impossibile eseguire prepareVantor.", goesOn, done(6)}},
        {"connector folder gone", "QODvantor.exe", "connettoreclient.ini", "[main]\n$pathconnettore=" + gone, 6,
         {"INFO VANTOR", "ERROR prepareVantor KO Eseguibile Autoit3.exe [" + gone + "\\autoit3.exe] non trovato",
          goesOn, done(6)}},
        {"200 arguments", "task.exe", "", "", 0, {"INFO wait: false", done(0)}, many},
        {"one 30000-character word", "task.exe", "", "", 4, {"ERROR Errore: la dimensione massima del buffer "
         "'command' \xE8 stata superata.", "ERROR Errore durante la costruzione dei parametri del comando."},
         {"-q", std::string(30000, 'x')}},
        {"log released while the first record retries", "task.exe", "", "", 6, {done(6)}, {"-q"}, "", false, 3000},
    };
    for (const Fault &c : cases) {
        if (c.holdMs > 0 && !win) continue;
        std::string folder = ts::makeWorkFolder("fault"), caller = ts::makeWorkFolder("caller"), err = c.err, lost;
        std::string base = std::string(c.exeName, strlen(c.exeName) - 4), log = ts::join(folder, base + ".log");
        std::string exe = ts::layTask(folder, c.exeName), file = ts::join(folder, c.file), ready = folder + "\\ready";
        ts::writeFile(ts::join(folder, base + ".a3x"), "report r.txt\nexit 6\n");
        ts::writeFile(ts::join(folder, base == "task" ? "frascombe_a3x.ini" : "connettoreclient.ini"), "");
        bool isFolder = *c.file && file.back() == '\\';
        if (isFolder) file.pop_back(), win_removeFile(file.c_str());
        ASSERT_TRUE(!*c.file || (isFolder ? ts::makeFolder(file) : ts::writeFile(file, c.bytes))) << c.name;
        if (err.find('@') != std::string::npos) err.replace(err.find('@'), 1, folder);
        std::string holder = ts::commandLine(ts::builtProgram("holdfile"), {log, std::to_string(c.holdMs), ready});
        char errorText[VEK_TEXT_SIZE];
        ASSERT_TRUE(c.holdMs == 0 || win_executeCommand(&holder[0], folder.c_str(), false, errorText) == 0) << c.name;
        for (int i = 0; c.holdMs > 0 && i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        ts::RunResult r = ts::run(ts::commandLine(exe, c.args), caller);
        // The records that found the log held to the end, each lost with one message.
        for (const std::string &line : ts::lines(r.err)) lost += line + "\n" == noOpen ? noOpen : "";
        Texts records = checkRun(r, c, folder, c.fallback ? ts::join(caller, "log.txt") : log, lost + err);
        EXPECT_EQ(ts::fileExists(ts::join(caller, "log.txt")), c.fallback) << c.name;
        EXPECT_TRUE(c.holdMs == 0 || (records.size() + lost.size() / noOpen.size() == 9 &&
                                      lost.empty() == (c.holdMs < 5000))) << c.name << ": nine records logged or lost";
    }
}

}  // namespace
