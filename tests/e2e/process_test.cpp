// Process start: the interpreter stand-in started in a folder, waited for or
// not, with its exit code, its working folder and nothing else inherited.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

// Lays out the stand-in and a script in a new folder and starts program
// there; *folder and *errorText receive the folder and the error text.
static int start(const std::string &script, bool wait, std::string *folder, std::string *errorText,
                 const std::string &program = "autoit3.exe")
{
    unsigned long ignored = 0;
    char error[VEK_TEXT_SIZE];
    *folder = ts::makeWorkFolder("process folder");
    win_copyFile(ts::builtProgram("autoit3").c_str(), ts::join(*folder, "autoit3.exe").c_str(), &ignored);
    ts::writeFile(ts::join(*folder, "task.a3x"), script);
    std::string command = "\"" + ts::join(*folder, program) + "\" task.a3x";
    ts::writeFile(ts::join(*folder, "command.txt"), command);
    int result = win_executeCommand(&command[0], folder->c_str(), wait, error);
    *errorText = error;
    return result;
}

TEST(ProcessStart, ResultsAndErrorTexts)
{
    struct Case {
        const char *script;
        bool wait;
        int expected;
        const char *platform, *program;  // platform "" for both
    } cases[] = {
        {"exit 0\n", true, 0, "", "autoit3.exe"},
        {"exit 3\n", true, 3, "", "autoit3.exe"},
        {"exit 5\n", false, 0, "", "autoit3.exe"},
        {"exit 0x80000001\n", true, (int)0x80000001u, "win32", "autoit3.exe"},
        {"signal\n", true, 143, "posix", "autoit3.exe"},
        {"", true, 1, "", "missing.exe"},
        {"", false, 1, "", "missing.exe"},
    };
    for (const Case &c : cases) {
        if (c.platform[0] != '\0' && c.platform != std::string(ts::onWindows() ? "win32" : "posix")) continue;
        std::string folder, errorText;
        EXPECT_EQ(c.expected, start(c.script, c.wait, &folder, &errorText, c.program)) << c.script << c.program;
        // File not found is 2 both as a Windows error and as errno.
        EXPECT_EQ(c.program[0] == 'm' ? "Errore durante l'esecuzione del comando: 2" : "", errorText) << c.script;
    }
}

TEST(ProcessStart, NotWaitingReturnsWhileTheChildSleeps)
{
    std::string folder, errorText;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(0, start("sleep 1500\nreport done.txt\n", false, &folder, &errorText));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1000));
    EXPECT_FALSE(ts::fileExists(ts::join(folder, "done.txt")));
    for (int i = 0; i < 100 && !ts::fileExists(ts::join(folder, "done.txt")); i++) win_sleep(100);
    EXPECT_TRUE(ts::fileExists(ts::join(folder, "done.txt"))) << "the child ran on by itself";
}

TEST(ProcessStart, FolderDescriptorsAndOutputOrder)
{
    // A descriptor of ours that a careless start would hand to the child.
    FILE *held = win_fopen(ts::join(ts::makeWorkFolder("held"), "held.txt").c_str(), "w");
    std::string folder, errorText;
    EXPECT_EQ(0, start("report r.txt\nprint from the child\n", true, &folder, &errorText));
    fclose(held);
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    EXPECT_EQ(folder, report.folder);
    EXPECT_EQ((std::vector<std::string>{ts::join(folder, "autoit3.exe"), "task.a3x"}), report.args);
    EXPECT_TRUE(report.openDescriptors.empty()) << "leaked descriptor " << report.openDescriptors.at(0);
    // Captured streams are files, so a parent's output is fully buffered:
    // only a flush before the start puts its line before the child's.
    ts::RunResult r = ts::run(ts::commandLine(ts::builtProgram("starter"), {}), folder);
    EXPECT_EQ("before\nfrom the child\nafter 0\n", ts::lf(r.out));
}

TEST(ProcessStart, RawCommandLineRebuiltFromTheArguments)
{
    // Natively the raw command line is rebuilt from the argument vector: an
    // empty argument is written as "", others bare or quoted with inner
    // quotes doubled. A shell gives the stand-in arguments our own start
    // never could.
    if (ts::onWindows()) GTEST_SKIP() << "the raw command line is the system's own";
    std::string folder, errorText;
    start("report r.txt\n", true, &folder, &errorText);
    char program[4096];
    ASSERT_TRUE(win_toNativePath(ts::join(folder, "autoit3.exe").c_str(), program, sizeof program));
    std::string command =
        "Z:\\bin\\sh -c \"exec \"\"$0\"\" task.a3x '' 'a b' 'q\"\"q'\" \"" + std::string(program) + "\"";
    char error[VEK_TEXT_SIZE];
    EXPECT_EQ(0, win_executeCommand(&command[0], folder.c_str(), true, error));
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    // The program's path holds a blank, so it is quoted too.
    EXPECT_EQ("\"" + std::string(program) + "\" task.a3x \"\" \"a b\" \"q\"\"q\"", report.commandLine);
    EXPECT_EQ((std::vector<std::string>{program, "task.a3x", "a b", "q\"q"}), report.args);
}
