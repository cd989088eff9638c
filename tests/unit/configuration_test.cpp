// Configuration store: real INI files read through inih and the keys picked
// out. (A failed load and the warning of conf_get without a record are seen
// end to end: LauncherFailure.EndsWithItsExitCodeAndMessage and the launches
// without an INI file; the fuzz_config target loads a missing file after each
// input.)
#include <gtest/gtest.h>

#include "configuration.h"
#include "testsupport.h"

// The keys of the record in force that differ from their defaults, each as
// "name=value ": "" when all are left empty, off or 0.
static std::string loaded()
{
    std::string connector = config->pathconnettore;
    std::string keys = connector.empty() ? "" : "connector=" + connector + " ";
    keys += config->debug_to_console ? "echo=1 " : "";
    keys += config->log_max_size ? "size=" + std::to_string(config->log_max_size) + " " : "";
    return keys + (config->log_max_files ? "files=" + std::to_string(config->log_max_files) + " " : "");
}

// Each file's bytes as written and the record it gives, with nothing printed
// by conf_get. Rotation limits are whole numbers above 0 or 0 for none.
TEST(Configuration, LoadsRealFiles)
{
    const std::string ECHO = "[frascombe_a3x]\n$debug_to_console", MAIN = "[main]\n$pathconnettore";
    const std::string SIZE = "[frascombe_a3x]\n$log_max_size";
    const struct { const char *name; std::string bytes, record; } cases[] = {
        {"echo 1 and a comment", ECHO + " = 1 ; on\n", "echo=1 "},
        {"echo 01", ECHO + " = 01\n", ""},
        {"echo 1;x", ECHO + " = 1;x\n", ""},
        {"colon separator, quotes kept", MAIN + ": \"D:\\Conn\"\n", "connector=\"D:\\Conn\" "},
        {"comments, continuation of another key",
         "[main]\n; $pathconnettore=X\n# $pathconnettore=Y\nother = a\n  $pathconnettore=Z\n", ""},
        {"byte-order mark, duplicate key", "\xEF\xBB\xBF" + MAIN + "=first\n$pathconnettore=second\n",
         "connector=second "},
        // A Ctrl-Z ends the file, as the Windows runtime's text mode reads it.
        {"Ctrl-Z inside a value", MAIN + "=fir\x1Ast\n[frascombe_a3x]\n$debug_to_console=1\n",
         "connector=fir "},
        {"CRLF lines", "[frascombe_a3x]\r\n$debug_to_console=1\r\n[main]\r\n$pathconnettore=D:\\x\r\n",
         "connector=D:\\x echo=1 "},
        {"other sections, letter case, blanks in brackets, malformed lines",
         "$pathconnettore=top\n[Main]\n$pathconnettore=x\n[main]\n$PathConnettore=y\nno separator\n[other]\n"
         "$pathconnettore=w\n[FRASCOMBE_A3X]\n$debug_to_console=1\n[ main ]\n$pathconnettore=z\n[main\n", ""},
        // Lines are read 199 characters at a time: the value keeps what is left
        // of the first piece after "$pathconnettore = ".
        {"line over 199 characters", MAIN + " = " + std::string(250, 'a') + "\n",
         "connector=" + std::string(181, 'a') + " "},
        {"limits, a comment, leading zeros", SIZE + " = 2048 ; KiB\n$log_max_files=007\n",
         "size=2048 files=7 "},
        {"limits at their bounds", SIZE + "=2147483647\n$log_max_files=100\n", "size=2147483647 files=100 "},
        {"limits past their bounds", SIZE + "=99999999999999999999\n$log_max_files=101\n",
         "size=2147483647 files=100 "},
        {"limits empty", SIZE + "=\n$log_max_files=\n", ""},
        {"limits signed, decimal", SIZE + "=+500\n$log_max_files=2.5\n", ""},
        {"limits quoted", SIZE + "=\"500\"\n$log_max_files='3'\n", ""},
        {"limits in another section, letter case",
         "[main]\n$log_max_size=5\n" + SIZE + "=9\n$Log_Max_Files=3\n", "size=9 "},
    };
    std::string folder = ts::makeWorkFolder("conf_files");
    for (const auto &c : cases) {
        std::string path = ts::join(folder, std::to_string(&c - cases) + ".ini");
        ASSERT_TRUE(ts::writeFile(path, c.bytes) && conf_load(path.c_str()) && config != nullptr) << c.name;
        EXPECT_EQ(loaded(), c.record) << c.name;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(conf_get() == config && testing::internal::GetCapturedStdout().empty()) << c.name;
    }
}
