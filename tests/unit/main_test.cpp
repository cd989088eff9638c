// The launch module's decisions: waiting, the Environment of connector
// clients, the log location of every Environment and the update-check staging.
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "configuration.h"
#include "log.h"
#include "main.h"
#include "testsupport.h"
#include "windows_helper.h"

TEST(WaitDecision, ArgumentsAskingToWait)
{
    // The words after the program's; plain: waits outside export-tool mode;
    // exportTool: waits in it, where the first word with the one after it also
    // decides parseQuenbarodisArguments. Letter case matters, "-p" with digits
    // after it decides alone and a later "-p" does not unset waiting.
    const struct { std::vector<std::string> words; bool plain, exportTool; } cases[] = {
        {{}, false, false}, {{"-q", "a"}, true, true}, {{"-p30"}, false, true}, {{"a", "b", "cron"}, true, true},
        {{"-Q", "CRON", "Cron"}, false, false}, {{"--q", "q", "-q "}, false, false}, {{"-p", "-q"}, true, true},
        {{"-p", "0123456789"}, false, true}, {{"-p"}, false, false}, {{"-p", "/"}, false, false},
        {{"-p", ""}, false, false}, {{"-P30"}, false, false}, {{"-p\xB2"}, false, false}, {{"x-p30"}, false, false},
        {{"-p30", "-p"}, false, true}, {{"-p9", "x"}, false, true}, {{"-p3:"}, false, false},
    };
    for (const auto &c : cases) {
        char *table[8] = {const_cast<char *>("task.exe")};   // null after the last word
        for (size_t i = 0; i < c.words.size(); i++) table[i + 1] = const_cast<char *>(c.words[i].c_str());
        std::string name = ts::commandLine("task.exe", c.words);
        EXPECT_EQ(mustWaitForScript((int)c.words.size() + 1, table, false), c.plain) << name;
        EXPECT_EQ(mustWaitForScript((int)c.words.size() + 1, table, true), c.exportTool) << name;
        EXPECT_EQ(table[1] && parseQuenbarodisArguments(table[1], table[2]), c.exportTool && !c.plain) << name;
    }
}

// The Environment of connector clients from the keyword table, tested in
// order on the log name (QOD and ALTRO, the first two rows, come from the INI
// file's name instead), and the log location of every Environment, from a short
// executable folder and from one of 259 characters, below which neither a
// package path nor the export tool's Log folder can be joined: the log then
// goes beside the executable under the row's base name.
TEST(LogLocation, KeywordsAndEveryRow)
{
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName(), *appData = win_getAppDataPath();
    ASSERT_TRUE(appData != nullptr && computer != nullptr && user != nullptr);
    std::string vendor = ts::join(appData, "VEK"), exportBase = std::string("quenbarodis.") + computer + "." + user;
    free(const_cast<char *>(appData));
    const std::string exe = "C:\\Connettori\\Unit", longExe = exe + "\\" + std::string(240, 'l');
    // where: "" beside the executable, "\Log" in its Log folder, else the package.
    const struct { const char *logName, *environment, *where; std::string base; } cases[] = {
        {"t", "QOD", "", "Esegui_da_QOD"}, {"my task", "ALTRO", "", "my task"}, {"lirmak", "LIRMAK", "", "lirmak"},
        {"pelmor_lirmak", "LIRMAK", "", "lirmak"}, {"TorvoSql", "TORVOSQL", "TORVOSQL", "TORVOSQL"},
        {"torvofatture", "TORVO", "", "FATTURA"}, {"lirmakFATTURE", "KRUD", "", "FATTURA"}, {"f24", "KRUD", "", "F24"},
        {"ZOLWSCONN", "WS", "WS", "ZolWsConn"}, {"ZolRoluConn", "ROLU", "ROLU", "ZolRoluConn"},
        {"ZolwFelbokConn", "wFelbok", "wFelbok", "ZolwFelbokConn"}, {"ZolQodConn", "QODSQL", "QODSQL", "ZolQodConn"},
        {"xKRUDZOLSQL", "KRUDSQL", "KRUDZOLSQL", "KRUDZOLSQL"}, {"Gondavirev2", "GV", "GV", "gondavirev2"},
        {"huvzol", "HUVZOL", "", "HUVZOL"}, {"SARPELZOL", "SarpelZOL", "", "SarpelZOL"}, {"f2", "CONNETTORI", "", "f2"},
        {"pelmor", "PELMOR", "pelmor", "pelmor"}, {"XXquenbarodis", "QUENBARODIS", "\\Log", exportBase},
    };
    for (const auto &c : cases) {
        char environment[VEK_ENVIRONMENT_SIZE], folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE];
        setAmbienteConnettori(environment, c.logName);
        EXPECT_TRUE(&c - cases < 2 || !strcmp(c.environment, environment)) << c.logName << " gave " << environment;
        bool inPackage = c.where[0] != '\0' && c.where[0] != '\\';
        ASSERT_TRUE(!inPackage || (ts::makeFolder(vendor) && ts::makeFolder(ts::join(vendor, c.where))));
        for (const std::string &exeFolder : {exe, longExe}) {
            std::string expected = inPackage ? ts::join(vendor, c.where) + "\\Connettori-Unit\\Log" : exe + c.where;
            setPathLog(c.environment, exeFolder.c_str(), c.logName, folder, base);
            EXPECT_EQ(ts::join(folder, base), ts::join(exeFolder == exe ? expected : longExe, c.base)) << c.logName;
        }
    }
}

// The Environment picks its log location whatever its letter case; one that
// matches no row keeps the executable folder and the log name.
TEST(LogLocation, EnvironmentIgnoringCase)
{
    const struct { const char *environment, *logName, *log; } cases[] = {
        {"qod", "task", "C:\\Connettori\\Unit\\Esegui_da_QOD"},
        {"Krud", "task", "C:\\Connettori\\Unit\\F24"},
        {"krud", "krudFatture", "C:\\Connettori\\Unit\\FATTURA"},
        {"torvo", "task", "C:\\Connettori\\Unit\\FATTURA"},
        {"huvzol", "task", "C:\\Connettori\\Unit\\HUVZOL"},
        {"SARPELZOL", "task", "C:\\Connettori\\Unit\\SarpelZOL"},
        {"Lirmak", "task", "C:\\Connettori\\Unit\\lirmak"},
        {"connettori", "task", "C:\\Connettori\\Unit\\task"},
    };
    for (const auto &c : cases) {
        char folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE];
        setPathLog(c.environment, "C:\\Connettori\\Unit", c.logName, folder, base);
        EXPECT_EQ(ts::join(folder, base), c.log) << c.environment;
    }
}

// Staging from a connector folder into the executable folder. after: the
// information lines echoed by the log, "KO" and the error text when staging
// fails (after a failed copy the system's own text, whole, on a line of its
// own: a folder in the way is refused for access on Windows, as a directory
// natively), then what FILES hold ("EXE" and "A3X" from the
// connector); "{C}" stands for the connector folder and "{E}" for the
// executable folder. missing: left out of the connector folder; blocker: a
// folder in the way of that copy. A connector folder without an interpreter is
// run end to end with the injected faults.
TEST(Staging, PrefixesAndReplacedFiles)
{
    const char *const FILES[] = {"autoit3.exe", "vantor.a3x", "QODvantor.a3x", "avantor.a3x"};
    const std::string COPY = "In corso copia del file [{C}\\vantor.a3x]->[{E}\\";
    const std::string FOLDER_IN_THE_WAY = ts::onWindows() ? "Access denied.\r\n" : "Is a directory";
    const struct { const char *name, *baseName, *missing, *blocker; std::string after; } cases[] = {
        {"prefix found", "QODvantor", "", "", "Prefisso=QOD\n" + COPY + "QODvantor.a3x] ...\nEXE|A3X|A3X|old|"},
        {"first of two", "aVantorbvantor", "", "", "Prefisso=a\n" + COPY + "avantor.a3x] ...\nEXE|A3X|old|A3X|"},
        {"empty prefix", "vantor", "", "", "Prefisso=\n" + COPY + "vantor.a3x] ...\nEXE|A3X|old|old|"},
        {"script missing", "QODvantor", "vantor.a3x", "", "KO File [{C}\\vantor.a3x] non trovato\nEXE|old|old|old|"},
        {"interpreter copy fails", "QODvantor", "", "autoit3.exe",
         "KO Errore durante la copia del file [{C}\\autoit3.exe]->[{E}\\autoit3.exe]\n" + FOLDER_IN_THE_WAY +
         "\n|old|old|old|"},
        {"prefixed copy fails", "QODvantor", "", "QODvantor.a3x", "Prefisso=QOD\n" + COPY + "QODvantor.a3x] ...\n"
         "KO Errore durante la copia del file  [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x]\nEXE|A3X||old|"},
    };
    log_destroyContext(globalLogContext);   // the global log echoes its information lines to standard output
    log_setGlobalContext(ts::join(ts::makeWorkFolder("staging"), "s.log").c_str(), "app", "1", 0, 0, true);
    for (const auto &c : cases) {
        std::string exe = ts::makeWorkFolder("staging"), conn = ts::makeWorkFolder("connector");
        for (const char *file : FILES) {
            strcmp(file, c.blocker) ? ts::writeFile(ts::join(exe, file), "old") : ts::makeFolder(ts::join(exe, file));
            if (strcmp(file, c.missing) != 0) ts::writeFile(ts::join(conn, file), strstr(file, ".exe") ? "EXE" : "A3X");
        }
        Configuration configuration{const_cast<char *>(conn.c_str()), false, 0, 0};
        char error[VEK_TEXT_SIZE];
        testing::internal::CaptureStdout();
        bool staged = prepareVantor(exe.c_str(), c.baseName, &configuration, error);
        std::string after = ts::lf(testing::internal::GetCapturedStdout()) + (staged ? "" : "KO ");
        after += std::string(error) + (error[0] ? "\n" : "");
        for (const char *file : FILES) after += ts::readFile(ts::join(exe, file)) + "|";
        for (size_t at; (at = after.find(conn)) != after.npos;) after.replace(at, conn.size(), "{C}");
        for (size_t at; (at = after.find(exe)) != after.npos;) after.replace(at, exe.size(), "{E}");
        EXPECT_EQ(after, c.after) << c.name;
    }
}
