// The launcher as a program: copies of it named after tasks, laid out with the
// interpreter stand-in, scripts and INI files, run in every installation kind
// and on the failure paths, with exit code, streams, the whole log and what the
// script received checked. Injected faults, a skipped staging among them, have
// their own file.
#include <cstdlib>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "windows_helper.h"

using Texts = std::vector<std::string>;

static const std::string RUN_ERROR = "Errore durante l'esecuzione del comando: ", REPORT = "report r.txt\n";

struct Task { std::string folder, exe, base; };

// A launcher copy named exeName in folder (made when missing), the stand-in
// beside it unless told not to, the script when given and the INI when named.
static Task lay(const std::string &folder, const std::string &exeName, const std::string &script,
                const std::string &ini, const std::string &iniText = "", bool interpreter = true)
{
    ts::makeFolder(folder);
    Task task{folder, ts::layTask(folder, exeName, interpreter), exeName.substr(0, exeName.rfind('.'))};
    if (!script.empty()) ts::writeFile(ts::join(folder, task.base + ".a3x"), script);
    if (!ini.empty()) ts::writeFile(ts::join(folder, ini), iniText);
    return task;
}

// "LABEL text" of every record of a log file, each of the launcher's
// application and fixed version.
static Texts logLines(const std::string &path)
{
    Texts result;
    ts::LogRecord r;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        EXPECT_TRUE(ts::parseLogRecord(line, &r) && r.app + " " + r.version == "frascombe_a3x 1.1.1.7") << line;
        result.push_back(r.label + " " + r.text);
    }
    return result;
}

// One launcher of each installation kind, each in a folder named after it, checked for exit code, both
// streams, the whole log and what the script received, reported in the task folder, its working folder
// (at once when the launcher waits, later otherwise). Also a command of 1999 characters ("{A}" makes it
// so), its records cut to 1999 characters of text; an export tool that does not wait; an update check
// whose frascombe_a3x.ini names a connector folder to stage the interpreter and a new script from (the
// old script would exit with 9); the third argument names the log only in update-check mode, and only
// the name's ending makes the mode.
TEST(Launcher, EveryInstallationKind)
{
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName(), *appData = win_getAppDataPath();
    ASSERT_TRUE(computer != nullptr && user != nullptr && appData != nullptr);
    std::string work = ts::makeWorkFolder("kinds"), vendor = ts::join(appData, "VEK"), QODSQL = vendor + "\\QODSQL";
    std::string PACKAGE = QODSQL + "\\" + work.substr(work.rfind('\\') + 1) + "-ZolQodConn.exe\\Log\\ZolQodConn.log";
    std::string LOG = std::string("Log\\quenbarodis.") + computer + "." + user + ".log", conn = ts::makeWorkFolder("c");
    free(const_cast<char *>(appData));
    ASSERT_TRUE(ts::makeFolder(vendor) && ts::makeFolder(QODSQL) && !ts::layTask(conn, "x.exe").empty() &&
                ts::writeFile(conn + "\\vantor.a3x", "print ok\n" + REPORT));
    win_removeFile(PACKAGE.c_str());   // an earlier run's
    // Without an INI three warnings, with the QOD one the console trace and every information line but
    // the last ahead of the script's "ok".
    const std::string QOD = "Esegui_da_qod.ini", CLIENT = "connettoreclient.ini", STAGE = "frascombe_a3x.ini", NO_CONF =
        "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la configurazione correttamente.";
    const std::string ECHO = "[frascombe_a3x]\n$debug_to_console = 1 ; on\n";
    const struct { const char *exeName; std::string ini; Texts args; int exitCode; const char *environment;
                   std::string log; bool wait; } kinds[] = {
        {"my plain.exe", "", {"-q", "a b", "x\"y"}, 7, "ALTRO", "my plain.log", true},
        {"qodjob.exe", QOD, {"cron"}, 0, "QOD", "Esegui_da_QOD.log", true},
        {"lirmak_export.exe", CLIENT, {"-q", "D:\\Dati\\file 1.txt"}, 0, "LIRMAK", "lirmak.log", true},
        {"ZolQodConn.exe", CLIENT, {"-q"}, 2, "QODSQL", PACKAGE, true},
        {"XXquenbarodis.exe", CLIENT, {"-p", "30"}, 5, "QUENBARODIS", LOG, true},
        {"QODvantor.exe", STAGE, {"x", "y", "CustomLog", "-q"}, 0, "ALTRO", "CustomLog.log", true},
        {"task.exe", CLIENT, {"{A}", "-q"}, 0, "CONNETTORI", "task.log", true},
        {"YYquenbarodis.exe", CLIENT, {"-p", "3x"}, 0, "QUENBARODIS", LOG, false},
        {"vantor2.exe", CLIENT, {"-q", "y", "O"}, 0, "CONNETTORI", "vantor2.log", true},
    };
    for (const auto &k : kinds) {
        std::string script = k.ini == STAGE ? "exit 9\n" : k.wait ? REPORT + "print ok\nexit " +
                             std::to_string(k.exitCode) + "\n" : "sleep 3000\n" + REPORT;
        std::string iniText = k.ini == QOD ? ECHO : k.ini == STAGE ? "[main]\n$pathconnettore=" + conn + "\n" : "";
        Task task = lay(ts::join(work, k.exeName), k.exeName, script, k.ini, iniText, k.ini != STAGE);
        if (k.ini == QOD) ts::writeFile(ts::join(task.folder, CLIENT), "");   // the QOD INI comes first
        std::string report = task.folder + "\\r.txt", logPath = k.log == PACKAGE ? k.log : ts::join(task.folder, k.log);
        // 1999 characters: the folder, 23 around it, the argument, two blanks before it and " -q".
        Texts args = k.args, words{ts::join(task.folder, "autoit3.exe"), task.base + ".a3x"};
        if (args[0] == "{A}") args[0] = std::string(1971 - task.folder.size(), 'a');
        // The whole log, each text cut to 1999 characters: each word bare, or in double quotes with inner
        // ones doubled when it needs that protection.
        Texts log{"INFO Ambiente: " + std::string(k.environment), "INFO Directory dell'eseguibile: " + task.folder,
                  "INFO Nome dell'eseguibile: " + task.base};
        if (k.ini == STAGE) log = {"INFO VANTOR", log[0], log[1], log[2], "INFO Prefisso=QOD", "INFO In corso copia "
                                   "del file [" + conn + "\\vantor.a3x]->[" + task.folder + "\\QODvantor.a3x] ..."};
        std::string command = "\"" + task.folder + "\\autoit3.exe\" " + ts::commandLine(task.base + ".a3x", {}) + " ";
        for (const std::string &arg : args) {
            std::string word = ts::commandLine(arg, {}), inner = word == arg ? arg : word.substr(1, word.size() - 2);
            log.push_back("INFO Lunghezza necessaria per il parametro " + arg + ": " + std::to_string(word.size() + 1));
            log.push_back(word == arg ? "INFO Parametro che NON necessita di protezione [" + arg + "] "
                                      : "INFO Parametro che NECESSITA di protezione [" + arg + "] > [" + inner + "]");
            command += " " + word;
        }
        log.insert(log.end(), {"INFO Eseguo: " + command, std::string("INFO wait: ") + (k.wait ? "true" : "false")});
        if (k.exitCode != 0) log.push_back("ERROR " + RUN_ERROR);
        log.push_back("INFO Ho finito il mio lavoro! - exitCode=" + std::to_string(k.exitCode));
        for (std::string &line : log) line = line.substr(0, line.find(' ') + 1 + 1999);
        Texts out = k.ini.empty() ? Texts{NO_CONF, NO_CONF, NO_CONF} : Texts{};
        if (k.ini == QOD) out = {"Ambiente: QOD", "exe_name_for_log: qodjob", "Nome file log: [" + logPath + "]"};
        for (size_t i = 0; k.ini == QOD && i < log.size(); i++) out.push_back(log[i].substr(5));
        if (k.wait) out.insert(k.ini == QOD ? out.end() - 1 : out.end(), "ok");

        ts::RunResult r = ts::run(ts::commandLine(task.exe, args), ts::makeWorkFolder("caller"));
        EXPECT_EQ(ts::fileExists(report), k.wait) << k.exeName << " returned before or after the script ended";
        EXPECT_EQ(r.exitCode, k.exitCode) << k.exeName;
        EXPECT_EQ(ts::lines(r.out), out) << k.exeName;
        EXPECT_EQ(ts::lines(r.err), k.exitCode ? Texts{RUN_ERROR} : Texts{}) << k.exeName;
        EXPECT_EQ(logLines(logPath), log) << k.exeName;
        for (int i = 0; i < 150 && !ts::fileExists(report); i++) win_sleep(100);
        words.insert(words.end(), args.begin(), args.end());
        EXPECT_EQ(ts::readReport(report).args, words) << k.exeName;
    }
}

// Each failure ends with its exit code and its text alone on standard error,
// and nothing is started; exit code 4 also ends the log (the base name's, or
// Esegui_da_QOD.log) with it, 1 comes before any log. length: of the task
// folder, 0 for any; missing: the interpreter or the script left out; "{F}"
// stands for the folder in the text; "{A}" for the argument that makes the
// command 2000 characters long, one past the limit.
TEST(LauncherFailure, MissingFilesAndLimits)
{
    const std::string work = ts::makeWorkFolder("failures"), NAME(259, 'n'), INI = "frascombe_a3x.ini";
    const std::string BESIDE = " non e' presente nella stessa directory dell'eseguibile.", QOD = "Esegui_da_qod.ini";
    const struct { size_t length; const char *exeName; std::string missing, ini; int exitCode; std::string text;
                   Texts args = {"-q"}; } cases[] = {
        {0, "task.exe", "autoit3.exe", INI, 4, "Il file autoit3.exe" + BESIDE},
        {0, "task.exe", "script", INI, 4, "Il file {F}\\task.a3x" + BESIDE},
        {245, "t.exe", "", "", 1, "File ini non valorizzato -> ESCO"},
        {241, "abcdefghijklmn.x", "script", QOD, 4, "Il percorso del file {F}\\abcdefghijklmn.a3x e' troppo lungo."},
        {0, "vantor.exe", "", INI, 1, "Nome del file di log '" + NAME + "' troppo lungo -> ESCO",
         {"x", "y", NAME + "x"}},
        {0, "task.exe", "", INI, 4, "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.", {"{A}"}},
    };
    for (const auto &c : cases) {
        std::string folder = ts::makeWorkFolder("failure"), text = c.text;
        if (c.length > 0) folder = ts::join(work, std::string(c.length - 1 - work.size(), 'd'));
        if (text.find("{F}") != std::string::npos) text.replace(text.find("{F}"), 3, folder);
        Task task = lay(folder, c.exeName, c.missing == "script" ? "" : REPORT, c.ini, "", c.missing != "autoit3.exe");
        Texts args = c.args[0] == "{A}" ? Texts{std::string(1975 - folder.size(), 'a')} : c.args;
        ts::RunResult r = ts::run(ts::commandLine(task.exe, args), ts::makeWorkFolder("caller"));
        EXPECT_EQ(r.exitCode, c.exitCode) << text;
        EXPECT_EQ(r.out + ts::lf(r.err), text + "\n") << text;
        EXPECT_FALSE(ts::fileExists(ts::join(folder, "r.txt"))) << text;
        Texts log = logLines(ts::join(folder, c.ini == QOD ? "Esegui_da_QOD.log" : task.base + ".log"));
        EXPECT_EQ(log.empty() ? "no log" : log.back(), c.exitCode == 1 ? "no log" : "ERROR " + text) << text;
    }
}
