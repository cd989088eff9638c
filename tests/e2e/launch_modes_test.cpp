// What the launcher's own name and arguments decide, end to end: the
// update-check and export-tool modes found at the end of the name, the log
// name taken from the third argument, the console trace with the echo on, the
// command of a launch without arguments, and the refusal of an own path that
// does not fit 259 characters.
#include <gtest/gtest.h>

#include "testsupport.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

const std::string INI = "frascombe_a3x.ini", ECHO = "[frascombe_a3x]\n$debug_to_console = 1\n";
const std::string NO_CONF =
    "Il puntatore alla configurazione \xE8 NULL. "
    "Assicurati di aver caricato la configurazione correttamente.";
const std::string NO_CONNECTOR =
    "prepareVantor: Non e' valorizzato pathconnettore. Impossibile eseguire prepareVantor.";

// A finished launch; the task folder is written "{F}" in every text.
struct Launch {
    int exitCode;
    Texts out, err, log;   // the streams' lines, and "LABEL text" of each record of the log
};

// The lines of text with every occurrence of folder written "{F}".
Texts linesWithFolder(const std::string &text, const std::string &folder)
{
    Texts result = ts::lines(text);
    for (std::string &line : result) {
        for (size_t at; (at = line.find(folder)) != std::string::npos;) {
            line.replace(at, folder.size(), "{F}");
        }
    }
    return result;
}

// Lays out a new task folder (the launcher copy exeName, the stand-in, a script
// of its base name that exits with 0, and the INI file ini holding iniText
// unless ini is empty), runs the copy with args from another folder and reads
// back the streams and the log logName of the task folder.
Launch launch(const std::string &exeName, const Texts &args, const std::string &ini,
              const std::string &iniText, const std::string &logName)
{
    std::string folder = ts::makeWorkFolder("mode"), base = exeName.substr(0, exeName.rfind('.'));
    std::string exe = ts::layTask(folder, exeName);
    EXPECT_TRUE(ts::writeFile(ts::join(folder, base + ".a3x"), "exit 0\n")) << exeName;
    EXPECT_TRUE(ini.empty() || ts::writeFile(ts::join(folder, ini), iniText)) << exeName;
    ts::RunResult r = ts::run(ts::commandLine(exe, args), ts::makeWorkFolder("caller"));
    EXPECT_EQ(r.startError, "") << exeName;
    Launch result{r.exitCode, linesWithFolder(r.out, folder), linesWithFolder(r.err, folder), {}};
    ts::LogRecord record;
    for (const std::string &line : linesWithFolder(ts::readFile(ts::join(folder, logName)), folder)) {
        EXPECT_TRUE(ts::parseLogRecord(line, &record)) << exeName << ": not a record: " << line;
        result.log.push_back(record.label + " " + record.text);
    }
    return result;
}

// A record's presence: the record itself, or "-" when the log lacks it.
std::string found(const Texts &log, const std::string &record)
{
    for (const std::string &line : log) {
        if (line == record) return record;
    }
    return "-";
}

}  // namespace

// Update-check mode when the base name ends in vantor, export-tool mode when
// it ends in quenbarodis, each ignoring case; a name that holds the word
// elsewhere is neither. The update check logs VANTOR first; "-p30" makes the
// export tool wait and no other launcher.
TEST(LaunchMode, WordAtTheEndOfTheNameIgnoringCase)
{
    const struct { const char *exeName, *log, *updateCheck, *wait; } cases[] = {
        {"XXQUENBARODIS.exe", "XXQUENBARODIS.log", "-", "INFO wait: true"},
        {"quenbarodis.exe", "quenbarodis.log", "-", "INFO wait: true"},
        {"quenbarodis_job.exe", "quenbarodis_job.log", "-", "INFO wait: false"},
        {"lirmak.VANTOR.exe", "lirmak.VANTOR.log", "INFO VANTOR", "INFO wait: false"},
        {"vantor_job.exe", "vantor_job.log", "-", "INFO wait: false"},
        {"vantor.old.exe", "vantor.old.log", "-", "INFO wait: false"},
    };
    for (const auto &c : cases) {
        Launch run = launch(c.exeName, {"-p30"}, INI, "", c.log);
        ASSERT_FALSE(run.log.empty()) << c.exeName << ": no log " << c.log;
        EXPECT_EQ(found(run.log, "INFO VANTOR"), c.updateCheck) << c.exeName;
        EXPECT_EQ(found(run.log, c.wait), c.wait) << c.exeName;
    }
}

// True when the update-check launcher vantor.exe, run with args, logs into
// logName of its folder.
static bool updateCheckLogsInto(const Texts &args, const std::string &logName)
{
    Launch run = launch("vantor.exe", args, INI, "", logName);
    return found(run.log, "INFO Nome dell'eseguibile: vantor") != "-";
}

// In update-check mode the third argument names the log; without it the log
// keeps the base name.
TEST(LaunchMode, UpdateCheckLogNameFromTheThirdArgument)
{
    const struct { const char *name; Texts args; const char *log; } cases[] = {
        {"two arguments", {"x", "y"}, "vantor.log"},
        {"a third argument", {"x", "y", "z"}, "z.log"},
        {"a fourth argument", {"x", "y", "z", "w"}, "z.log"},
    };
    for (const auto &c : cases) EXPECT_TRUE(updateCheckLogsInto(c.args, c.log)) << c.name << ": no " << c.log;
}

// An empty third argument leaves the base name too. The POSIX process start
// splits a command line by the launcher's own rule, which drops empty words,
// so only a Windows program receives one.
TEST(LaunchMode, UpdateCheckLogNameNotFromAnEmptyThirdArgument)
{
    if (!ts::onWindows()) GTEST_SKIP() << "the POSIX process start passes no empty argument";
    EXPECT_TRUE(updateCheckLogsInto({"x", "y", ""}, "vantor.log"));
}

// An update check without a connector folder goes on. Without any INI file
// every read of the configuration warns: for the echo, the log location, the
// log's echo and the connector folder. With the echo on, the trace names the
// mode first, then the log repeats each information line.
TEST(LaunchMode, UpdateCheckStreamsWithoutAConnectorFolder)
{
    const struct { const char *name, *ini; std::string iniText; Texts out; } cases[] = {
        {"no INI file", "", "", {NO_CONF, NO_CONF, NO_CONF, NO_CONF}},
        {"echo on", "frascombe_a3x.ini", ECHO, {
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
        Launch run = launch("vantor.exe", {}, c.ini, c.iniText, "vantor.log");
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_EQ(run.err, Texts{NO_CONNECTOR}) << c.name;
        EXPECT_EQ(found(run.log, "ERROR " + NO_CONNECTOR), "ERROR " + NO_CONNECTOR) << c.name;
    }
}

// Without arguments the interpreter gets its path and the script name, with
// no blank after them.
TEST(LaunchCommand, WithoutArgumentsThePrefixAlone)
{
    Launch run = launch("task.exe", {}, INI, "", "task.log");
    const Texts log = {
        "INFO Ambiente: ALTRO",
        "INFO Directory dell'eseguibile: {F}",
        "INFO Nome dell'eseguibile: task",
        "INFO Eseguo: \"{F}\\autoit3.exe\" task.a3x",
        "INFO wait: false",
        "INFO Ho finito il mio lavoro! - exitCode=0",
    };
    EXPECT_EQ(run.log, log);
}

// A launcher whose own path has 260 characters or more would read it cut,
// naming another folder and script: it stops at once with exit code 1.
TEST(LauncherFailure, OwnPathOver259Characters)
{
    std::string deep = ts::makeWorkFolder("ownpath");
    while (deep.size() < 200) ts::makeFolder(deep = ts::join(deep, std::string(40, 'd')));
    const struct { const char *name; size_t length; } cases[] = {
        {"260 characters", 260},
        {"300 characters", 300},
    };
    for (const auto &c : cases) {
        std::string exe = ts::join(deep, std::string(c.length - deep.size() - 5, 'n') + ".exe");
        ASSERT_EQ(exe.size(), c.length);
        unsigned long error = 0;
        ASSERT_TRUE(win_copyFile(ts::builtProgram("launcher").c_str(), exe.c_str(), &error)) << error;
        ts::RunResult r = ts::run(ts::commandLine(exe, {"-q"}), deep);
        if (ts::onWindows() && !r.startError.empty()) {
            GTEST_SKIP() << "Wine starts no program whose path has 260 characters or more: " << r.startError;
        }
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(ts::lf(r.err), "Errore durante l'ottenimento del percorso dell'eseguibile.\n") << c.name;
    }
}
