// A stopped launch: a launcher ended from outside while it waits takes its
// script with it; what a script starts itself lives on. (A launch that does
// not wait leaves its script running: Launcher.EveryInstallationKind.)
#include "tasklaunch.h"

TEST(Stop, AWaitingLaunchEndedFromOutsideEndsItsScript)
{
    // The script reports at once and again 3 s later; the launcher is ended
    // as soon as the first report is there (Windows: TerminateProcess).
    const struct { const char *name; int signal; bool nativeOnly; int onWindows, onPosix;
                   const char *logEnd; } cases[] = {
        {"killed while waiting", 9, false, 1, 137, ""},
        // The stop is passed on; the script's end comes back as the launcher's result.
        {"SIGTERM while waiting", 15, true, 0, 143, "Ho finito il mio lavoro! - exitCode=143"},
    };
    for (const auto &c : cases) {
        if (c.nativeOnly && ts::onWindows()) continue;
        std::string folder = ts::makeWorkFolder("stop");
        std::string exe = ts::lay({"task.exe", "report started.txt\nsleep 3000\nreport r.txt\n"}, folder);
        ts::Texts args = {ts::join(folder, "started.txt"), std::to_string(c.signal), exe, "-q"};
        ts::RunResult r = ts::run(ts::commandLine(ts::builtProgram("stopper"), args), folder);
        EXPECT_EQ(ts::lf(r.out), std::to_string(ts::onWindows() ? c.onWindows : c.onPosix) + "\n") << c.name;
        EXPECT_FALSE(ts::appears(ts::join(folder, "r.txt"), 6)) << c.name;
        EXPECT_NE(ts::readFile(ts::join(folder, "task.log")).find(c.logEnd), std::string::npos) << c.name;
    }
}

TEST(Stop, WhatTheScriptStartsOutlivesAWaitingLaunch)
{
    std::string folder = ts::makeWorkFolder("stop child");
    ASSERT_TRUE(ts::writeFile(ts::join(folder, "child.a3x"), "sleep 2000\nreport child.txt\n"));
    ts::Launch run = ts::launch({"task.exe", "start child.a3x\n"}, {"-q"}, "{F}\\task.log", folder);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(ts::fileExists(ts::join(folder, "child.txt"))) << "the child ended before the launch";
    EXPECT_TRUE(ts::appears(ts::join(folder, "child.txt"), 10));
}
