// Injected faults, end to end through launcher copies: a log file held by
// another process, log folders that cannot be made, INI files that are folders
// or junk, an interpreter that cannot start, a killed child, a connector folder
// that loses its files during staging, too many words and too many characters
// on the command line. Every run ends with its exit code and messages, and
// every log holds whole records only.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

const char *const NO_OPEN = "Impossibile aprire il file di log.";
const char *const RUN_ERROR = "Errore durante l'esecuzione del comando: ";
const char *const TOO_LONG = "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";
const char *const NO_PARAMS = "Errore durante la costruzione dei parametri del comando.";
const char *const SCRIPT = "report r.txt\nexit 6\n";

struct Task {
    std::string folder, exe, base;
};

// A launcher copy named exeName in a new work folder, the stand-in beside it
// unless told not to, its script, and an empty frascombe_a3x.ini.
Task newTask(const std::string &work, const std::string &exeName, const std::string &script = SCRIPT,
             bool interpreter = true)
{
    Task task;
    task.folder = ts::makeWorkFolder(work);
    task.exe = ts::layTask(task.folder, exeName, interpreter);
    task.base = exeName.substr(0, exeName.rfind('.'));
    ts::writeFile(ts::join(task.folder, task.base + ".a3x"), script);
    ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
    return task;
}

ts::RunResult launch(const Task &task, const Texts &args, const std::string &caller = "")
{
    return ts::run(ts::commandLine(task.exe, args), caller.empty() ? ts::makeWorkFolder("caller") : caller);
}

std::string noCR(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// "LABEL text" of every record of a log file written by app with the fixed
// version; a line that is no record continues the one before it (a text that
// holds line feeds). Carriage returns are dropped.
Texts records(const std::string &path, const std::string &app = "frascombe_a3x")
{
    Texts result;
    for (const std::string &line : ts::lines(noCR(ts::readFile(path)))) {
        ts::LogRecord record;
        if (!ts::parseLogRecord(line, &record)) {
            EXPECT_FALSE(result.empty()) << path << " starts with a broken line: " << line;
            if (!result.empty()) result.back() += "\n" + line;
            continue;
        }
        EXPECT_EQ(record.app + " " + record.version, app + " 1.1.1.7") << line;
        result.push_back(record.label + " " + record.text);
    }
    return result;
}

Texts operator+(Texts a, const Texts &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A record as records() gives it, its text cut to 1999 characters as the
// launcher's message buffer cuts it.
std::string rec(const std::string &label, const std::string &text)
{
    return label + " " + text.substr(0, VEK_TEXT_SIZE - 1);
}

Texts startLines(const std::string &environment, const Task &task)
{
    return {rec("INFO", "Ambiente: " + environment), rec("INFO", "Directory dell'eseguibile: " + task.folder),
            rec("INFO", "Nome dell'eseguibile: " + task.base)};
}

// The two lines of each parameter, for words without blanks or quotes.
Texts paramLines(const Texts &args)
{
    Texts result;
    for (const std::string &a : args) {
        std::string length = std::to_string(a.size() + 1);
        result.push_back(rec("INFO", "Lunghezza necessaria per il parametro " + a + ": " + length));
        result.push_back(rec("INFO", "Parametro che NON necessita di protezione [" + a + "] "));
    }
    return result;
}

// The lines of the run itself, with the command for args.
Texts runLines(const Task &task, const Texts &args, bool wait, int exitCode, const std::string &error = "")
{
    std::string command = "\"" + task.folder + "\\autoit3.exe\" " + task.base + ".a3x" + (args.empty() ? "" : " ");
    for (const std::string &a : args) command += " " + a;
    Texts result{rec("INFO", "Eseguo: " + command), rec("INFO", std::string("wait: ") + (wait ? "true" : "false"))};
    if (exitCode != 0) result.push_back(rec("ERROR", RUN_ERROR + error));
    return result + Texts{rec("INFO", "Ho finito il mio lavoro! - exitCode=" + std::to_string(exitCode))};
}

// The whole log of a run with the one argument -q, extra lines after the start-up.
Texts waitLog(const Task &task, const std::string &environment, int exitCode, const Texts &extra = {},
              const std::string &error = "")
{
    return startLines(environment, task) + extra + paramLines({"-q"}) + runLines(task, {"-q"}, true, exitCode, error);
}

// What the console shows of the records with label: their texts, each with "\n".
std::string console(const Texts &log, const std::string &label)
{
    std::string text;
    for (const std::string &r : log) {
        if (r.compare(0, label.size() + 1, label + " ") == 0) text += r.substr(label.size() + 1) + "\n";
    }
    return text;
}

// Exit code and both streams of a run (carriage returns dropped).
void expectRun(const ts::RunResult &r, int exitCode, const std::string &out, const std::string &err,
               const std::string &what)
{
    EXPECT_EQ(r.exitCode, exitCode) << what;
    EXPECT_EQ(noCR(r.out), out) << what;
    EXPECT_EQ(noCR(r.err), err) << what;
}

// The words the script received after the interpreter's own path; waits
// for a script that runs on by itself.
Texts received(const Task &task)
{
    std::string path = ts::join(task.folder, "r.txt");
    for (int i = 0; i < 150 && !ts::fileExists(path); i++) win_sleep(100);
    Texts args = ts::readReport(path).args;
    return args.empty() ? args : Texts(args.begin() + 1, args.end());
}

// The words "w<from>" to "w<to>".
Texts words(int from, int to)
{
    Texts result;
    for (int n = from; n <= to; n++) result.push_back("w" + std::to_string(n));
    return result;
}

// --- The log -------------------------------------------------------------------------

TEST(FaultLog, HeldByAnotherProcess)
{
    if (!ts::onWindows()) GTEST_SKIP() << "POSIX locks are advisory: no process can hold a file against the launcher";
    // linesLost: the first lines outlast their five tries; minMs: the
    // launcher's least run time once the file is held.
    const struct { const char *name; int holdMs; bool linesLost; long minMs; } cases[] = {
        {"released while the first line retries", 3000, false, 2000},
        {"held past the five tries", 8000, true, 5000},
    };
    for (const auto &c : cases) {
        Task task = newTask("held", "task.exe");
        std::string log = ts::join(task.folder, "task.log");
        std::string ready = ts::join(task.folder, "ready");
        std::string holder = ts::commandLine(ts::builtProgram("holdfile"), {log, std::to_string(c.holdMs), ready});
        std::vector<char> buffer(holder.begin(), holder.end());
        buffer.push_back('\0');
        char errorText[VEK_TEXT_SIZE];
        ASSERT_EQ(win_executeCommand(buffer.data(), task.folder.c_str(), false, errorText), 0) << c.name;
        for (int i = 0; i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        ASSERT_TRUE(ts::fileExists(ready)) << c.name;
        auto start = std::chrono::steady_clock::now();
        ts::RunResult r = launch(task, {"-q"});
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

        // A line that outlasts its tries is lost with one message; those are
        // the first lines, and every line after the release is in the file.
        Texts err = ts::lines(r.err);
        size_t lost = (size_t)std::count(err.begin(), err.end(), std::string(NO_OPEN));
        Texts expected = waitLog(task, "ALTRO", 6);
        ASSERT_LT(lost, expected.size()) << c.name;
        EXPECT_EQ(lost > 0, c.linesLost) << c.name;
        EXPECT_GE(ms.count(), c.minMs) << c.name;
        EXPECT_EQ(r.exitCode, 6) << c.name;
        EXPECT_EQ(records(log), Texts(expected.begin() + lost, expected.end())) << c.name;
        Texts expectedErr;
        for (size_t i = 0; i < expected.size(); i++) {
            if (expected[i].compare(0, 6, "ERROR ") == 0) expectedErr.push_back(expected[i].substr(6));
            if (i < lost) expectedErr.push_back(NO_OPEN);
        }
        EXPECT_EQ(err, expectedErr) << c.name;
        EXPECT_EQ(received(task), (Texts{"task.a3x", "-q"})) << c.name;
    }
}

// The package level of a task folder under appdata\VEK\QODSQL (made when
// missing): its last two components joined by "-"; "" without appdata.
std::string packageLevel(const std::string &folder)
{
    char *found = win_getAppDataPath();
    if (found == nullptr) return "";
    std::string package = ts::join(ts::join(found, "VEK"), "QODSQL");
    free(found);
    ts::makeFolder(package.substr(0, package.rfind('\\')));
    size_t last = folder.rfind('\\');
    size_t parent = folder.rfind('\\', last - 1);
    std::string level = folder.substr(parent + 1, last - parent - 1) + "-" + folder.substr(last + 1);
    return ts::makeFolder(package) ? ts::join(package, level) : "";
}

TEST(FaultLog, FolderCannotBeMade)
{
    const char *const NO_FOLDER = "Impossibile creare la struttura delle directory per il file di log.\n";
    const char *const IS_FOLDER = "Il percorso del file di log punta gi\xE0" " ad una directory esistente.\n";
    enum Blocker { EXPORT_LOG, LOG_FILE, PACKAGE_LEVEL, PACKAGE_LOG };
    // refusal: the log context's message; null when the log goes beside the executable.
    const struct { const char *name, *exeName, *environment; Blocker blocker; const char *refusal; } cases[] = {
        {"export tool's Log folder is a file", "XXquenbarodis.exe", "QUENBARODIS", EXPORT_LOG, NO_FOLDER},
        {"log file name is a folder", "task.exe", "ALTRO", LOG_FILE, IS_FOLDER},
        {"package level is a file", "ZolQodConn.exe", "QODSQL", PACKAGE_LEVEL, nullptr},
        {"package Log level is a file", "ZolQodConn.exe", "QODSQL", PACKAGE_LOG, nullptr},
    };
    for (const auto &c : cases) {
        Task task = newTask("nologfolder", c.exeName);
        if (c.blocker != LOG_FILE) ts::writeFile(ts::join(task.folder, "connettoreclient.ini"), "");
        std::string blocker = ts::join(task.folder, c.blocker == EXPORT_LOG ? "Log" : "task.log");
        if (c.blocker == PACKAGE_LEVEL || c.blocker == PACKAGE_LOG) {
            blocker = packageLevel(task.folder);
            ASSERT_FALSE(blocker.empty()) << c.name << ": no roaming application-data folder";
            if (c.blocker == PACKAGE_LOG) ts::makeFolder(blocker);
            if (c.blocker == PACKAGE_LOG) blocker = ts::join(blocker, "Log");
        }
        bool folder = c.blocker == LOG_FILE;
        ASSERT_TRUE(folder ? ts::makeFolder(blocker) : ts::writeFile(blocker, "in the way")) << c.name;
        std::string caller = ts::makeWorkFolder("caller");
        ts::RunResult r = launch(task, {"-q"}, caller);

        Texts expected = waitLog(task, c.environment, 6);
        if (c.refusal != nullptr) {
            // Every line goes to log.txt in the current folder, echoed.
            expectRun(r, 6, console(expected, "INFO"), c.refusal + console(expected, "ERROR"), c.name);
            EXPECT_EQ(records(ts::join(caller, "log.txt"), "?"), expected) << c.name;
        } else {
            expectRun(r, 6, "", console(expected, "ERROR"), c.name);
            EXPECT_EQ(records(ts::join(task.folder, task.base + ".log")), expected) << c.name;
            EXPECT_FALSE(ts::fileExists(ts::join(caller, "log.txt"))) << c.name;
        }
        EXPECT_TRUE(folder ? win_pathIsDirectory(blocker.c_str()) : ts::readFile(blocker) == "in the way")
            << c.name << ": what was in the way changed";
        EXPECT_EQ(received(task), (Texts{task.base + ".a3x", "-q"})) << c.name;
        if (!folder) win_removeFile(blocker.c_str());
    }
}

// --- The INI file -------------------------------------------------------------------

// Bytes of every value in a fixed pseudo-random order, in lines of up to 600.
std::string junk(size_t size)
{
    std::string bytes;
    unsigned long state = 12345;
    while (bytes.size() < size) {
        state = (state * 1103515245UL + 12345UL) & 0xFFFFFFFFUL;
        bytes += (char)((state >> 16) & 0xFF);
        if ((state >> 8) % 600 == 0) bytes += '\n';
    }
    return bytes;
}

TEST(FaultIni, FolderOrJunk)
{
    // The INI is a folder, or it holds junk.
    const struct { const char *name, *ini; bool folder; const char *environment, *logName; } cases[] = {
        {"Esegui_da_qod.ini is a folder", "Esegui_da_qod.ini", true, "QOD", "Esegui_da_QOD.log"},
        {"frascombe_a3x.ini is a folder", "frascombe_a3x.ini", true, "ALTRO", "task.log"},
        {"frascombe_a3x.ini holds junk", "frascombe_a3x.ini", false, "ALTRO", "task.log"},
        {"connettoreclient.ini holds junk", "connettoreclient.ini", false, "CONNETTORI", "task.log"},
    };
    for (const auto &c : cases) {
        Task task = newTask("badini", "task.exe");
        std::string ini = ts::join(task.folder, c.ini);
        win_removeFile(ini.c_str());
        ASSERT_TRUE(c.folder ? ts::makeFolder(ini) : ts::writeFile(ini, junk(8192))) << c.name;
        std::string caller = ts::makeWorkFolder("caller");
        ts::RunResult r = launch(task, {"-q"}, caller);

        if (c.folder) {
            // Refused before any log exists: nothing is written, nothing runs.
            expectRun(r, 1, "", "Errore caricamento da conf_load del file '" + ini + "' -> ESCO\n", c.name);
            EXPECT_FALSE(ts::fileExists(ts::join(task.folder, c.logName))) << c.name;
            EXPECT_FALSE(ts::fileExists(ts::join(caller, "log.txt"))) << c.name;
            EXPECT_FALSE(ts::fileExists(ts::join(task.folder, "r.txt"))) << c.name;
            continue;
        }
        // Junk loads: neither key is found, the defaults hold, and no warning is printed.
        Texts expected = waitLog(task, c.environment, 6);
        expectRun(r, 6, "", console(expected, "ERROR"), c.name);
        EXPECT_EQ(records(ts::join(task.folder, c.logName)), expected) << c.name;
        EXPECT_EQ(received(task), (Texts{"task.a3x", "-q"})) << c.name;
    }
}

// --- The interpreter and its child ---------------------------------------------------

TEST(FaultInterpreter, CannotBeStarted)
{
    // The system's error number: ERROR_BAD_EXE_FORMAT or ERROR_ACCESS_DENIED on
    // Windows; natively ENOEXEC, or EACCES without execute permission.
    // overStandIn: text written over the stand-in, which keeps its permissions.
    const struct { const char *name; bool overStandIn, folder; unsigned long windowsError, posixError; } cases[] = {
        {"text over the interpreter", true, false, 193, ENOEXEC},
        {"text file never made executable", false, false, 193, EACCES},
        {"a folder named autoit3.exe", false, true, 5, EACCES},
    };
    for (const auto &c : cases) {
        Task task = newTask("nostart", "task.exe", SCRIPT, c.overStandIn);
        std::string interpreter = ts::join(task.folder, "autoit3.exe");
        ASSERT_TRUE(c.folder ? ts::makeFolder(interpreter) : ts::writeFile(interpreter, "not a program\n")) << c.name;
        ts::RunResult r = launch(task, {"-q"});

        // The start's own message follows the run's prefix.
        unsigned long error = ts::onWindows() ? c.windowsError : c.posixError;
        Texts expected = waitLog(task, "ALTRO", 1, {}, RUN_ERROR + std::to_string(error));
        expectRun(r, 1, "", console(expected, "ERROR"), c.name);
        EXPECT_EQ(records(ts::join(task.folder, "task.log")), expected) << c.name;
        EXPECT_FALSE(ts::fileExists(ts::join(task.folder, "r.txt"))) << c.name;
    }
}

TEST(FaultChild, KilledWhileTheLauncherWaits)
{
    // Natively SIGTERM gives 128 + 15; the Windows runtime ends a process that
    // raises SIGTERM with exit code 3.
    const int killed = ts::onWindows() ? 3 : 143;
    Task task = newTask("killed", "task.exe", "report r.txt\nprint before\nsignal\nprint after\n");
    ts::RunResult r = launch(task, {"-q"});

    Texts expected = waitLog(task, "ALTRO", killed);
    expectRun(r, killed, "before\n", console(expected, "ERROR"), "killed");
    EXPECT_EQ(records(ts::join(task.folder, "task.log")), expected);
    EXPECT_EQ(received(task), (Texts{"task.a3x", "-q"}));
}

// --- Update-check staging -------------------------------------------------------------

TEST(FaultStaging, ConnectorLosesItsFiles)
{
    enum Connector { FOLDER_GONE, SCRIPT_GONE, SCRIPT_IS_FOLDER };
    const struct { const char *name; Connector connector; } cases[] = {
        {"connector folder gone", FOLDER_GONE},
        {"connector script gone", SCRIPT_GONE},
        {"connector script replaced by a folder", SCRIPT_IS_FOLDER},
    };
    for (const auto &c : cases) {
        Task task = newTask("staging", "QODvantor.exe");
        std::string connector = ts::join(task.folder, "conn");
        std::string source = ts::join(connector, "vantor.a3x");
        std::string staged = ts::join(task.folder, "vantor.a3x");
        std::string ko = "Eseguibile Autoit3.exe [" + ts::join(connector, "autoit3.exe") + "] non trovato";
        if (c.connector != FOLDER_GONE) {
            unsigned long error = 0;
            ts::makeFolder(connector);
            win_copyFile(ts::builtProgram("autoit3").c_str(), ts::join(connector, "autoit3.exe").c_str(), &error);
            ko = "File [" + source + "] non trovato";
        }
        if (c.connector == SCRIPT_IS_FOLDER) {
            // The copy fails with the system's own text, line end included.
            ts::makeFolder(source);
            char *system = win_getSystemMessage(ts::onWindows() ? 5 : EISDIR);
            ko = "Errore durante la copia del file [" + source + "]->[" + staged + "]\n" + noCR(system ? system : "");
            win_freeSystemMessage(system);
        }
        ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "[main]\n$pathconnettore=" + connector + "\n");
        ts::RunResult r = launch(task, {"-q"});

        Texts staging{rec("ERROR", "prepareVantor KO " + ko), rec("INFO", "L'esecuzione comunque continua")};
        Texts expected = Texts{rec("INFO", "VANTOR")} + waitLog(task, "ALTRO", 6, staging);
        expectRun(r, 6, "", console(expected, "ERROR"), c.name);
        EXPECT_EQ(records(ts::join(task.folder, "QODvantor.log")), expected) << c.name;
        // The task's own script ran untouched, and no half copy was left.
        EXPECT_EQ(ts::readFile(ts::join(task.folder, "QODvantor.a3x")), SCRIPT) << c.name;
        EXPECT_FALSE(ts::fileExists(staged)) << c.name;
        EXPECT_EQ(received(task), (Texts{"QODvantor.a3x", "-q"})) << c.name;
    }
}

// --- The command line -----------------------------------------------------------------

TEST(FaultCommandLine, WordsPastTheTableAreDropped)
{
    // The table keeps 127 words: the launcher's path and 126 arguments.
    const struct { const char *name; Texts args; bool wait; } cases[] = {
        {"200 arguments, -q first", Texts{"-q"} + words(2, 200), true},
        {"-q as the 200th argument", words(1, 199) + Texts{"-q"}, false},
        {"a 29000-character 127th argument", words(1, 125) + Texts{"-q", std::string(29000, 't')}, true},
    };
    for (const auto &c : cases) {
        Task task = newTask("manyargs", "task.exe");
        ts::RunResult r = launch(task, c.args);

        Texts kept(c.args.begin(), c.args.begin() + 126);
        int exitCode = c.wait ? 6 : 0;
        Texts expected = startLines("ALTRO", task) + paramLines(kept) + runLines(task, kept, c.wait, exitCode);
        expectRun(r, exitCode, "", console(expected, "ERROR"), c.name);
        EXPECT_EQ(records(ts::join(task.folder, "task.log")), expected) << c.name;
        EXPECT_EQ(received(task), Texts{"task.a3x"} + kept) << c.name;
    }
}

TEST(FaultCommandLine, ThirtyThousandCharacters)
{
    // Refused while the parameters are built, before the command is joined.
    // refused: the argument whose piece no longer fits.
    const struct { const char *name; Texts args; size_t refused; } cases[] = {
        {"one word", Texts{"-q", std::string(30000, 'x')}, 1},
        {"120 words of 250", Texts(120, std::string(250, 'y')), 7},
    };
    for (const auto &c : cases) {
        Task task = newTask("longline", "task.exe");
        ts::RunResult r = launch(task, c.args);

        const std::string &word = c.args[c.refused];
        Texts expected = startLines("ALTRO", task) + paramLines(Texts(c.args.begin(), c.args.begin() + c.refused)) +
                         Texts{paramLines({word})[0], rec("ERROR", TOO_LONG), rec("ERROR", NO_PARAMS)};
        expectRun(r, 4, "", console(expected, "ERROR"), c.name);
        EXPECT_EQ(records(ts::join(task.folder, "task.log")), expected) << c.name;
        EXPECT_FALSE(ts::fileExists(ts::join(task.folder, "r.txt"))) << c.name;
    }
}

}  // namespace
