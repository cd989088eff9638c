// The launch module's decisions: waiting, the Environment of connector
// clients, the log location of every Environment and the update-check staging.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "configuration.h"
#include "log.h"
#include "main.h"
#include "testsupport.h"
#include "windows_helper.h"

// Every "{key}" of text replaced by its value.
static std::string expand(std::string text, const std::vector<std::pair<std::string, std::string>> &values)
{
    for (const auto &value : values)
        for (size_t at; (at = text.find(value.first)) != std::string::npos;)
            text.replace(at, value.first.size(), value.second);
    return text;
}

// The words after the program's name; plain: the launcher waits outside
// export-tool mode; exportTool: it waits in that mode.
TEST(WaitDecision, ArgumentsAskingToWait)
{
    const struct { const char *name; std::vector<std::string> words; bool plain, exportTool; } cases[] = {
        {"cron, not first", {"a", "b", "cron"}, true, true},
        {"letter case and blanks count", {"-Q", "CRON", "--q", "-q "}, false, false},
        {"-p, then digits", {"-p", "0123456789"}, false, true},
        {"-p last", {"-p"}, false, false},
        {"-p, then empty", {"-p", ""}, false, false},
        {"-p with a character above 9", {"-p3:"}, false, false},
        {"-p not at the start", {"x-p30"}, false, false},
        {"a later -p does not undo it", {"-p30", "-p"}, false, true},
    };
    for (const auto &c : cases) {
        std::vector<char *> table{const_cast<char *>("task.exe")};
        for (const std::string &word : c.words) table.push_back(const_cast<char *>(word.c_str()));
        table.push_back(nullptr);
        EXPECT_EQ(mustWaitForScript((int)table.size() - 1, table.data(), false), c.plain) << c.name;
        EXPECT_EQ(mustWaitForScript((int)table.size() - 1, table.data(), true), c.exportTool) << c.name;
    }
}

// The Environment of a connector client: the first keyword of the table found
// in its log name, whatever its letter case; one row per keyword, each name
// holding no keyword tested before it. Then its log, found for the Environment
// given in the other letter case (the QOD row is met end to end, in
// Launcher.EveryInstallationKind): "{E}" is the executable folder, "{V}" the
// VEK folder under roaming application data, "{C}" and "{U}" the computer and
// user names. From an executable folder of 259 characters
// neither a package folder nor the export tool's Log folder can be joined: the
// log goes beside it. (A name without a keyword, CONNETTORI beside the
// executable, is one of Launcher.EveryInstallationKind.)
TEST(LogLocation, KeywordsAndEveryRow)
{
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName();
    char *appData = win_getAppDataPath();
    ASSERT_TRUE(appData != nullptr && computer != nullptr && user != nullptr);
    const std::string vendor = ts::join(appData, "VEK"), unit = "C:\\Connettori\\Unit";
    free(appData);
    ASSERT_TRUE(ts::makeFolder(vendor));
    for (const char *package : {"TORVOSQL", "GV", "KRUDZOLSQL", "WS", "ROLU", "wFelbok", "QODSQL", "pelmor"})
        ASSERT_TRUE(ts::makeFolder(ts::join(vendor, package))) << package;
    const std::string longFolder = unit + "\\" + std::string(240, 'l');
    const struct { const char *logName, *environment, *log; std::string exeFolder = ""; } cases[] = {
        {"TorvoSql", "TORVOSQL", "{V}\\TORVOSQL\\Connettori-Unit\\Log\\TORVOSQL"},
        {"torvo", "TORVO", "{E}\\FATTURA"},
        {"Gondavire_notturno", "GV", "{V}\\GV\\Connettori-Unit\\Log\\gondavirev2"},
        {"huvzol", "HUVZOL", "{E}\\HUVZOL"},
        {"SARPELZOL", "SarpelZOL", "{E}\\SarpelZOL"},
        {"xKRUDZOLSQL", "KRUDSQL", "{V}\\KRUDZOLSQL\\Connettori-Unit\\Log\\KRUDZOLSQL"},
        {"ZOLWSCONN", "WS", "{V}\\WS\\Connettori-Unit\\Log\\ZolWsConn"},
        {"ZolRoluConn", "ROLU", "{V}\\ROLU\\Connettori-Unit\\Log\\ZolRoluConn"},
        {"ZolwFelbokConn", "wFelbok", "{V}\\wFelbok\\Connettori-Unit\\Log\\ZolwFelbokConn"},
        {"ZolQodConn", "QODSQL", "{V}\\QODSQL\\Connettori-Unit\\Log\\ZolQodConn"},
        {"lirmakFATTURE", "KRUD", "{E}\\FATTURA"},
        {"f24", "KRUD", "{E}\\F24"},
        {"pelmor_lirmak", "LIRMAK", "{E}\\lirmak"},
        {"XXquenbarodis", "QUENBARODIS", "{E}\\Log\\quenbarodis.{C}.{U}"},
        {"pelmor", "PELMOR", "{V}\\pelmor\\Connettori-Unit\\Log\\pelmor"},
        {"ZolQodConn", "QODSQL", "{E}\\ZolQodConn", longFolder},
        {"XXquenbarodis", "QUENBARODIS", "{E}\\quenbarodis.{C}.{U}", longFolder},
    };
    for (const auto &c : cases) {
        const std::string exeFolder = c.exeFolder.empty() ? unit : c.exeFolder;
        char environment[VEK_ENVIRONMENT_SIZE], folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE];
        setAmbienteConnettori(environment, c.logName);
        EXPECT_STREQ(environment, c.environment) << c.logName;
        for (char *letter = environment; *letter != '\0'; letter++) {
            *letter = (char)(isupper((unsigned char)*letter) ? tolower(*letter) : toupper(*letter));
        }
        setPathLog(environment, exeFolder.c_str(), c.logName, folder, base);
        const std::string log =
            expand(c.log, {{"{E}", exeFolder}, {"{V}", vendor}, {"{C}", computer}, {"{U}", user}});
        EXPECT_EQ(ts::join(folder, base), log) << c.logName << " in " << exeFolder.size() << " characters";
    }
}

// Staging from a connector folder ("{C}") into the executable folder ("{E}").
// after: the information lines the log echoes, "KO" and the error text when
// staging fails (after a failed copy the system's own text, whole, on a line
// of its own), then what FILES hold: "EXE" and "A3X" from the connector.
// missing: left out of the connector folder; blocker: a folder in the way of
// that copy (refused for access on Windows, as a directory natively).
TEST(Staging, PrefixesAndReplacedFiles)
{
    const char *const FILES[] = {"autoit3.exe", "vantor.a3x", "QODvantor.a3x", "avantor.a3x"};
    const std::string FOLDER_IN_THE_WAY = ts::onWindows() ? "Access denied.\r\n" : "Is a directory";
    auto copying = [](const std::string &target) {
        return "In corso copia del file [{C}\\vantor.a3x]->[{E}\\" + target + "] ...\n";
    };
    const struct { const char *name, *baseName, *missing, *blocker; std::string after; } cases[] = {
        {"prefix", "QODvantor", "", "", "Prefisso=QOD\n" + copying("QODvantor.a3x") + "EXE|A3X|A3X|old|"},
        {"the first", "aVantorbvantor", "", "", "Prefisso=a\n" + copying("avantor.a3x") + "EXE|A3X|old|A3X|"},
        {"empty prefix", "vantor", "", "", "Prefisso=\n" + copying("vantor.a3x") + "EXE|A3X|old|old|"},
        {"script missing", "QODvantor", "vantor.a3x", "",
         "KO File [{C}\\vantor.a3x] non trovato\nEXE|old|old|old|"},
        {"interpreter copy fails", "QODvantor", "", "autoit3.exe",
         "KO Errore durante la copia del file [{C}\\autoit3.exe]->[{E}\\autoit3.exe]\n" + FOLDER_IN_THE_WAY +
             "\n|old|old|old|"},
        {"prefixed copy fails", "QODvantor", "", "QODvantor.a3x",
         "Prefisso=QOD\n" + copying("QODvantor.a3x") +
             "KO Errore durante la copia del file  [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x]\nEXE|A3X||old|"},
    };
    // The global log echoes its information lines to standard output.
    log_destroyContext(globalLogContext);
    log_setGlobalContext(ts::join(ts::makeWorkFolder("staging"), "s.log").c_str(), "app", "1", 0, 0, true);
    for (const auto &c : cases) {
        std::string exe = ts::makeWorkFolder("staging"), conn = ts::makeWorkFolder("connector");
        for (const char *file : FILES) {
            std::string mine = ts::join(exe, file);
            ASSERT_TRUE(strcmp(file, c.blocker) == 0 ? ts::makeFolder(mine) : ts::writeFile(mine, "old"));
            const char *bytes = strstr(file, ".exe") ? "EXE" : "A3X";
            ASSERT_TRUE(strcmp(file, c.missing) == 0 || ts::writeFile(ts::join(conn, file), bytes));
        }
        Configuration configuration{const_cast<char *>(conn.c_str()), false, 0, 0};
        char error[VEK_TEXT_SIZE];
        testing::internal::CaptureStdout();
        bool staged = prepareVantor(exe.c_str(), c.baseName, &configuration, error);
        std::string after = ts::lf(testing::internal::GetCapturedStdout()) + (staged ? "" : "KO ");
        after += std::string(error) + (error[0] ? "\n" : "");
        for (const char *file : FILES) after += ts::readFile(ts::join(exe, file)) + "|";
        EXPECT_EQ(expand(after, {{conn, "{C}"}, {exe, "{E}"}}), c.after) << c.name;
    }
}
