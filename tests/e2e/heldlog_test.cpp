// A log that another program holds for a minute, end to end through a
// launcher copy: held with no sharing (a viewer or an editor) or locked over
// its whole byte range (backup and sync tools). The launch pays one wait for
// the first record, not one per record, and the script runs as always.
#include <chrono>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

using Texts = std::vector<std::string>;

// One way of holding the log: the holder's mode argument (none: no sharing)
// and the message of a record lost to it. Held with no sharing, the log
// cannot be opened; locked over its whole range it can, and the record is
// written without our append lock: Windows then refuses the write, Wine lets
// the record in.
struct Hold { const char *name; Texts mode; std::string lostWith; };

// Milliseconds since start.
long long since(std::chrono::steady_clock::time_point start)
{
    using namespace std::chrono;
    return (long long)duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// How often text occurs in all.
size_t count(const std::string &all, const std::string &text)
{
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) n++;
    return n;
}

// The holder keeps the log for a minute, far longer than the launch. Each of
// the 29 records of a launch with ten arguments is in the log or lost with
// one message, the first one waits about five seconds and the others do not:
// the launch ends well within ten seconds, and the script gets its arguments
// and gives its exit code.
TEST(HeldLog, CostsOneWaitPerLaunch)
{
    if (!ts::onWindows())
        GTEST_SKIP() << "only Windows holds a file against other writers; POSIX locks are advisory";
    const Texts args = {"-q", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"};
    const Hold cases[] = {
        {"held with no sharing", {}, "Impossibile aprire il file di log.\n"},
        {"locked over its whole range", {"lock"}, "Impossibile scrivere il file di log.\n"},
    };
    for (const Hold &c : cases) {
        std::string folder = ts::makeWorkFolder("heldlog"), log = ts::join(folder, "task.log");
        std::string exe = ts::layTask(folder, "task.exe"), ready = ts::join(folder, "ready");
        ts::writeFile(ts::join(folder, "task.a3x"), "report r.txt\nexit 6\n");
        ts::writeFile(ts::join(folder, "frascombe_a3x.ini"), "");
        Texts holderArgs = {log, "60000", ready};
        holderArgs.insert(holderArgs.end(), c.mode.begin(), c.mode.end());
        std::string holder = ts::commandLine(ts::builtProgram("holdfile"), holderArgs);
        char errorText[VEK_TEXT_SIZE];
        ASSERT_EQ(win_executeCommand(&holder[0], folder.c_str(), false, errorText), 0) << c.name;
        for (int i = 0; i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        ASSERT_TRUE(ts::fileExists(ready)) << c.name << ": the holder never got the log";

        auto start = std::chrono::steady_clock::now();
        ts::RunResult r = ts::run(ts::commandLine(exe, args), folder);
        long long took = since(start);
        win_removeFile(ready.c_str());  // lets the holder go
        EXPECT_LT(took, 10000) << c.name;
        EXPECT_EQ(r.exitCode, 6) << c.name;
        Texts got = ts::readReport(ts::join(folder, "r.txt")).args;
        const Texts words = {"task.a3x", "-q", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"};
        EXPECT_EQ(got.empty() ? got : Texts(got.begin() + 1, got.end()), words) << c.name;
        size_t lost = count(ts::lf(r.err), c.lostWith), records = ts::lines(ts::readFile(log)).size();
        EXPECT_EQ(records + lost, 29u) << c.name << ": " << records << " records, " << lost << " lost";
        std::string err = ts::lf(r.err);
        for (size_t at; (at = err.find(c.lostWith)) != std::string::npos;) err.erase(at, c.lostWith.size());
        EXPECT_EQ(err, "Errore durante l'esecuzione del comando: \n") << c.name;
    }
}

}  // namespace
