// A log that another program holds, end to end through a launcher copy: held
// with no sharing (a viewer or an editor), locked over its whole byte range
// (backup and sync tools) or shared for writing only (a program that logs to
// it). The launch pays one wait for the first record, not one per record, and
// one more at its end for the records kept back; the script runs as always.
#include <chrono>

#include "tasklaunch.h"

using namespace ts;

// The 29 records of a launch with ten arguments end up in the log whole and
// in order (the log of a launch that nobody holds), unless the log stays held
// to the end: then none is there, each lost with its message. The first record
// waits about five seconds and the others do not, the end waits five seconds
// at most: the launch ends within fifteen seconds, and the script gets its
// arguments and gives its exit code. Only Windows can hold a file against the
// launcher, POSIX locks being advisory. Each way of holding the log: the
// holder's mode ("": no sharing), for how long, the message of a record that
// finds it held, whether every record reaches the log ("yes no": all or none),
// and the longest launch in seconds. Locked over its whole range, the log can
// be opened, and the record is written without our append lock: Windows then
// refuses the write, Wine lets the record in. Shared for writing only, the log
// takes every record at once, as the runtime's fopen(path, "a") would.
TEST(HeldLog, CostsOneWaitPerLaunch)
{
    if (!ts::onWindows()) GTEST_SKIP() << "only Windows holds a file against other writers";
    const Texts args = {"-q", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"};
    const struct { const char *name, *mode, *milliseconds, *lostWith, *complete; int seconds; } cases[] = {
        {"held with no sharing", "", "60000", "Impossibile aprire il file di log.", "no", 15},
        {"locked over its whole range", "lock", "60000", "Impossibile scrivere il file di log.", "yes no",
         15},
        {"let go after three seconds", "", "3000", "Impossibile aprire il file di log.", "yes", 10},
        {"let go after eight seconds", "", "8000", "Impossibile aprire il file di log.", "yes", 15},
        {"shared for writing only", "writers", "60000", "Impossibile aprire il file di log.", "yes", 4},
    };
    Texts freeLog = launch({"task.exe", REPORT + "exit 6\n"}, args, "{F}\\task.log").log;
    ASSERT_EQ(freeLog.size(), 29u);
    for (const auto &c : cases) {
        std::string folder = ts::makeWorkFolder("heldlog"), ready = ts::join(folder, "ready");
        std::string exe = lay({"task.exe", REPORT + "exit 6\n"}, folder), log = ts::join(folder, "task.log");
        auto holder = ts::commandLine(ts::builtProgram("holdfile"), {log, c.milliseconds, ready, c.mode});
        char errorText[VEK_TEXT_SIZE];
        ASSERT_EQ(win_executeCommand(&holder[0], folder.c_str(), false, errorText), 0) << c.name;
        for (int i = 0; i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        ASSERT_TRUE(ts::fileExists(ready)) << c.name << ": the holder never got the log";

        auto start = std::chrono::steady_clock::now();
        Launch launch = runCopy(exe, args, "{F}\\task.log");
        auto took = std::chrono::steady_clock::now() - start;
        win_removeFile(ready.c_str());  // lets the holder go, then its hold on reading too
        win_sleep(500);
        launch.log.clear();
        ts::LogRecord record;
        std::string bytes = replaced(ts::readFile(log), folder, "{F}");
        for (const std::string &line : ts::lines(bytes))
            if (ts::parseLogRecord(line, &record)) launch.log.push_back(record.label + " " + record.text);
        EXPECT_LT(took, std::chrono::seconds(c.seconds)) << c.name;
        EXPECT_EQ(launch.exitCode, 6) << c.name;
        EXPECT_EQ(launch.received, args) << c.name;
        std::string complete = launch.log == freeLog ? "yes" : launch.log.empty() ? "no" : "partly";
        EXPECT_NE(std::string(c.complete).find(complete), std::string::npos) << c.name << ": " << complete;
        launch.err.erase(std::remove(launch.err.begin(), launch.err.end(), c.lostWith), launch.err.end());
        EXPECT_EQ(launch.err, Texts{"Errore durante l'esecuzione del comando: "}) << c.name;
    }
}
