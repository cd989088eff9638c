// Configuration store: real INI files read through inih, the two keys picked
// out, and the warning of conf_get when nothing is loaded.
#include <gtest/gtest.h>

#include <string>

#include "configuration.h"
#include "testsupport.h"

namespace {

const char *const NULL_MESSAGE =
    "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la configurazione "
    "correttamente.\n";

struct IniCase {
    const char *name;
    std::string bytes;       // the file as written
    const char *connector;   // expected pathconnettore
    bool echo;               // expected debug_to_console
};

const std::string LONG_VALUE(250, 'a');

const IniCase INI_CASES[] = {
    {"echo 1", "[frascombe_a3x]\n$debug_to_console = 1\n", "", true},
    {"echo 01", "[frascombe_a3x]\n$debug_to_console = 01\n", "", false},
    {"echo true", "[frascombe_a3x]\n$debug_to_console=true\n", "", false},
    {"echo yes", "[frascombe_a3x]\n$debug_to_console=yes\n", "", false},
    {"echo empty", "[frascombe_a3x]\n$debug_to_console =\n", "", false},
    {"echo with comment", "[frascombe_a3x]\n$debug_to_console = 1 ; comment\n", "", true},
    {"echo 1;x", "[frascombe_a3x]\n$debug_to_console = 1;x\n", "", false},
    {"echo last wins", "[frascombe_a3x]\n$debug_to_console=1\n$debug_to_console=0\n", "", false},
    {"colon separator", "[main]\n$pathconnettore: D:\\Connettori\n", "D:\\Connettori", false},
    {"quotes kept", "[main]\n$pathconnettore = \"D:\\A B\"\n", "\"D:\\A B\"", false},
    {"comment lines", "[main]\n; $pathconnettore = X\n# $pathconnettore = Y\n", "", false},
    {"continuation of another key", "[main]\nother = a\n  $pathconnettore = X\n", "", false},
    {"continuation of the key", "[main]\n$pathconnettore = A\n   B\n", "B", false},
    {"byte-order mark", "\xEF\xBB\xBF[main]\n$pathconnettore=C:\\x\n", "C:\\x", false},
    {"CRLF lines",
     "[frascombe_a3x]\r\n$debug_to_console = 1\r\n[main]\r\n$pathconnettore = D:\\A B\r\n",
     "D:\\A B", true},
    {"duplicate key", "[main]\n$pathconnettore=first\n$pathconnettore=second\n", "second", false},
    {"other sections and case",
     "$pathconnettore=top\n[Main]\n$pathconnettore=x\n[main]\n$PathConnettore=y\n"
     "[other]\n$pathconnettore=w\n[FRASCOMBE_A3X]\n$debug_to_console=1\n",
     "", false},
    {"blanks in brackets", "[ main ]\n$pathconnettore=x\n[ frascombe_a3x ]\n$debug_to_console=1\n",
     "", false},
    {"malformed lines ignored", "[main\nno separator here\n[main]\n$pathconnettore=ok\n", "ok", false},
    {"line over 199 characters", "[main]\n$pathconnettore = " + LONG_VALUE + "\n",
     nullptr /* first piece only, checked below */, false},
    {"empty file", "", "", false},
};

TEST(Configuration, LoadsRealFiles)
{
    std::string folder = ts::makeWorkFolder("conf_files");
    int index = 0;
    for (const IniCase &c : INI_CASES) {
        std::string path = ts::join(folder, "case" + std::to_string(index++) + ".ini");
        ASSERT_TRUE(ts::writeFile(path, c.bytes)) << c.name;
        ASSERT_TRUE(conf_load(path.c_str())) << c.name;
        ASSERT_NE(config, nullptr) << c.name;
        ASSERT_NE(config->pathconnettore, nullptr) << c.name;
        if (c.connector != nullptr) {
            EXPECT_STREQ(config->pathconnettore, c.connector) << c.name;
        } else {
            // Lines are read 199 characters at a time: the value is what is
            // left of the first piece after the key.
            size_t kept = 199 - std::string("$pathconnettore = ").size();
            EXPECT_EQ(std::string(config->pathconnettore), LONG_VALUE.substr(0, kept)) << c.name;
        }
        EXPECT_EQ(config->debug_to_console, c.echo) << c.name;
        testing::internal::CaptureStdout();
        const Configuration *got = conf_get();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name;
        EXPECT_EQ(got, config) << c.name;
    }
}

// Loads that fail leave nothing in force; conf_get then warns on every call
// and hands out the defaults.
TEST(Configuration, FailedLoadFallsBackToDefaults)
{
    std::string folder = ts::makeWorkFolder("conf_fail");
    std::string folderAsIni = ts::join(folder, "folder.ini");
    ASSERT_TRUE(ts::makeFolder(folderAsIni));
    struct {
        const char *name;
        std::string path;
    } cases[] = {
        {"missing file", ts::join(folder, "missing.ini")},
        {"missing folder", ts::join(folder, "nowhere\\x.ini")},
        {"a folder", folderAsIni},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(conf_load_empty()) << c.name;
        EXPECT_FALSE(conf_load(c.path.c_str())) << c.name;
        EXPECT_EQ(config, nullptr) << c.name;
        testing::internal::CaptureStdout();
        const Configuration *first = conf_get();
        const Configuration *second = conf_get();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(NULL_MESSAGE) + NULL_MESSAGE)
            << c.name;
        ASSERT_NE(first, nullptr) << c.name;
        EXPECT_EQ(first, second) << c.name;
        EXPECT_STREQ(first->pathconnettore, "") << c.name;
        EXPECT_FALSE(first->debug_to_console) << c.name;
    }
}

TEST(Configuration, EmptyLoadInstallsDefaults)
{
    std::string path = ts::join(ts::makeWorkFolder("conf_empty"), "x.ini");
    ASSERT_TRUE(ts::writeFile(path, "[main]\n$pathconnettore=X\n[frascombe_a3x]\n$debug_to_console=1\n"));
    ASSERT_TRUE(conf_load(path.c_str()));
    ASSERT_TRUE(conf_load_empty());
    ASSERT_NE(config, nullptr);
    EXPECT_STREQ(config->pathconnettore, "");
    EXPECT_FALSE(config->debug_to_console);
}

}  // namespace
