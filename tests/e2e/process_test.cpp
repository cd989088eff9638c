// Process start: the interpreter stand-in started in a folder, with its whole
// exit code, the error text of a start that fails, its working folder and
// nothing else inherited. Not waiting is checked through the launcher
// (Launcher.EveryInstallationKind), as is a program that cannot start while
// waited for (LauncherFailure: text as the interpreter).
#include "tasklaunch.h"

#include <csignal>
#include <unistd.h>

// A new folder, its name holding a blank, with the interpreter stand-in and
// the script task.a3x (and a launcher copy, unused here).
static std::string taskFolder(const std::string &script)
{
    std::string folder = ts::makeWorkFolder("process folder");
    ts::lay({"task.exe", script}, folder);
    return folder;
}

// Starts command in folder through the platform layer; its exit code, and its
// error text in *errorText.
static int start(std::string command, const std::string &folder, bool wait, std::string *errorText)
{
    char error[VEK_TEXT_SIZE];
    int code = win_executeCommand(&command[0], folder.c_str(), wait, error);
    *errorText = error;
    return code;
}

TEST(ProcessStart, ResultsAndErrorTexts)
{
    // File not found is 2 both as a Windows error and as errno.
    const char *const NOT_FOUND = "Errore durante l'esecuzione del comando: 2";
    const struct { const char *name, *script, *program; bool wait; int onWindows, onPosix;
                   const char *errorText; } cases[] = {
        // Windows keeps all 32 bits of the code, POSIX the low byte.
        {"a code with its top bit set", "exit 0x80000001\n", "autoit3.exe", true, (int)0x80000001u, 1, ""},
        {"no program, not waiting", "", "missing.exe", false, 1, 1, NOT_FOUND},
        // Natively a child killed by signal N gives 128 + N; the C library on Windows exits with 3.
        {"a child ended by SIGTERM", "signal\n", "autoit3.exe", true, 3, 128 + SIGTERM, ""},
    };
    for (const auto &c : cases) {
        std::string folder = taskFolder(c.script), errorText;
        std::string command = "\"" + ts::join(folder, c.program) + "\" task.a3x";
        int expected = ts::onWindows() ? c.onWindows : c.onPosix;
        EXPECT_EQ(start(command, folder, c.wait, &errorText), expected) << c.name;
        EXPECT_EQ(errorText, c.errorText) << c.name;
    }
}

TEST(ProcessStart, FolderDescriptorsAndOutputOrder)
{
    std::string folder = taskFolder("report r.txt\nprint from the child\n"), errorText;
    // A descriptor of ours that a careless start would hand to the child: a
    // copy does not close itself at exec, as one the launcher inherited would not.
    FILE *held = win_fopen(ts::join(ts::makeWorkFolder("held"), "held.txt").c_str(), "w");
    int inheritable = dup(fileno(held));
    EXPECT_EQ(start("\"" + ts::join(folder, "autoit3.exe") + "\" task.a3x", folder, true, &errorText), 0);
    close(inheritable);
    fclose(held);
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    EXPECT_EQ(report.folder, folder);
    EXPECT_EQ(report.args, (std::vector<std::string>{ts::join(folder, "autoit3.exe"), "task.a3x"}));
    EXPECT_TRUE(report.openDescriptors.empty()) << "leaked descriptor " << report.openDescriptors.at(0);
    // Captured streams are files, so a parent's output is fully buffered:
    // only a flush before the start puts its line before the child's.
    ts::RunResult r = ts::run(ts::commandLine(ts::builtProgram("starter"), {}), folder);
    EXPECT_EQ(ts::lf(r.out), "before\nfrom the child\nafter 0\n");
}

TEST(ProcessStart, RawCommandLineRebuiltFromTheArguments)
{
    // Natively the raw command line is rebuilt from the argument vector: an
    // empty argument is written as "", others bare or quoted with inner
    // quotes doubled. A shell gives the stand-in arguments our own start
    // never could.
    if (ts::onWindows()) GTEST_SKIP() << "the raw command line is the system's own";
    std::string folder = taskFolder("report r.txt\n"), errorText;
    const std::string program = ts::native(ts::join(folder, "autoit3.exe"));
    std::string shell = "Z:\\bin\\sh -c \"exec \"\"$0\"\" task.a3x '' 'a b' 'q\"\"q'\" ";
    EXPECT_EQ(start(shell + "\"" + program + "\"", folder, true, &errorText), 0) << errorText;
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    // The program's path holds a blank, so it is quoted too.
    EXPECT_EQ(report.commandLine, "\"" + program + "\" task.a3x \"\" \"a b\" \"q\"\"q\"");
    EXPECT_EQ(report.args, (std::vector<std::string>{program, "task.a3x", "a b", "q\"q"}));
}
