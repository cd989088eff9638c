// The launch module's decisions: waiting, the Environment of connector
// clients, the log location of every Environment and the update-check staging.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "configuration.h"
#include "log.h"
#include "main.h"
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

// The text with every "{C}" replaced by c and every "{E}" by e.
std::string fill(std::string text, const std::string &c, const std::string &e)
{
    for (size_t at; (at = text.find("{C}")) != std::string::npos;) text.replace(at, 3, c);
    for (size_t at; (at = text.find("{E}")) != std::string::npos;) text.replace(at, 3, e);
    return text;
}

// The texts of the records in a log file.
Texts logTexts(const std::string &path)
{
    Texts texts;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        ts::LogRecord record;
        if (ts::parseLogRecord(line, &record)) texts.push_back(record.text);
    }
    return texts;
}

// Installs a fresh global log on path, releasing the one before.
void installLog(const std::string &path)
{
    log_destroyContext(globalLogContext);
    globalLogContext = nullptr;
    log_setGlobalContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, false);
    ASSERT_NE(globalLogContext, nullptr);
}

void removeLog()
{
    log_destroyContext(globalLogContext);
    globalLogContext = nullptr;
}

TEST(WaitDecision, ArgumentsAskingToWait)
{
    struct Case {
        const char *name;
        Texts words;        // after the program's own path
        bool plainWaits;    // outside export-tool mode
        bool exportWaits;   // in export-tool mode
    };
    const Case cases[] = {
        {"no arguments", {}, false, false},
        {"-q first", {"-q", "a"}, true, true},
        {"cron last", {"a", "b", "cron"}, true, true},
        {"case matters", {"-Q", "CRON", "Cron"}, false, false},
        {"--q and q", {"--q", "q", "-q "}, false, false},
        {"-p with digits", {"-p30"}, false, true},
        {"-p then digits", {"-p", "30"}, false, true},
        {"-p0", {"-p0"}, false, true},
        {"-p last", {"x", "-p"}, false, false},
        {"-p then 3x", {"-p", "3x"}, false, false},
        {"-p then empty", {"-p", ""}, false, false},
        {"-p3x", {"-p3x"}, false, false},
        {"-P30", {"-P30"}, false, false},
        {"sign is no digit", {"-p", "+3"}, false, false},
        {"blank is no digit", {"-p", " 3"}, false, false},
        {"byte above 127 is no digit", {"-p\xB2"}, false, false},
        {"text before -p", {"x-p30"}, false, false},
        {"-p then -q", {"-p", "-q"}, true, true},
        {"stays set", {"-p30", "-p"}, false, true},
        {"next of -p9 not looked at", {"-p9", "x"}, false, true},
    };
    for (const Case &c : cases) {
        std::vector<char *> table{const_cast<char *>("task.exe")};
        for (const std::string &w : c.words) table.push_back(const_cast<char *>(w.c_str()));
        table.push_back(nullptr);
        int argc = (int)c.words.size() + 1;
        EXPECT_EQ(mustWaitForScript(argc, table.data(), false), c.plainWaits) << c.name;
        EXPECT_EQ(mustWaitForScript(argc, table.data(), true), c.exportWaits) << c.name;
    }
    EXPECT_FALSE(parseQuenbarodisArguments("-p", nullptr));
    EXPECT_TRUE(parseQuenbarodisArguments("-p", "0123456789"));
}

TEST(EnvironmentDetection, KeywordTableInOrder)
{
    const struct {
        const char *name;
        const char *environment;
    } cases[] = {
        {"lirmak", "LIRMAK"},
        {"LIRMAK_export", "LIRMAK"},
        {"TorvoSql_sync", "TORVOSQL"},
        {"torvo_sync", "TORVO"},
        {"torvo_fatture", "TORVO"},
        {"lirmak_fatture", "KRUD"},
        {"modello_f24_invio", "KRUD"},
        {"ZOLWSCONN_client", "WS"},
        {"ZolRoluConn", "ROLU"},
        {"ZolwFelbokConn", "wFelbok"},
        {"ZolQodConn", "QODSQL"},
        {"xKRUDZOLSQL", "KRUDSQL"},
        {"Gondavirev2", "GV"},
        {"huvzol", "HUVZOL"},
        {"SARPELZOL", "SarpelZOL"},
        {"quenbarodis_job", "QUENBARODIS"},
        {"pelmor_job", "PELMOR"},
        {"pelmor_lirmak", "LIRMAK"},
        {"", "CONNETTORI"},
        {"f2", "CONNETTORI"},
        {"qodvantor", "CONNETTORI"},
    };
    for (const auto &c : cases) {
        char environment[VEK_ENVIRONMENT_SIZE];
        memset(environment, 'x', sizeof environment);
        setAmbienteConnettori(environment, c.name);
        EXPECT_STREQ(environment, c.environment) << c.name;
    }
}

// The log location rows that lie beside the executable or below it.
TEST(LogLocation, RowsBesideTheExecutable)
{
    const std::string exe = "C:\\Tasks\\Export";
    std::string quenbarodisFolder = exe + "\\Log";
    std::string quenbarodisBase = "quenbarodis";
    const char *computer = win_getComputerName();
    std::string computerName = computer ? computer : "";
    const char *user = win_getCurrentUserName();
    std::string userName = user ? user : "";
    if (computer != nullptr && user != nullptr) {
        quenbarodisBase += "." + computerName + "." + userName;
    } else {
        // Without either name the log goes beside the executable.
        quenbarodisFolder = exe;
        if (computer != nullptr) quenbarodisBase += "." + computerName;
        if (user != nullptr) quenbarodisBase += "." + userName;
    }
    const struct {
        const char *environment, *logName;
        std::string folder, base;
    } cases[] = {
        {"QOD", "task", exe, "Esegui_da_QOD"},
        {"qod", "task", exe, "Esegui_da_QOD"},
        {"KRUD", "KRUDFATTURE", exe, "FATTURA"},
        {"KRUD", "KRUDF24", exe, "F24"},
        {"krud", "xATTURE", exe, "FATTURA"},
        {"HUVZOL", "x", exe, "HUVZOL"},
        {"SarpelZOL", "x", exe, "SarpelZOL"},
        {"TORVO", "x", exe, "FATTURA"},
        {"LIRMAK", "lirmak_export", exe, "lirmak"},
        {"QUENBARODIS", "XXquenbarodis", quenbarodisFolder, quenbarodisBase},
        {"CONNETTORI", "mytask", exe, "mytask"},
        {"ALTRO", "other task", exe, "other task"},
        {"", "empty", exe, "empty"},
    };
    for (const auto &c : cases) {
        char folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE];
        setPathLog(c.environment, exe.c_str(), c.logName, folder, base);
        EXPECT_EQ(folder, c.folder) << c.environment << " " << c.logName;
        EXPECT_EQ(base, c.base) << c.environment << " " << c.logName;
    }
    // The Log folder of the export tool is left to the log writer.
    EXPECT_FALSE(ts::fileExists(quenbarodisFolder));
}

// The package rows: roaming application data\VEK\package\P-L\Log, created;
// beside the executable when the package folder cannot be had.
TEST(LogLocation, PackageRows)
{
    char *found = win_getAppDataPath();
    if (found == nullptr) GTEST_SKIP() << "no roaming application-data folder";
    const std::string appData = found;
    free(found);
    const std::string vendor = ts::join(appData, "VEK");
    ASSERT_TRUE(ts::makeFolder(appData));
    ASSERT_TRUE(ts::makeFolder(vendor));

    const std::string exe = "C:\\Connettori\\LauncherUnitTest";
    const std::string level = "Connettori-LauncherUnitTest";
    // So long that no package path can be joined below application data.
    const std::string longExe = "C:\\" + std::string(120, 'p') + "\\" + std::string(120, 'l');
    const struct {
        const char *environment, *package, *base;
    } cases[] = {
        {"KRUDSQL", "KRUDZOLSQL", "KRUDZOLSQL"},
        {"TORVOSQL", "TORVOSQL", "TORVOSQL"},
        {"WS", "WS", "ZolWsConn"},
        {"ROLU", "ROLU", "ZolRoluConn"},
        {"wFelbok", "wFelbok", "ZolwFelbokConn"},
        {"WFELBOK", "wFelbok", "ZolwFelbokConn"},
        {"QODSQL", "QODSQL", "ZolQodConn"},
        {"qodsql", "QODSQL", "ZolQodConn"},
        {"GV", "GV", "gondavirev2"},
        {"PELMOR", "pelmor", "pelmor"},
    };
    for (const auto &c : cases) {
        std::string package = ts::join(vendor, c.package);
        ASSERT_TRUE(ts::makeFolder(package)) << c.environment;
        char folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE];
        setPathLog(c.environment, exe.c_str(), "name", folder, base);
        std::string expected = ts::join(ts::join(package, level), "Log");
        EXPECT_EQ(folder, expected) << c.environment;
        EXPECT_EQ(base, std::string(c.base)) << c.environment;
        EXPECT_TRUE(win_pathIsDirectory(expected.c_str())) << c.environment;

        setPathLog(c.environment, longExe.c_str(), "name", folder, base);
        EXPECT_EQ(folder, longExe) << c.environment << " fallback";
        EXPECT_EQ(base, std::string(c.base)) << c.environment << " fallback";
    }
}

// A folder with an executable base name, a connector folder and a global log
// on a file of the work folder, for one staging case.
struct Staging {
    std::string work, exe, connector, log;
};

Staging layStaging(const std::string &name, bool interpreter, bool script)
{
    Staging s;
    s.work = ts::makeWorkFolder(name);
    s.exe = ts::join(s.work, "exe");
    s.connector = ts::join(s.work, "conn");
    s.log = ts::join(s.work, "staging.log");
    ts::makeFolder(s.exe);
    ts::makeFolder(s.connector);
    if (interpreter) ts::writeFile(ts::join(s.connector, "autoit3.exe"), "new interpreter");
    if (script) ts::writeFile(ts::join(s.connector, "vantor.a3x"), "new script");
    return s;
}

TEST(Staging, CopiesFromTheConnectorFolder)
{
    struct Case {
        const char *name;
        const char *baseName;
        bool interpreter, script;   // present in the connector folder
        const char *blocker;        // a folder in the way of this copy, or ""
        bool result;
        const char *errorText;      // exact, or the start when it ends in "\n"
        Texts log;
        Texts newFiles;             // in the executable folder, with the new content
        Texts oldFiles;             // still with the content they had
    };
    const Case cases[] = {
        {"prefix found", "QODvantor", true, true, "", true, "",
         {"Prefisso=QOD", "In corso copia del file [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x] ..."},
         {"autoit3.exe", "vantor.a3x", "QODvantor.a3x"}, {}},
        {"prefix found ignoring case", "QODVANTOR", true, true, "", true, "",
         {"Prefisso=QOD", "In corso copia del file [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x] ..."},
         {"autoit3.exe", "vantor.a3x", "QODvantor.a3x"}, {}},
        {"first occurrence", "aVantorbvantor", true, true, "", true, "",
         {"Prefisso=a", "In corso copia del file [{C}\\vantor.a3x]->[{E}\\avantor.a3x] ..."},
         {"autoit3.exe", "vantor.a3x", "avantor.a3x"}, {}},
        {"empty prefix", "vantor", true, true, "", true, "",
         {"Prefisso=", "In corso copia del file [{C}\\vantor.a3x]->[{E}\\vantor.a3x] ..."},
         {"autoit3.exe", "vantor.a3x"}, {}},
        {"interpreter missing", "QODvantor", false, true, "", false,
         "Eseguibile Autoit3.exe [{C}\\autoit3.exe] non trovato", {}, {}, {"autoit3.exe", "vantor.a3x"}},
        {"script missing", "QODvantor", true, false, "", false, "File [{C}\\vantor.a3x] non trovato", {},
         {"autoit3.exe"}, {"vantor.a3x", "QODvantor.a3x"}},
        {"interpreter copy fails", "QODvantor", true, true, "autoit3.exe", false,
         "Errore durante la copia del file [{C}\\autoit3.exe]->[{E}\\autoit3.exe]\n", {}, {},
         {"vantor.a3x", "QODvantor.a3x"}},
        {"script copy fails", "QODvantor", true, true, "vantor.a3x", false,
         "Errore durante la copia del file [{C}\\vantor.a3x]->[{E}\\vantor.a3x]\n", {}, {"autoit3.exe"},
         {"QODvantor.a3x"}},
        {"prefixed copy fails", "QODvantor", true, true, "QODvantor.a3x", false,
         "Errore durante la copia del file  [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x]",
         {"Prefisso=QOD", "In corso copia del file [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x] ..."},
         {"autoit3.exe", "vantor.a3x"}, {}},
    };
    for (const Case &c : cases) {
        Staging s = layStaging("staging", c.interpreter, c.script);
        for (const char *file : {"autoit3.exe", "vantor.a3x", "QODvantor.a3x", "avantor.a3x"}) {
            std::string path = ts::join(s.exe, file);
            if (strcmp(file, c.blocker) == 0) {
                ts::makeFolder(path);
            } else {
                ts::writeFile(path, "old");
            }
        }
        installLog(s.log);
        Configuration configuration{const_cast<char *>(s.connector.c_str()), false};
        char errorText[VEK_TEXT_SIZE];
        bool result = prepareVantor(s.exe.c_str(), c.baseName, &configuration, errorText);
        removeLog();

        EXPECT_EQ(result, c.result) << c.name;
        std::string expected = fill(c.errorText, s.connector, s.exe);
        if (!expected.empty() && expected.back() == '\n') {
            EXPECT_EQ(std::string(errorText).substr(0, expected.size()), expected) << c.name;
            EXPECT_GT(strlen(errorText), expected.size()) << c.name << ": the system's text follows";
        } else {
            EXPECT_EQ(errorText, expected) << c.name;
        }
        Texts log;
        for (const std::string &line : c.log) log.push_back(fill(line, s.connector, s.exe));
        EXPECT_EQ(logTexts(s.log), log) << c.name;
        for (const std::string &file : c.newFiles) {
            std::string want = file == "autoit3.exe" ? "new interpreter" : "new script";
            EXPECT_EQ(ts::readFile(ts::join(s.exe, file)), want) << c.name << ": " << file;
        }
        for (const std::string &file : c.oldFiles) {
            EXPECT_EQ(ts::readFile(ts::join(s.exe, file)), "old") << c.name << ": " << file;
        }
    }
}

TEST(Staging, EmptyConnectorPathIsSkipped)
{
    for (bool debug : {false, true}) {
        Staging s = layStaging("staging_empty", true, true);
        installLog(s.log);
        Configuration configuration{const_cast<char *>(""), debug};
        char errorText[VEK_TEXT_SIZE] = "stale";
        testing::internal::CaptureStderr();
        bool result = prepareVantor(s.exe.c_str(), "QODvantor", &configuration, errorText);
        std::string err = testing::internal::GetCapturedStderr();
        removeLog();
        EXPECT_TRUE(result) << debug;
        EXPECT_STREQ(errorText, "") << debug;
        EXPECT_EQ(ts::lines(err),
                  debug ? Texts{"prepareVantor: pathconnettore vuoto! esecuzione di prepareVantor interrotta"}
                        : Texts{})
            << debug;
        EXPECT_FALSE(ts::fileExists(ts::join(s.exe, "autoit3.exe"))) << debug;
        EXPECT_TRUE(logTexts(s.log).empty()) << debug;
    }
}

TEST(Staging, ConnectorPathTooLongToJoin)
{
    Staging s = layStaging("staging_long", true, true);
    installLog(s.log);
    std::string connector = "C:\\" + std::string(252, 'c');
    Configuration configuration{const_cast<char *>(connector.c_str()), false};
    char errorText[VEK_TEXT_SIZE];
    EXPECT_FALSE(prepareVantor(s.exe.c_str(), "vantor", &configuration, errorText));
    removeLog();
    EXPECT_EQ(std::string(errorText), "Eseguibile Autoit3.exe [" + connector + "\\autoit3.exe] non trovato");
}

}  // namespace
