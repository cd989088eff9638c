// The launcher as a program: copies named after tasks, laid out with the
// interpreter stand-in, a script and INI files, run from another folder, with
// exit code, streams, log and the words the script received checked. Every
// installation kind, the modes found at the end of the name, the log name from
// the third argument, the console trace, the command's prefix and length, and
// the failures before and after the log exists. Injected faults have their own
// file.
#include <cstdlib>

#include "tasklaunch.h"

using namespace ts;

const std::string NO_CONF =
    "Il puntatore alla configurazione \xE8 NULL. "
    "Assicurati di aver caricato la configurazione correttamente.";
const std::string NO_CONNECTOR =
    "prepareVantor: Non e' valorizzato pathconnettore. Impossibile eseguire prepareVantor.";
const std::string RUN_ERROR = "Errore durante l'esecuzione del comando: ";

// One launcher of each installation kind, each in a folder named after it: the
// Environment that the INI files and the name choose, where the log lies,
// whether the launcher waited for the script and the words the script got.
// The script reports them and ends with the row's exit code, after three
// seconds when the launcher does not wait. A waiting launch returns the
// script's exit code; a code other than 0 is logged at ERROR with an empty
// text, also written on standard error. Without an INI file three
// configuration warnings go to standard output. Esegui_da_qod.ini comes before
// connettoreclient.ini. (The update check's staging is Staging's.) The task
// that does not wait gets one argument that makes the
// interpreter's command 1999 characters long, the most it may have: the
// folder, the 25 characters around it ("\"", "\autoit3.exe\" long.a3x  ") and
// the argument (one more is refused, with the other failures).
TEST(Launcher, EveryInstallationKind)
{
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName();
    char *appData = win_getAppDataPath();
    ASSERT_TRUE(computer != nullptr && user != nullptr && appData != nullptr);
    const std::string work = ts::makeWorkFolder("kinds"), vendor = ts::join(appData, "VEK");
    free(appData);
    const std::string package = vendor + "\\QODSQL\\" + work.substr(work.rfind('\\') + 1) + "-ZolQodConn.exe";
    const std::string exportLog = std::string("{F}\\Log\\quenbarodis.") + computer + "." + user + ".log";
    ASSERT_TRUE(ts::makeFolder(vendor) && ts::makeFolder(vendor + "\\QODSQL"));
    win_removeFile((package + "\\Log\\ZolQodConn.log").c_str());   // an earlier run's
    const Files QOD_FIRST = {{"Esegui_da_qod.ini", ""}, {"connettoreclient.ini", ""}};
    const Files CLIENT = {{"connettoreclient.ini", ""}};
    // Words that need protection on their way to the script: blanks, a tab, double quotes, backslashes
    // before a quote or at the end, code page 1252 letters and the command shell's special characters.
    const Texts AWKWARD = {"-q", "a b", "tab\there", "x\"y", "\"\"", "say \"hi\" twice", "trailing\\",
                           "C:\\Program Files\\", "\\\\server\\share\\", "back\\\"slash", "\\\"", "caf\xE8",
                           "perch\xE9 s\xEC", "\xC0\xC8\xCC\xD2\xD9", "%PATH%", "^&|<>", "a=b;c"};
    const Texts LONGEST = {std::string(1974 - ts::join(work, "long.exe").size(), 'a')};
    const struct { const char *exeName; Files files; Texts args; int exitCode; std::string environment, log;
                   bool waits; } kinds[] = {
        {"my plain.exe", {}, AWKWARD, 7, "ALTRO", "{F}\\my plain.log", true},
        {"qodjob.exe", QOD_FIRST, {"cron"}, 0, "QOD", "{F}\\Esegui_da_QOD.log", true},
        {"ZolQodConn.exe", CLIENT, {"-q"}, 2, "QODSQL", package + "\\Log\\ZolQodConn.log", true},
        {"XXquenbarodis.exe", CLIENT, {"-p", "30"}, 5, "QUENBARODIS", exportLog, true},
        {"long.exe", CLIENT, LONGEST, 0, "CONNETTORI", "{F}\\long.log", false},
    };
    for (const auto &k : kinds) {
        std::string script = REPORT + "exit " + std::to_string(k.exitCode) + "\n";
        if (!k.waits) script = "sleep 3000\n" + script;
        Launch run = launch({k.exeName, script, true, k.files}, k.args, k.log, ts::join(work, k.exeName));
        EXPECT_EQ(run.exitCode, k.exitCode) << k.exeName;
        EXPECT_EQ(run.out, k.files.empty() ? Texts(3, NO_CONF) : Texts{}) << k.exeName;
        EXPECT_EQ(run.err, k.exitCode == 0 ? Texts{} : Texts{RUN_ERROR}) << k.exeName;
        EXPECT_TRUE(has(run.log, "INFO Ambiente: " + k.environment)) << k.exeName << ": no log " << k.log;
        EXPECT_EQ(run.scriptEndedFirst, k.waits) << k.exeName << " returned before or after the script ended";
        EXPECT_EQ(run.received, k.args) << k.exeName;
    }
}

// Update-check mode when the base name ends in vantor, export-tool mode when
// it ends in quenbarodis, each ignoring case; a name that holds the word
// elsewhere is neither. The update check logs VANTOR and takes its log name
// from the third argument, not the last one; without it, or with an empty one,
// the log keeps the base name (the POSIX process start splits a command line
// by the launcher's own rule, which drops empty words, so only a Windows
// program receives one). "-p30" makes the export tool wait, no other launcher.
TEST(LaunchMode, WordAtTheEndOfTheNameIgnoringCase)
{
    const Texts P30 = {"-p30", "y", "z"};
    const struct { const char *exeName; Texts args; const char *log; bool updateCheck, waits; } cases[] = {
        {"XXQUENBARODIS.exe", P30, "{F}\\XXQUENBARODIS.log", false, true},
        {"quenbarodis_job.exe", P30, "{F}\\quenbarodis_job.log", false, false},
        {"lirmak.VANTOR.exe", P30, "{F}\\z.log", true, false},
        {"vantor_job.exe", P30, "{F}\\vantor_job.log", false, false},
        {"vantor.old.exe", P30, "{F}\\vantor.old.log", false, false},
        {"vantor.exe", {"x", "y"}, "{F}\\vantor.log", true, false},
        {"vantor.exe", {"x", "y", "z", "w"}, "{F}\\z.log", true, false},
        {"vantor.exe", {"x", "y", ""}, "{F}\\vantor.log", true, false},
    };
    for (const auto &c : cases) {
        Launch run = launch({c.exeName}, c.args, c.log);
        ASSERT_FALSE(run.log.empty()) << c.exeName << testing::PrintToString(c.args) << ": no log " << c.log;
        EXPECT_EQ(has(run.log, "INFO VANTOR"), c.updateCheck) << c.exeName;
        EXPECT_EQ(has(run.log, "INFO wait: true"), c.waits) << c.exeName;
    }
}

// An update check without a connector folder goes on. Without any INI file
// every read of the configuration warns: for the echo, the log location, the
// log's echo and the connector folder. With the echo on, the trace names the
// mode first, then the log repeats each information line. Either way the
// launcher's lines come before the script's "ok".
TEST(LaunchMode, UpdateCheckStreamsWithoutAConnectorFolder)
{
    const struct { const char *name; Files files; Texts out; } cases[] = {
        {"no INI file", {}, {NO_CONF, NO_CONF, NO_CONF, NO_CONF}},
        {"echo on", {{"frascombe_a3x.ini", "[frascombe_a3x]\n$debug_to_console = 1\n"}}, {
            "VANTOR",
            "Ambiente: ALTRO",
            "exe_name_for_log: vantor",
            "Nome file log: [{F}\\vantor.log]",
            "VANTOR",
            "Ambiente: ALTRO",
            "Directory dell'eseguibile: {F}",
            "Nome dell'eseguibile: vantor",
            "L'esecuzione comunque continua",
            "Eseguo: \"{F}\\autoit3.exe\" vantor.a3x",
            "wait: false",
            "Ho finito il mio lavoro! - exitCode=0",
        }},
    };
    for (const auto &c : cases) {
        Launch run = launch({"vantor.exe", REPORT, true, c.files}, {}, "{F}\\vantor.log");
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_EQ(run.err, Texts{NO_CONNECTOR}) << c.name;
        EXPECT_TRUE(has(run.log, "ERROR " + NO_CONNECTOR)) << c.name;
    }
}
