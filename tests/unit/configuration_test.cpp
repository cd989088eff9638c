// Configuration store: real INI files read through inih, the two keys picked
// out, and the warning of conf_get when nothing is loaded.
#include <gtest/gtest.h>

#include "configuration.h"
#include "testsupport.h"

// Each file's bytes as written, and the pathconnettore and debug_to_console it
// must give, with nothing printed by conf_get.
TEST(Configuration, LoadsRealFiles)
{
    const std::string ECHO = "[frascombe_a3x]\n$debug_to_console", MAIN = "[main]\n$pathconnettore";
    const struct { const char *name; std::string bytes, connector; bool echo; } cases[] = {
        {"echo 1", ECHO + " = 1\n", "", true}, {"echo 1 with comment", ECHO + " = 1 ; comment\n", "", true},
        {"echo 01", ECHO + " = 01\n", "", false}, {"echo true", ECHO + "=true\n", "", false},
        {"echo 1;x", ECHO + " = 1;x\n", "", false}, {"echo empty", ECHO + " =\n", "", false},
        {"colon separator, quotes kept", MAIN + ": \"D:\\Connettori\"\n", "\"D:\\Connettori\"", false},
        {"comments, continuation of another key",
         "[main]\n; $pathconnettore=X\n# $pathconnettore=Y\nother = a\n  $pathconnettore=Z\n", "", false},
        {"byte-order mark, duplicate key", "\xEF\xBB\xBF" + MAIN + "=first\n$pathconnettore=second\n", "second", false},
        {"CRLF lines", "[frascombe_a3x]\r\n$debug_to_console=1\r\n[main]\r\n$pathconnettore=D:\\x\r\n", "D:\\x", true},
        {"other sections, letter case, blanks in brackets, malformed lines",
         "$pathconnettore=top\n[Main]\n$pathconnettore=x\n[main]\n$PathConnettore=y\nno separator\n[other]\n"
         "$pathconnettore=w\n[FRASCOMBE_A3X]\n$debug_to_console=1\n[ main ]\n$pathconnettore=z\n[main\n", "", false},
        // Lines are read 199 characters at a time: the value keeps what is left
        // of the first piece after "$pathconnettore = ".
        {"line over 199 characters", MAIN + " = " + std::string(250, 'a') + "\n", std::string(181, 'a'), false},
        {"empty file", "", "", false},
    };
    std::string folder = ts::makeWorkFolder("conf_files");
    for (const auto &c : cases) {
        std::string path = ts::join(folder, std::to_string(&c - cases) + ".ini");
        ASSERT_TRUE(ts::writeFile(path, c.bytes) && conf_load(path.c_str()) && config != nullptr) << c.name;
        EXPECT_STREQ(config->pathconnettore, c.connector.c_str()) << c.name;
        EXPECT_EQ(config->debug_to_console, c.echo) << c.name;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(conf_get() == config && testing::internal::GetCapturedStdout().empty()) << c.name;
    }
}

// A failed load leaves nothing in force, even after an earlier load; conf_get
// then warns on every call and hands out the defaults.
TEST(Configuration, FailedLoadFallsBackToDefaults)
{
    const std::string warning = "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la "
                                "configurazione correttamente.\n";
    std::string folder = ts::makeWorkFolder("conf_fail");
    ASSERT_TRUE(ts::makeFolder(ts::join(folder, "folder.ini")));
    for (const char *name : {"missing.ini", "nowhere\\x.ini", "folder.ini"}) {
        EXPECT_TRUE(conf_load_empty() && !conf_load(ts::join(folder, name).c_str()) && config == nullptr) << name;
        testing::internal::CaptureStdout();
        const Configuration *first = conf_get(), *second = conf_get();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), warning + warning) << name;
        EXPECT_TRUE(first == second && first->pathconnettore[0] == '\0' && !first->debug_to_console) << name;
    }
}

// The two rotation keys of [frascombe_a3x] as written in the INI file, and the
// limits they give the launcher's log: both positive or rotation stays off.
struct RotationRow {
    const char *name;
    const char *ini;
    int maxSize, maxFiles;
};

class RotationKeys : public testing::TestWithParam<RotationRow> {};

TEST_P(RotationKeys, GiveTheLimits)
{
    const RotationRow &row = GetParam();
    std::string path = ts::join(ts::makeWorkFolder("conf_rotation"), "frascombe_a3x.ini");
    ASSERT_TRUE(ts::writeFile(path, row.ini) && conf_load(path.c_str()) && config != nullptr);
    EXPECT_EQ(config->log_max_size, row.maxSize);
    EXPECT_EQ(config->log_max_files, row.maxFiles);
}

INSTANTIATE_TEST_SUITE_P(Configuration, RotationKeys, testing::Values(
    RotationRow{"BothKeys", "[frascombe_a3x]\n$log_max_size=65536\n$log_max_files=3\n", 65536, 3},
    RotationRow{"Missing", "[frascombe_a3x]\n$debug_to_console=1\n", 0, 0},
    RotationRow{"Empty", "[frascombe_a3x]\n$log_max_size=\n$log_max_files=\n", 0, 0},
    RotationRow{"ZeroAndNegative", "[frascombe_a3x]\n$log_max_size=0\n$log_max_files=-3\n", 0, 0},
    RotationRow{"SignsAndDecimals", "[frascombe_a3x]\n$log_max_size=+500\n$log_max_files=2.5\n", 0, 0},
    RotationRow{"UnitsAndBlanksInside", "[frascombe_a3x]\n$log_max_size=10k\n$log_max_files=1 0\n", 0, 0},
    RotationRow{"QuotesKept", "[frascombe_a3x]\n$log_max_size=\"500\"\n$log_max_files='3'\n", 0, 0},
    RotationRow{"CommentAndLeadingZeros",
                "[frascombe_a3x]\n$log_max_size = 2048 ; 2 KiB\n$log_max_files=007\n", 2048, 7},
    RotationRow{"LargestSize",
                "[frascombe_a3x]\n$log_max_size=2147483647\n$log_max_files=100\n", 2147483647, 100},
    RotationRow{"PastTheBounds",
                "[frascombe_a3x]\n$log_max_size=99999999999999999999\n$log_max_files=101\n", 2147483647, 100},
    RotationRow{"OtherSectionOrLetterCase",
                "[main]\n$log_max_size=500\n[frascombe_a3x]\n$Log_Max_Files=3\n", 0, 0}),
    [](const testing::TestParamInfo<RotationRow> &info) { return std::string(info.param.name); });
