// A log that another program holds, end to end through a launcher copy: held
// with no sharing (a viewer or an editor) or locked over its whole byte range
// (backup and sync tools). The launch pays one wait for the first record, not
// one per record, and the script runs as always.
#include <chrono>

#include "tasklaunch.h"

using namespace e2e;

// Each of the 29 records of a launch with ten arguments is in the log or lost
// with one message; the first one waits about five seconds and the others do
// not: the launch ends well within ten seconds, and the script gets its
// arguments and gives its exit code. Only Windows can hold a file against the
// launcher, POSIX locks being advisory. Each way of holding the log: the
// holder's mode ("": no sharing), for how long, the message of a record lost
// to it, and how many records it may take. Held with no sharing, the log
// cannot be opened; locked over its whole range it can, and the record is
// written without our append lock: Windows then refuses the write, Wine lets
// the record in. Let go after three seconds, while the first record retries,
// the log loses nothing.
TEST(HeldLog, CostsOneWaitPerLaunch)
{
    if (!ts::onWindows()) GTEST_SKIP() << "only Windows holds a file against other writers";
    const Texts args = {"-q", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"};
    const struct { const char *name, *mode, *milliseconds, *lostWith; size_t mostLost; } cases[] = {
        {"held with no sharing", "", "60000", "Impossibile aprire il file di log.", 29},
        {"locked over its whole range", "lock", "60000", "Impossibile scrivere il file di log.", 29},
        {"let go after three seconds", "", "3000", "Impossibile aprire il file di log.", 0},
    };
    for (const auto &c : cases) {
        std::string folder = ts::makeWorkFolder("heldlog"), ready = ts::join(folder, "ready");
        std::string exe = lay({"task.exe", REPORT + "exit 6\n"}, folder);
        Texts holderArgs = {ts::join(folder, "task.log"), c.milliseconds, ready};
        if (*c.mode) holderArgs.push_back(c.mode);
        std::string holder = ts::commandLine(ts::builtProgram("holdfile"), holderArgs);
        char errorText[VEK_TEXT_SIZE];
        ASSERT_EQ(win_executeCommand(&holder[0], folder.c_str(), false, errorText), 0) << c.name;
        for (int i = 0; i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        ASSERT_TRUE(ts::fileExists(ready)) << c.name << ": the holder never got the log";

        auto start = std::chrono::steady_clock::now();
        Launch launch = run(exe, args, "{F}\\task.log");
        auto took = std::chrono::steady_clock::now() - start;
        win_removeFile(ready.c_str());  // lets the holder go
        EXPECT_LT(took, std::chrono::seconds(10)) << c.name;
        EXPECT_EQ(launch.exitCode, 6) << c.name;
        EXPECT_EQ(launch.received, args) << c.name;
        size_t lost = std::count(launch.err.begin(), launch.err.end(), c.lostWith);
        EXPECT_EQ(launch.log.size() + lost, 29u) << c.name << ": " << lost << " lost";
        EXPECT_LE(lost, c.mostLost) << c.name;
        launch.err.erase(std::remove(launch.err.begin(), launch.err.end(), c.lostWith), launch.err.end());
        EXPECT_EQ(launch.err, Texts{"Errore durante l'esecuzione del comando: "}) << c.name;
    }
}
