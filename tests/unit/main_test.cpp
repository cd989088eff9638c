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

TEST(WaitDecision, ArgumentsAskingToWait)
{
    // plain: waits outside export-tool mode; exportTool: waits in it, where the
    // first word with the one after it also decides parseQuenbarodisArguments.
    const struct { const char *name; std::vector<const char *> words; bool plain, exportTool; } cases[] = {
        {"none", {}, false, false}, {"-q first", {"-q", "a"}, true, true}, {"-p30", {"-p30"}, false, true},
        {"cron last", {"a", "b", "cron"}, true, true}, {"case matters", {"-Q", "CRON", "Cron"}, false, false},
        {"near misses", {"--q", "q", "-q "}, false, false}, {"-p then digits", {"-p", "0123456789"}, false, true},
        {"-p last", {"-p"}, false, false}, {"-p then /", {"-p", "/"}, false, false}, {"-p3:", {"-p3:"}, false, false},
        {"-p then empty", {"-p", ""}, false, false}, {"-P30", {"-P30"}, false, false},
        {"byte above 127", {"-p\xB2"}, false, false}, {"text before -p", {"x-p30"}, false, false},
        {"-p then -q", {"-p", "-q"}, true, true}, {"stays set", {"-p30", "-p"}, false, true},
        {"next of -p9 not looked at", {"-p9", "x"}, false, true},
    };
    for (const auto &c : cases) {
        std::vector<const char *> table{"task.exe"};
        table.insert(table.end(), c.words.begin(), c.words.end());
        table.push_back(nullptr);
        char **argTable = const_cast<char **>(table.data());
        EXPECT_EQ(mustWaitForScript((int)table.size() - 1, argTable, false), c.plain) << c.name;
        EXPECT_EQ(mustWaitForScript((int)table.size() - 1, argTable, true), c.exportTool) << c.name;
        EXPECT_EQ(table[1] && parseQuenbarodisArguments(table[1], table[2]), c.exportTool && !c.plain) << c.name;
    }
}

// The Environment of connector clients from the keyword table, tested in
// order on the log name, and the log location of every Environment, from a
// short executable folder and from one of 259 characters, below which neither
// a package path nor the export tool's Log folder can be joined: the log then
// goes beside the executable under the row's base name. Only the package
// levels are made.
TEST(LogLocation, KeywordsAndEveryRow)
{
    char *appData = win_getAppDataPath();
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName();
    ASSERT_TRUE(appData != nullptr && computer != nullptr && user != nullptr);
    std::string vendor = ts::join(appData, "VEK"), exportBase = std::string("quenbarodis.") + computer + "." + user;
    free(appData);
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
        // QOD and ALTRO come from the INI file's name, every other Environment from the keyword table.
        bool fromIni = strcmp(c.environment, "QOD") == 0 || strcmp(c.environment, "ALTRO") == 0;
        EXPECT_EQ(fromIni ? c.environment : environment, std::string(c.environment)) << c.logName;
        bool inPackage = c.where[0] != '\0' && c.where[0] != '\\';
        ASSERT_TRUE(!inPackage || (ts::makeFolder(vendor) && ts::makeFolder(ts::join(vendor, c.where))));
        for (const std::string &exeFolder : {exe, longExe}) {
            std::string expected = inPackage ? ts::join(vendor, c.where) + "\\Connettori-Unit\\Log" : exe + c.where;
            if (exeFolder == longExe) expected = longExe;
            setPathLog(c.environment, exeFolder.c_str(), c.logName, folder, base);
            EXPECT_EQ(ts::join(folder, base), ts::join(expected, c.base)) << c.logName << " from " << exeFolder;
            EXPECT_EQ(win_pathIsDirectory(folder), inPackage && exeFolder == exe) << c.logName;
        }
    }
}

// A connector folder without an interpreter is run end to end with the
// injected faults.
TEST(Staging, PrefixesAndReplacedFiles)
{
    const char *const FILES[] = {"autoit3.exe", "vantor.a3x", "QODvantor.a3x", "avantor.a3x"};
    // missing: left out of the connector folder; blocker: a folder in the way of that copy; errorText:
    // exact, or its start when it ends in "\n" and the system's text follows; after: the lines logged, then
    // what FILES hold ("EXE" and "A3X" from the connector); "{C}" stands for the connector folder and
    // "{E}" for the executable folder.
    const struct { const char *name, *baseName, *missing, *blocker, *errorText, *after; } cases[] = {
        {"prefix found", "QODvantor", "", "", "",
         "Prefisso=QOD\nIn corso copia del file [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x] ...\nEXE|A3X|A3X|old|"},
        {"first match, case ignored", "aVantorbvantor", "", "", "",
         "Prefisso=a\nIn corso copia del file [{C}\\vantor.a3x]->[{E}\\avantor.a3x] ...\nEXE|A3X|old|A3X|"},
        {"empty prefix", "vantor", "", "", "",
         "Prefisso=\nIn corso copia del file [{C}\\vantor.a3x]->[{E}\\vantor.a3x] ...\nEXE|A3X|old|old|"},
        {"script missing", "QODvantor", "vantor.a3x", "", "File [{C}\\vantor.a3x] non trovato", "EXE|old|old|old|"},
        {"interpreter copy fails", "QODvantor", "", "autoit3.exe",
         "Errore durante la copia del file [{C}\\autoit3.exe]->[{E}\\autoit3.exe]\n", "|old|old|old|"},
        {"prefixed copy fails", "QODvantor", "", "QODvantor.a3x",
         "Errore durante la copia del file  [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x]",
         "Prefisso=QOD\nIn corso copia del file [{C}\\vantor.a3x]->[{E}\\QODvantor.a3x] ...\nEXE|A3X||old|"},
    };
    // The log echoes its information lines, the texts alone, to standard output.
    log_destroyContext(globalLogContext);
    log_setGlobalContext(ts::join(ts::makeWorkFolder("staging"), "s.log").c_str(), "app", "1", 0, 0, true);
    for (const auto &c : cases) {
        std::string exe = ts::makeWorkFolder("staging"), conn = ts::makeWorkFolder("connector");
        auto fill = [&](std::string text) {
            for (size_t at; (at = text.find('{')) != text.npos;) text.replace(at, 3, text[at + 1] == 'C' ? conn : exe);
            return text;
        };
        for (const char *file : FILES) {
            strcmp(file, c.blocker) ? ts::writeFile(ts::join(exe, file), "old") : ts::makeFolder(ts::join(exe, file));
            if (strcmp(file, c.missing) != 0) ts::writeFile(ts::join(conn, file), strstr(file, ".exe") ? "EXE" : "A3X");
        }
        Configuration configuration{const_cast<char *>(conn.c_str()), false};
        char errorText[VEK_TEXT_SIZE];
        testing::internal::CaptureStdout();
        bool result = prepareVantor(exe.c_str(), c.baseName, &configuration, errorText);
        std::string after = ts::lf(testing::internal::GetCapturedStdout()), expected = fill(c.errorText);
        for (const char *file : FILES) after += ts::readFile(ts::join(exe, file)) + "|";

        EXPECT_EQ(result, expected.empty()) << c.name;
        EXPECT_EQ(std::string(errorText).substr(0, expected.size()), expected) << c.name;
        EXPECT_EQ(strlen(errorText) > expected.size(), !expected.empty() && expected.back() == '\n') << c.name;
        EXPECT_EQ(after, fill(c.after)) << c.name;
    }
    log_destroyContext(globalLogContext);
    globalLogContext = nullptr;
}

