// The launcher as a program: copies of it named after tasks, laid out with the
// interpreter stand-in, scripts and INI files, run in every installation kind
// and on the failure paths, with exit code, streams, the whole log and what the
// script received checked. Injected faults have their own file.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

const std::string NO_CONF =
    "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la configurazione correttamente.";
const std::string RUN_ERROR = "Errore durante l'esecuzione del comando: ", REPORT = "report r.txt\n";
const std::string SKIPPED = "prepareVantor: Non e' valorizzato pathconnettore. Impossibile eseguire prepareVantor.";
const std::string CLIENT = "connettoreclient.ini";

struct Task {
    std::string folder, exe, base;
};

// A launcher copy named exeName in folder (made when missing), the stand-in
// beside it unless told not to, the script when given and the INI when named.
Task lay(const std::string &folder, const std::string &exeName, const std::string &script,
         const std::string &ini = "frascombe_a3x.ini", const std::string &iniText = "", bool interpreter = true)
{
    ts::makeFolder(folder);
    Task task{folder, ts::layTask(folder, exeName, interpreter), exeName.substr(0, exeName.rfind('.'))};
    if (!script.empty()) ts::writeFile(ts::join(folder, task.base + ".a3x"), script);
    if (!ini.empty()) ts::writeFile(ts::join(folder, ini), iniText);
    return task;
}

// "LABEL text" of every record of a log file, each of the launcher's
// application and fixed version.
Texts logLines(const std::string &path)
{
    Texts result;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        ts::LogRecord record;
        EXPECT_TRUE(ts::parseLogRecord(line, &record)) << path << ": " << line;
        EXPECT_EQ(record.app + " " + record.version, "frascombe_a3x 1.1.1.7") << line;
        result.push_back(record.label + " " + record.text);
    }
    return result;
}

// The whole log of a run with args that the script ends with exitCode, each
// text cut to 1999 characters; extra lines follow the start-up ones.
Texts expectedLog(const Task &task, const std::string &environment, const Texts &args, int exitCode,
                  bool wait = true, const Texts &extra = {})
{
    Texts log{"INFO Ambiente: " + environment, "INFO Directory dell'eseguibile: " + task.folder,
              "INFO Nome dell'eseguibile: " + task.base};
    log.insert(log.end(), extra.begin(), extra.end());
    // Each word bare, or in double quotes with inner ones doubled when it needs that protection.
    std::string command = "\"" + task.folder + "\\autoit3.exe\" " + ts::commandLine(task.base + ".a3x", {});
    command += args.empty() ? "" : " ";
    for (const std::string &arg : args) {
        std::string word = ts::commandLine(arg, {}), inner = word == arg ? arg : word.substr(1, word.size() - 2);
        log.push_back("INFO Lunghezza necessaria per il parametro " + arg + ": " + std::to_string(word.size() + 1));
        log.push_back(word == arg ? "INFO Parametro che NON necessita di protezione [" + arg + "] "
                                  : "INFO Parametro che NECESSITA di protezione [" + arg + "] > [" + inner + "]");
        command += " " + word;
    }
    log.insert(log.end(), {"INFO Eseguo: " + command, std::string("INFO wait: ") + (wait ? "true" : "false")});
    if (exitCode != 0) log.push_back("ERROR " + RUN_ERROR);
    log.push_back("INFO Ho finito il mio lavoro! - exitCode=" + std::to_string(exitCode));
    for (std::string &line : log) line = line.substr(0, line.find(' ') + 1 + 1999);
    return log;
}

// One launcher of each installation kind, each in a folder named after it, checked for exit code, both
// streams, the whole log and what the script received in the task folder (at once when the launcher waits,
// later otherwise). Also a command of 1999 characters ("{A}" makes it so), its records cut to 1999
// characters of text; an export tool that does not wait; update checks: frascombe_a3x.ini names a connector
// folder to stage from, the others have none ("skipped"); the third argument names the log only when it is
// there and not empty, and only the name's ending makes the mode.
TEST(Launcher, EveryInstallationKind)
{
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName();
    char *appData = win_getAppDataPath();
    ASSERT_TRUE(computer != nullptr && user != nullptr && appData != nullptr);
    const std::string vendor = ts::join(appData, "VEK"), LOG = std::string("Log\\quenbarodis.") + computer + "." + user;
    free(appData);
    const std::string work = ts::makeWorkFolder("kinds"), connector = ts::makeWorkFolder("connector");
    const std::string source = ts::join(connector, "vantor.a3x");
    const std::string PACKAGE = vendor + "\\QODSQL\\" + work.substr(work.rfind('\\') + 1) + "-ZolQodConn.exe\\Log";
    ASSERT_TRUE(ts::makeFolder(vendor) && ts::makeFolder(vendor + "\\QODSQL"));
    win_removeFile((PACKAGE + "\\ZolQodConn.log").c_str());   // an earlier run's
    ASSERT_TRUE(ts::writeFile(source, "print ok\n" + REPORT) && !ts::layTask(connector, "stand-in.exe").empty());
    // Without an INI three warnings, with the QOD one the console trace and every information line but
    // the last ahead of the script's "ok". log: below the task folder, "" in the package folder. The stand-in
    // is laid beside a spare launcher copy in the connector folder.
    const std::string QOD = "Esegui_da_qod.ini", ECHO = "[frascombe_a3x]\n$debug_to_console = 1 ; on\n";
    const std::string STAGE = "frascombe_a3x.ini", CONNECTOR = "[main]\n$pathconnettore=" + connector + "\n";
    const struct { const char *exeName; std::string ini; Texts args; int exitCode; const char *environment;
                   std::string log; bool skipped, wait; } kinds[] = {
        {"my plain.exe", "", {"-q", "a b", "x\"y"}, 7, "ALTRO", "my plain.log", false, true},
        {"qodjob.exe", QOD, {"cron"}, 0, "QOD", "Esegui_da_QOD.log", false, true},
        {"lirmak_export.exe", CLIENT, {"-q", "D:\\Dati\\file 1.txt"}, 0, "LIRMAK", "lirmak.log", false, true},
        {"ZolQodConn.exe", CLIENT, {"-q"}, 2, "QODSQL", "", false, true},
        {"XXquenbarodis.exe", CLIENT, {"-p", "30"}, 5, "QUENBARODIS", LOG + ".log", false, true},
        {"QODvantor.exe", STAGE, {"x", "y", "CustomLog", "-q"}, 0, "ALTRO", "CustomLog.log", false, true},
        {"task.exe", CLIENT, {"{A}", "-q"}, 0, "CONNETTORI", "task.log", false, true},
        {"YYquenbarodis.exe", CLIENT, {"-p", "3x"}, 0, "QUENBARODIS", LOG + ".log", false, false},
        {"VANTOR.EXE", CLIENT, {"-q", "y"}, 0, "CONNETTORI", "VANTOR.log", true, true},
        {"vantor2.exe", CLIENT, {"-q", "y", "O"}, 0, "CONNETTORI", "vantor2.log", false, true},
    };
    for (const auto &k : kinds) {
        std::string script = REPORT + "print ok\nexit " + std::to_string(k.exitCode) + "\n";
        if (!k.wait) script = "sleep 3000\n" + REPORT;
        // The update check finds no interpreter beside it and an old script to replace.
        std::string iniText = k.ini == QOD ? ECHO : k.ini == STAGE ? CONNECTOR : "";
        Task task = lay(ts::join(work, k.exeName), k.exeName, script, k.ini, iniText, k.ini != STAGE);
        if (k.ini == QOD) ts::writeFile(ts::join(task.folder, CLIENT), "");   // the QOD INI comes first
        std::string logPath = k.log.empty() ? PACKAGE + "\\ZolQodConn.log" : ts::join(task.folder, k.log);
        std::string reportPath = ts::join(task.folder, "r.txt");
        // 1999 characters: the folder, 23 around it, the argument, two blanks before it and " -q".
        Texts args = k.args, words{ts::join(task.folder, "autoit3.exe"), task.base + ".a3x"};
        if (args[0] == "{A}") args[0] = std::string(1971 - task.folder.size(), 'a');
        Texts extra = k.skipped ? Texts{"ERROR " + SKIPPED, "INFO L'esecuzione comunque continua"} : Texts{};
        if (k.ini == STAGE) extra = {"INFO Prefisso=QOD", "INFO In corso copia del file [" + source + "]->[" +
                                     task.folder + "\\QODvantor.a3x] ..."};
        Texts log = expectedLog(task, k.environment, args, k.exitCode, k.wait, extra);
        if (!extra.empty()) log.insert(log.begin(), "INFO VANTOR");
        Texts out = k.ini.empty() ? Texts{NO_CONF, NO_CONF, NO_CONF} : Texts{};
        if (k.ini == QOD) out = {"Ambiente: QOD", "exe_name_for_log: qodjob", "Nome file log: [" + logPath + "]"};
        for (size_t i = 0; k.ini == QOD && i < log.size(); i++) out.push_back(log[i].substr(5));
        if (k.wait) out.insert(k.ini == QOD ? out.end() - 1 : out.end(), "ok");

        ts::RunResult r = ts::run(ts::commandLine(task.exe, args), ts::makeWorkFolder("caller"));
        EXPECT_EQ(ts::fileExists(reportPath), k.wait) << k.exeName << " returned before or after the script ended";
        EXPECT_EQ(r.exitCode, k.exitCode) << k.exeName;
        EXPECT_EQ(ts::lines(r.out), out) << k.exeName;
        EXPECT_EQ(ts::lines(r.err), k.skipped ? Texts{SKIPPED} : k.exitCode ? Texts{RUN_ERROR} : Texts{}) << k.exeName;
        EXPECT_EQ(logLines(logPath), log) << k.exeName;
        EXPECT_EQ(ts::readFile(task.folder + "\\QODvantor.a3x") == ts::readFile(source), k.ini == STAGE) << k.exeName;
        for (int i = 0; i < 150 && !ts::fileExists(reportPath); i++) win_sleep(100);
        words.insert(words.end(), args.begin(), args.end());
        EXPECT_EQ(ts::readReport(reportPath).folder, task.folder) << k.exeName;
        EXPECT_EQ(ts::readReport(reportPath).args, words) << k.exeName;
    }
}

// Each failure ends with its exit code and its text alone on standard error,
// and nothing is started; exit code 4 also ends the log with it, 1 comes
// before any log.
TEST(LauncherFailure, MissingFilesAndLimits)
{
    const std::string work = ts::makeWorkFolder("failures"), NAME(300, 'n'), INI = "frascombe_a3x.ini";
    const std::string NOT_BESIDE = " non e' presente nella stessa directory dell'eseguibile.";
    // length: of the task folder, 0 for any; "{F}" stands for the folder in the text. "{A}" stands
    // for the argument that makes the command 2000 characters long, one past the limit.
    const struct { size_t length; const char *exeName; bool interpreter, script; std::string ini; Texts args;
                   int exitCode; std::string text; const char *log; } cases[] = {
        {0, "task.exe", false, true, INI, {"-q"}, 4, "Il file autoit3.exe" + NOT_BESIDE, "task.log"},
        {0, "task.exe", true, false, INI, {"-q"}, 4, "Il file {F}\\task.a3x" + NOT_BESIDE, "task.log"},
        {245, "t.exe", true, true, "", {"-q"}, 1, "File ini non valorizzato -> ESCO", "t.log"},
        {241, "abcdefghijklmn.x", true, false, "Esegui_da_qod.ini", {"-q"}, 4,
         "Il percorso del file {F}\\abcdefghijklmn.a3x e' troppo lungo.", "Esegui_da_QOD.log"},
        {0, "vantor.exe", true, true, INI, {"x", "y", NAME}, 1,
         "Nome del file di log '" + NAME.substr(0, 259) + "' troppo lungo -> ESCO", "vantor.log"},
        {0, "task.exe", true, true, INI, {"{A}"}, 4,
         "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.", "task.log"},
    };
    for (const auto &c : cases) {
        std::string folder = ts::makeWorkFolder("failure"), text = c.text;
        if (c.length > 0) folder = ts::join(work, std::string(c.length - 1 - work.size(), 'd'));
        Task task = lay(folder, c.exeName, c.script ? REPORT : "", c.ini, "", c.interpreter);
        if (text.find("{F}") != std::string::npos) text.replace(text.find("{F}"), 3, folder);
        Texts args = c.args[0] == "{A}" ? Texts{std::string(1975 - folder.size(), 'a')} : c.args;
        ts::RunResult r = ts::run(ts::commandLine(task.exe, args), ts::makeWorkFolder("caller"));
        EXPECT_EQ(r.exitCode, c.exitCode) << text;
        EXPECT_EQ(r.out + ts::lf(r.err), text + "\n") << text;
        EXPECT_FALSE(ts::fileExists(ts::join(folder, "r.txt"))) << text;
        Texts log = logLines(ts::join(folder, c.log));
        EXPECT_EQ(log.empty() ? "no log" : log.back(), c.exitCode == 1 ? "no log" : "ERROR " + text) << text;
    }
}

}  // namespace
