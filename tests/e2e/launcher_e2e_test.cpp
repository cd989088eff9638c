// The launcher as a program: copies of it named after tasks, laid out with the
// interpreter stand-in, scripts and INI files, run in every installation kind
// and on every failure path, with exit code, streams, log and what the script
// received checked.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

const char *const NO_CONFIGURATION =
    "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la configurazione correttamente.";

struct Task {
    std::string folder;   // where the launcher copy lies
    std::string exe;      // its path
    std::string base;     // its base name
};

// The file name without its last extension.
std::string baseName(const std::string &exeName)
{
    size_t dot = exeName.rfind('.');
    return dot == std::string::npos ? exeName : exeName.substr(0, dot);
}

// A launcher copy named exeName in folder (made when missing), with the
// stand-in beside it unless told not to, and the script text when given.
Task layTaskIn(const std::string &folder, const std::string &exeName, const std::string &script,
               bool interpreter = true)
{
    Task task;
    ts::makeFolder(folder);
    task.folder = folder;
    task.exe = ts::layTask(folder, exeName, interpreter);
    task.base = baseName(exeName);
    if (!script.empty()) ts::writeFile(ts::join(folder, task.base + ".a3x"), script);
    return task;
}

// The same in a new work folder.
Task layTask(const std::string &work, const std::string &exeName, const std::string &script, bool interpreter = true)
{
    return layTaskIn(ts::makeWorkFolder(work), exeName, script, interpreter);
}

// Runs the task with args from a caller folder of its own, waiting for the launcher.
ts::RunResult launch(const Task &task, const Texts &args)
{
    return ts::run(ts::commandLine(task.exe, args), ts::makeWorkFolder("caller"));
}

// "LABEL text" of every record in a log file; every line must be a record
// of the launcher's application and fixed version.
Texts logLines(const std::string &path)
{
    Texts result;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        ts::LogRecord record;
        EXPECT_TRUE(ts::parseLogRecord(line, &record)) << path << ": " << line;
        EXPECT_EQ(record.app, "frascombe_a3x") << line;
        EXPECT_EQ(record.version, "1.1.1.7") << line;
        result.push_back(record.label + " " + record.text);
    }
    return result;
}

Texts operator+(Texts a, const Texts &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Texts startLines(const std::string &environment, const Task &task)
{
    return {"INFO Ambiente: " + environment, "INFO Directory dell'eseguibile: " + task.folder,
            "INFO Nome dell'eseguibile: " + task.base};
}

// The two lines per parameter for words without double quotes.
Texts paramLines(const Texts &args)
{
    Texts result;
    for (const std::string &a : args) {
        bool plain = a.find_first_of(" \t") == std::string::npos;
        result.push_back("INFO Lunghezza necessaria per il parametro " + a + ": " +
                         std::to_string(a.size() + (plain ? 1 : 3)));
        result.push_back(plain ? "INFO Parametro che NON necessita di protezione [" + a + "] "
                               : "INFO Parametro che NECESSITA di protezione [" + a + "] > [" + a + "]");
    }
    return result;
}

// The interpreter command for the task with the given parameter string.
std::string command(const Task &task, const std::string &params)
{
    std::string line = "\"" + task.folder + "\\autoit3.exe\" " + task.base + ".a3x";
    return params.empty() ? line : line + " " + params;
}

Texts runLines(const std::string &command, bool wait, int exitCode)
{
    Texts result{"INFO Eseguo: " + command, std::string("INFO wait: ") + (wait ? "true" : "false")};
    if (exitCode != 0) result.push_back("ERROR Errore durante l'esecuzione del comando: ");
    result.push_back("INFO Ho finito il mio lavoro! - exitCode=" + std::to_string(exitCode));
    return result;
}

// What the script of a task received, checked against the words expected
// after the interpreter's own path.
void expectReceived(const Task &task, const Texts &words, const std::string &what)
{
    ts::Report report = ts::readReport(ts::join(task.folder, "r.txt"));
    ASSERT_TRUE(report.found) << what;
    EXPECT_EQ(report.folder, task.folder) << what;
    EXPECT_EQ(report.args, Texts{ts::join(task.folder, "autoit3.exe")} + words) << what;
}

// The roaming application-data folder with VEK\package made below it, or "".
std::string packageFolder(const std::string &package)
{
    char *found = win_getAppDataPath();
    if (found == nullptr) return "";
    std::string appData = found;
    free(found);
    std::string vendor = ts::join(appData, "VEK");
    std::string folder = ts::join(vendor, package);
    if (!ts::makeFolder(appData) || !ts::makeFolder(vendor) || !ts::makeFolder(folder)) return "";
    return folder;
}

// The package level of a task folder: its last two components joined by "-".
std::string levelOf(const std::string &folder)
{
    size_t last = folder.rfind('\\');
    size_t parent = folder.rfind('\\', last - 1);
    return folder.substr(parent + 1, last - parent - 1) + "-" + folder.substr(last + 1);
}

// A folder below work whose Windows-form path is exactly length characters.
std::string folderOfLength(const std::string &work, size_t length)
{
    std::string path = work;
    ts::makeFolder(path);
    while (path.size() < length) {
        size_t remaining = length - path.size();
        size_t name = remaining - 1 > 100 ? 100 : remaining - 1;
        if (remaining - (name + 1) == 1) name--;
        path = ts::join(path, std::string(name, 'd'));
        ts::makeFolder(path);
    }
    return path;
}

// --- One launcher of each installation kind -----------------------------------------

TEST(Launcher, PlainTaskWithoutIni)
{
    Task task = layTask("plain", "plain.exe", "report r.txt\nprint hello from plain\nexit 7\n");
    Texts args{"-q", "a b", "x\"y"};
    ts::RunResult r = launch(task, args);

    EXPECT_EQ(r.exitCode, 7);
    EXPECT_EQ(ts::lines(r.out), (Texts{NO_CONFIGURATION, NO_CONFIGURATION, NO_CONFIGURATION, "hello from plain"}));
    EXPECT_EQ(ts::lines(r.err), Texts{"Errore durante l'esecuzione del comando: "});
    Texts params = paramLines({"-q", "a b"}) +
                   Texts{"INFO Lunghezza necessaria per il parametro x\"y: 7",
                         "INFO Parametro che NECESSITA di protezione [x\"y] > [x\"\"y]"};
    EXPECT_EQ(logLines(ts::join(task.folder, "plain.log")),
              startLines("ALTRO", task) + params + runLines(command(task, " -q \"a b\" \"x\"\"y\""), true, 7));
    expectReceived(task, {"plain.a3x", "-q", "a b", "x\"y"}, "plain");
}

TEST(Launcher, QodTaskWithConsoleEcho)
{
    Task task = layTask("qod", "qodjob.exe", "report r.txt\nprint qod ok\n");
    ts::writeFile(ts::join(task.folder, "Esegui_da_qod.ini"), "[frascombe_a3x]\n$debug_to_console = 1 ; echo\n");
    ts::writeFile(ts::join(task.folder, "connettoreclient.ini"), "");
    ts::RunResult r = launch(task, {"cron"});

    EXPECT_EQ(r.exitCode, 0);
    std::string logPath = ts::join(task.folder, "Esegui_da_QOD.log");
    Texts log = startLines("QOD", task) + paramLines({"cron"}) + runLines(command(task, " cron"), true, 0);
    EXPECT_EQ(logLines(logPath), log);
    // The trace, every information line echoed, and the script's own line
    // before the last one.
    Texts out{"Ambiente: QOD", "exe_name_for_log: qodjob", "Nome file log: [" + logPath + "]"};
    for (const std::string &line : log) out.push_back(line.substr(5));
    out.insert(out.end() - 1, "qod ok");
    EXPECT_EQ(ts::lines(r.out), out);
    EXPECT_EQ(r.err, "");
    expectReceived(task, {"qodjob.a3x", "cron"}, "qod");
}

TEST(Launcher, ConnectorClientLoggingBesideTheExecutable)
{
    Task task = layTask("lirmak", "lirmak_export.exe", "report r.txt\n");
    ts::writeFile(ts::join(task.folder, "connettoreclient.ini"), "");
    ts::RunResult r = launch(task, {"-q", "D:\\Dati\\file 1.txt"});

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(logLines(ts::join(task.folder, "lirmak.log")),
              startLines("LIRMAK", task) + paramLines({"-q", "D:\\Dati\\file 1.txt"}) +
                  runLines(command(task, " -q \"D:\\Dati\\file 1.txt\""), true, 0));
    expectReceived(task, {"lirmak_export.a3x", "-q", "D:\\Dati\\file 1.txt"}, "lirmak");
}

TEST(Launcher, ConnectorClientLoggingUnderApplicationData)
{
    std::string package = packageFolder("QODSQL");
    if (package.empty()) GTEST_SKIP() << "no roaming application-data folder";
    Task task = layTask("zolqod", "ZolQodConn.exe", "report r.txt\nexit 2\n");
    ts::writeFile(ts::join(task.folder, "connettoreclient.ini"), "[frascombe_a3x]\n$debug_to_console=0\n");
    std::string logPath = ts::join(ts::join(ts::join(package, levelOf(task.folder)), "Log"), "ZolQodConn.log");
    ts::RunResult r = launch(task, {"-q"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ts::lines(r.err), Texts{"Errore durante l'esecuzione del comando: "});
    EXPECT_EQ(logLines(logPath), startLines("QODSQL", task) + paramLines({"-q"}) +
                                     runLines(command(task, " -q"), true, 2));
    EXPECT_FALSE(ts::fileExists(ts::join(task.folder, "ZolQodConn.log")));
    expectReceived(task, {"ZolQodConn.a3x", "-q"}, "zolqod");
    win_removeFile(logPath.c_str());
}

TEST(Launcher, ExportToolWaitsForItsNumberArgument)
{
    const char *computer = win_getComputerName();
    const char *user = win_getCurrentUserName();
    ASSERT_TRUE(computer != nullptr && user != nullptr);
    std::string logName = std::string("quenbarodis.") + computer + "." + user + ".log";
    const struct {
        const char *name;
        Texts args;
    } cases[] = {{"-p then digits", {"-p", "30"}}, {"-p with digits", {"-p30"}}};
    for (const auto &c : cases) {
        Task task = layTask("export", "XXquenbarodis.exe", "report r.txt\nexit 5\n");
        ts::writeFile(ts::join(task.folder, "connettoreclient.ini"), "");
        ts::RunResult r = launch(task, c.args);

        EXPECT_EQ(r.exitCode, 5) << c.name;
        std::string params;
        for (const std::string &a : c.args) params += " " + a;
        EXPECT_EQ(logLines(ts::join(ts::join(task.folder, "Log"), logName)),
                  startLines("QUENBARODIS", task) + paramLines(c.args) + runLines(command(task, params), true, 5))
            << c.name;
        expectReceived(task, Texts{"XXquenbarodis.a3x"} + c.args, c.name);
    }
}

TEST(Launcher, UpdateCheckStagesFromTheConnectorFolder)
{
    std::string work = ts::makeWorkFolder("update");
    std::string connector = ts::join(work, "conn");
    ts::makeFolder(connector);
    unsigned long error = 0;
    ASSERT_TRUE(win_copyFile(ts::builtProgram("autoit3").c_str(), ts::join(connector, "autoit3.exe").c_str(), &error));
    ts::writeFile(ts::join(connector, "vantor.a3x"), "report r.txt\nprint fresh update check\n");
    // No interpreter beside the launcher, and an old script to be replaced.
    Task task = layTaskIn(ts::join(work, "task"), "QODvantor.exe", "print stale script\n", false);
    ts::writeFile(ts::join(task.folder, "connettoreclient.ini"), "[main]\n$pathconnettore=" + connector + "\n");
    Texts args{"x", "y", "CustomLog", "-q"};
    ts::RunResult r = launch(task, args);

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ts::lines(r.out), Texts{"fresh update check"});
    EXPECT_EQ(r.err, "");
    // The third argument names the log; no keyword in it gives "CONNETTORI".
    std::string source = ts::join(connector, "vantor.a3x");
    Texts staging{"INFO Prefisso=QOD", "INFO In corso copia del file [" + source + "]->[" +
                                           ts::join(task.folder, "QODvantor.a3x") + "] ..."};
    EXPECT_EQ(logLines(ts::join(task.folder, "CustomLog.log")),
              Texts{"INFO VANTOR"} + startLines("CONNETTORI", task) + staging + paramLines(args) +
                  runLines(command(task, " x y CustomLog -q"), true, 0));
    EXPECT_EQ(ts::readFile(ts::join(task.folder, "vantor.a3x")), ts::readFile(source));
    EXPECT_EQ(ts::readFile(ts::join(task.folder, "QODvantor.a3x")), ts::readFile(source));
    expectReceived(task, Texts{"QODvantor.a3x"} + args, "update");
}

// --- Identity: mode flags and the log name -----------------------------------------

TEST(Launcher, ModesFromTheExecutableName)
{
    const char *const SKIPPED = "prepareVantor: Non e' valorizzato pathconnettore. Impossibile eseguire prepareVantor.";
    const struct {
        const char *exeName;
        Texts args;
        bool updateCheck, wait;
        const char *logBase;   // the log beside the executable
    } cases[] = {
        {"vantor.exe", {"x", "y", "Override"}, true, false, "Override"},
        {"VANTOR.EXE", {"x", "y"}, true, false, "VANTOR"},
        {"lirmak.vantor.exe", {"x", "y", ""}, true, false, "lirmak.vantor"},
        {"vantor2.exe", {"x", "y", "Override"}, false, false, "vantor2"},
        {"vantor.old.exe", {"x", "y", "Override"}, false, false, "vantor.old"},
        {"quenbarodis.exe", {"-p30", "y", "Override"}, false, true, "quenbarodis"},
        {"XXQuenbarodis.exe", {"-p", "7"}, false, true, "XXQuenbarodis"},
        {"plainp.exe", {"-p30"}, false, false, "plainp"},
    };
    for (const auto &c : cases) {
        Task task = layTask("modes", c.exeName, c.wait ? "report r.txt\n" : "exit 0\n");
        ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
        ts::RunResult r = launch(task, c.args);
        EXPECT_EQ(r.exitCode, 0) << c.exeName;
        Texts log = logLines(ts::join(task.folder, std::string(c.logBase) + ".log"));
        ASSERT_GE(log.size(), 4u) << c.exeName;
        EXPECT_EQ(log[0] == "INFO VANTOR", c.updateCheck) << c.exeName;
        EXPECT_EQ(ts::lines(r.err), c.updateCheck ? Texts{SKIPPED} : Texts{}) << c.exeName;
        EXPECT_EQ(log[log.size() - 2], std::string("INFO wait: ") + (c.wait ? "true" : "false")) << c.exeName;
    }
}

TEST(Launcher, ScriptNameWithABlankIsQuoted)
{
    Task task = layTask("blank", "my task.exe", "report r.txt\n");
    ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
    ts::RunResult r = launch(task, {"-q"});
    EXPECT_EQ(r.exitCode, 0);
    Texts log = logLines(ts::join(task.folder, "my task.log"));
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 3], "INFO Eseguo: \"" + task.folder + "\\autoit3.exe\" \"my task.a3x\"  -q");
    expectReceived(task, {"my task.a3x", "-q"}, "blank");
}

TEST(Launcher, NotWaitingReturnsBeforeTheScriptEnds)
{
    Task task = layTask("nowait", "YYquenbarodis.exe", "sleep 3000\nreport r.txt\nexit 9\n");
    ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
    auto start = std::chrono::steady_clock::now();
    ts::RunResult r = launch(task, {"-p", "3x"});
    auto elapsed = std::chrono::steady_clock::now() - start;
    std::string report = ts::join(task.folder, "r.txt");
    bool reportedEarly = ts::fileExists(report);

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(reportedEarly) << "the launcher waited for the script";
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 3000);
    Texts log = logLines(ts::join(task.folder, "YYquenbarodis.log"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Texts(log.end() - 2, log.end()),
              (Texts{"INFO wait: false", "INFO Ho finito il mio lavoro! - exitCode=0"}));
    // The script runs on by itself and reports later.
    for (int i = 0; i < 150 && !ts::fileExists(report); i++) win_sleep(100);
    expectReceived(task, {"YYquenbarodis.a3x", "-p", "3x"}, "nowait");
}

// --- Failure paths ------------------------------------------------------------------------

struct Failure {
    int exitCode;
    Texts err;        // standard error, lines
    Texts logTail;    // the last log lines; empty when no log is expected
};

void expectFailure(const ts::RunResult &r, const std::string &log, const Failure &f, const std::string &what)
{
    EXPECT_EQ(r.exitCode, f.exitCode) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_EQ(ts::lines(r.err), f.err) << what;
    Texts lines = log.empty() ? Texts{} : logLines(log);
    if (f.logTail.empty()) {
        EXPECT_TRUE(lines.empty()) << what;
        return;
    }
    ASSERT_GE(lines.size(), f.logTail.size()) << what;
    EXPECT_EQ(Texts(lines.end() - f.logTail.size(), lines.end()), f.logTail) << what;
}

TEST(LauncherFailure, MissingFilesBesideTheExecutable)
{
    const char *const NO_INTERPRETER = "Il file autoit3.exe non e' presente nella stessa directory dell'eseguibile.";
    {
        Task task = layTask("nointerpreter", "task.exe", "exit 0\n", false);
        ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
        expectFailure(launch(task, {"-q"}), ts::join(task.folder, "task.log"),
                      {4, {NO_INTERPRETER}, {"ERROR " + std::string(NO_INTERPRETER)}}, "no interpreter");
    }
    {
        Task task = layTask("noscript", "task.exe", "");
        ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
        std::string text = "Il file " + ts::join(task.folder, "task.a3x") +
                           " non e' presente nella stessa directory dell'eseguibile.";
        expectFailure(launch(task, {"-q"}), ts::join(task.folder, "task.log"), {4, {text}, {"ERROR " + text}},
                      "no script");
    }
    {
        // Staging fails, the launch goes on and then misses the interpreter.
        Task task = layTask("stagingko", "vantor.exe", "exit 0\n", false);
        std::string connector = ts::join(task.folder, "missing");
        ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "[main]\n$pathconnettore=" + connector + "\n");
        std::string ko = "prepareVantor KO Eseguibile Autoit3.exe [" + connector + "\\autoit3.exe] non trovato";
        expectFailure(launch(task, {}), ts::join(task.folder, "vantor.log"),
                      {4, {ko, NO_INTERPRETER},
                       {"ERROR " + ko, "INFO L'esecuzione comunque continua", "ERROR " + std::string(NO_INTERPRETER)}},
                      "staging fails");
    }
}

TEST(LauncherFailure, UpdateCheckWithoutIniSkipsTheStaging)
{
    Task task = layTask("vantornoini", "vantor.exe", "print ran\n");
    ts::RunResult r = launch(task, {"-q"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ts::lines(r.out), (Texts{NO_CONFIGURATION, NO_CONFIGURATION, NO_CONFIGURATION, NO_CONFIGURATION, "ran"}));
    std::string skipped = "prepareVantor: Non e' valorizzato pathconnettore. Impossibile eseguire prepareVantor.";
    EXPECT_EQ(ts::lines(r.err), Texts{skipped});
    Texts log = logLines(ts::join(task.folder, "vantor.log"));
    ASSERT_GE(log.size(), 6u);
    Texts expected = Texts{"INFO VANTOR"} + startLines("ALTRO", task) +
                     Texts{"ERROR " + skipped, "INFO L'esecuzione comunque continua"};
    EXPECT_EQ(Texts(log.begin(), log.begin() + 6), expected);
}

TEST(LauncherFailure, InterpreterThatCannotStart)
{
    Task task = layTask("nostart", "task.exe", "exit 0\n", false);
    ts::writeFile(ts::join(task.folder, "autoit3.exe"), "not a program");
    ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
    ts::RunResult r = launch(task, {"-q"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string prefix = "Errore durante l'esecuzione del comando: Errore durante l'esecuzione del comando: ";
    Texts err = ts::lines(r.err);
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].substr(0, prefix.size()), prefix);
    EXPECT_GT(err[0].size(), prefix.size()) << "the system's error number";
    Texts log = logLines(ts::join(task.folder, "task.log"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "ERROR " + err[0]);
    EXPECT_EQ(log.back(), "INFO Ho finito il mio lavoro! - exitCode=1");
}

TEST(LauncherFailure, CommandLengthLimit)
{
    const std::string TOO_LONG = "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";
    Task task = layTask("limit", "task.exe", "report r.txt\n");
    ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
    std::string log = ts::join(task.folder, "task.log");
    size_t prefix = command(task, "").size();

    // A command of exactly 1999 characters runs, and its record is cut to
    // 1999 characters of text.
    std::string fits(1994 - prefix, 'a');
    ts::RunResult r = launch(task, {fits, "-q"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    expectReceived(task, {"task.a3x", fits, "-q"}, "1999");
    std::string full = "Eseguo: " + command(task, " " + fits + " -q");
    ASSERT_EQ(full.size(), 1999u + 8u);
    Texts lines = logLines(log);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "INFO " + full.substr(0, 1999));
    ts::writeFile(log, "");

    // One character more is refused.
    std::string longer(1998 - prefix, 'a');
    expectFailure(launch(task, {longer}), log, {4, {TOO_LONG}, {"ERROR " + TOO_LONG}}, "2000");

    // The parameter string itself overflows at its second word.
    ts::writeFile(log, "");
    const std::string BUILD = "Errore durante la costruzione dei parametri del comando.";
    expectFailure(launch(task, {std::string(1000, 'b'), std::string(1000, 'c')}), log,
                  {4, {TOO_LONG, BUILD},
                   {"INFO Lunghezza necessaria per il parametro " + std::string(1000, 'c') + ": 1001",
                    "ERROR " + TOO_LONG, "ERROR " + BUILD}},
                  "parameter string");
}

TEST(LauncherFailure, PathsTooLong)
{
    std::string work = ts::makeWorkFolder("long");
    {
        // No INI name can be joined to a folder of 245 characters.
        Task task = layTaskIn(folderOfLength(work, 245), "t.exe", "exit 0\n");
        expectFailure(launch(task, {"-q"}), "", {1, {"File ini non valorizzato -> ESCO"}, {}}, "ini");
    }
    {
        // A script path one character past the limit, the log beside it fits.
        std::string folder = folderOfLength(ts::join(work, "s"), 241);
        Task task = layTaskIn(folder, "abcdefghijklmn.x", "");
        ts::writeFile(ts::join(folder, "Esegui_da_qod.ini"), "");
        std::string text = "Il percorso del file " + folder + "\\abcdefghijklmn.a3x e' troppo lungo.";
        expectFailure(launch(task, {"-q"}), ts::join(folder, "Esegui_da_QOD.log"), {4, {text}, {"ERROR " + text}},
                      "script");
    }
    {
        // An update-check log name too long to take ".log".
        Task task = layTask("longlog", "vantor.exe", "exit 0\n");
        ts::writeFile(ts::join(task.folder, "frascombe_a3x.ini"), "");
        std::string name(300, 'n');
        expectFailure(launch(task, {"x", "y", name}), "",
                      {1, {"Nome del file di log '" + name.substr(0, 259) + "' troppo lungo -> ESCO"}, {}}, "log");
        EXPECT_FALSE(ts::fileExists(ts::join(task.folder, "vantor.log")));
    }
}

}  // namespace
