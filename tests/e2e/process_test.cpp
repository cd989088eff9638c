// Process start: the interpreter stand-in started in a folder, waited for or
// not, with its exit code, its working folder and nothing else inherited.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// A folder with the stand-in and a script; returns the command that runs it.
std::string prepare(const std::string &folder, const std::string &script)
{
    unsigned long error = 0;
    win_copyFile(ts::builtProgram("autoit3").c_str(), ts::join(folder, "autoit3.exe").c_str(), &error);
    ts::writeFile(ts::join(folder, "task.a3x"), script);
    return "\"" + ts::join(folder, "autoit3.exe") + "\" task.a3x";
}

int execute(std::string command, const std::string &folder, bool wait, std::string *errorText)
{
    char error[VEK_TEXT_SIZE];
    int result = win_executeCommand(&command[0], folder.c_str(), wait, error);
    *errorText = error;
    return result;
}

}  // namespace

TEST(ProcessStart, ExitCodesWhenWaiting)
{
    struct Case {
        const char *name;
        const char *script;
        int expected;
        bool windowsOnly;
        bool posixOnly;
    };
    const Case cases[] = {
        {"zero", "exit 0\n", 0, false, false},
        {"three", "exit 3\n", 3, false, false},
        {"end of script", "print hello\n", 0, false, false},
        {"top bit", "exit 0x80000001\n", (int)0x80000001u, true, false},
        {"killed by SIGTERM", "signal\n", 128 + 15, false, true},
    };
    for (const Case &c : cases) {
        if ((c.windowsOnly && !ts::onWindows()) || (c.posixOnly && ts::onWindows())) continue;
        std::string folder = ts::makeWorkFolder("exit");
        std::string errorText = "stale";
        EXPECT_EQ(c.expected, execute(prepare(folder, c.script), folder, true, &errorText)) << c.name;
        EXPECT_EQ("", errorText) << c.name;
    }
}

TEST(ProcessStart, NotWaitingReturnsWhileTheChildSleeps)
{
    std::string folder = ts::makeWorkFolder("nowait");
    std::string errorText;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, execute(prepare(folder, "sleep 1500\nreport done.txt\nexit 7\n"), folder, false, &errorText));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
    EXPECT_EQ("", errorText);
    EXPECT_FALSE(ts::fileExists(ts::join(folder, "done.txt")));
    for (int i = 0; i < 100 && !ts::fileExists(ts::join(folder, "done.txt")); i++) win_sleep(100);
    EXPECT_TRUE(ts::fileExists(ts::join(folder, "done.txt"))) << "the child ran on by itself";
}

TEST(ProcessStart, ProgramThatCannotStart)
{
    std::string folder = ts::makeWorkFolder("nostart");
    std::string errorText;
    std::string command = "\"" + ts::join(folder, "missing.exe") + "\" task.a3x";
    EXPECT_EQ(1, execute(command, folder, true, &errorText));
    unsigned long expected = ts::onWindows() ? 2ul : 2ul;  // file not found / ENOENT
    EXPECT_EQ("Errore durante l'esecuzione del comando: " + std::to_string(expected), errorText);
    EXPECT_EQ(1, execute(command, folder, false, &errorText)) << "also when not waiting";
    EXPECT_EQ("Errore durante l'esecuzione del comando: " + std::to_string(expected), errorText);
}

TEST(ProcessStart, WorkingFolderAndNoLeakedDescriptors)
{
    std::string folder = ts::makeWorkFolder("cwd folder");
    // A descriptor that a careless start would hand to the child.
    std::string held = ts::join(ts::makeWorkFolder("held"), "held.txt");
    FILE *open = win_fopen(held.c_str(), "w");
    ASSERT_NE(nullptr, open);
    std::string errorText;
    EXPECT_EQ(0, execute(prepare(folder, "report r.txt\n"), folder, true, &errorText));
    fclose(open);
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    ASSERT_TRUE(report.found);
    EXPECT_EQ(folder, report.folder);
    ASSERT_EQ(2u, report.args.size());
    EXPECT_EQ("task.a3x", report.args[1]);
    EXPECT_TRUE(report.openDescriptors.empty()) << "first leaked descriptor: " << report.openDescriptors[0];
}

TEST(ProcessStart, ParentOutputComesBeforeTheChildOutput)
{
    // Captured streams are files, so the parent's output is fully buffered:
    // only a flush before the start puts its line first.
    std::string folder = ts::makeWorkFolder("order");
    ts::writeFile(ts::join(folder, "command.txt"), prepare(folder, "print from the child\n"));
    ts::RunResult r = ts::run(ts::commandLine(ts::builtProgram("starter"), {}), folder);
    EXPECT_EQ(0, r.exitCode) << r.startError;
    std::vector<std::string> expected{"before", "from the child", "after 0"};
    EXPECT_EQ(expected, ts::lines(r.out));
}
