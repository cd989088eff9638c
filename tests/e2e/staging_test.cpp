// The update check's copies into the task folder: a launch finds the old
// interpreter or the whole new one, whatever another launch or a kill does.
#include <filesystem>
#include <thread>

#include "tasklaunch.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const std::string OLD = "exit 3\n", FRESH = "exit 7\n", COPY_ERROR = "Errore durante la copia del file [";

// A task folder QODvantor.exe and XXvantor.exe whose old scripts end with 3;
// its connector folder (the task folder itself when told) holds the fresh
// script, ending with 7, and the stand-in with padding bytes.
struct Staging {
    std::string task = ts::makeWorkFolder("task"), connector = ts::makeWorkFolder("connector");
    std::string caller = ts::makeWorkFolder("caller"), old = ts::readFile(ts::builtProgram("autoit3")), fresh;

    explicit Staging(size_t padding, bool ontoItself = false) : fresh(old + std::string(padding, 'p'))
    {
        ts::lay({"vantor.exe", FRESH}, connector);
        EXPECT_TRUE(ts::writeFile(ts::join(connector, "autoit3.exe"), fresh));
        std::string ini = "[main]\n$pathconnettore=" + (ontoItself ? task : connector) + "\n";
        ts::lay({"QODvantor.exe", OLD, true, {{"frascombe_a3x.ini", ini}, {"vantor.a3x", FRESH}}}, task);
        ts::lay({"XXvantor.exe", OLD, false, {}}, task);
    }
    // Runs prefix + "vantor.exe" with a fresh log, waiting for the script.
    ts::RunResult launch(const std::string &prefix) const
    {
        win_removeFile(log(prefix).c_str());
        return ts::run(ts::commandLine(ts::join(task, prefix + "vantor.exe"), {"-q"}), caller);
    }
    std::string log(const std::string &prefix) const { return ts::join(task, prefix + "vantor.log"); }
    bool logsCopyError(const std::string &prefix) const
    {
        return ts::readFile(log(prefix)).find(COPY_ERROR) != std::string::npos;
    }
    std::string interpreter() const { return ts::readFile(ts::join(task, "autoit3.exe")); }
};

// Names of the temporaries in folder.
ts::Texts temporaries(const std::string &folder)
{
    ts::Texts names;
    for (const auto &entry : std::filesystem::directory_iterator(ts::native(folder))) {
        if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename().string());
    }
    return names;
}

}  // namespace

// Two tasks of one folder check for updates at once, each copy taking a
// while: each runs the fresh script, or the old one after a logged failed
// staging; none fails to start its interpreter (exit 1).
TEST(Staging, TwoUpdateChecksAtOnce)
{
    Staging s(100 << 20);
    for (int trial = 0; trial < 4; trial++) {
        ASSERT_TRUE(ts::writeFile(ts::join(s.task, "QODvantor.a3x"), OLD));
        ASSERT_TRUE(ts::writeFile(ts::join(s.task, "XXvantor.a3x"), OLD));
        ts::RunResult xx;
        std::thread other([&s, &xx] { xx = s.launch("XX"); });
        ts::RunResult qod = s.launch("QOD");
        other.join();
        EXPECT_EQ(qod.exitCode, s.logsCopyError("QOD") ? 3 : 7) << "trial " << trial << qod.err;
        EXPECT_EQ(xx.exitCode, s.logsCopyError("XX") ? 3 : 7) << "trial " << trial << xx.err;
    }
    EXPECT_EQ(temporaries(s.task), ts::Texts{});
}

// A launch killed while it copies the interpreter (found by its temporary's
// name) leaves the old one whole; the next update check removes the killed
// copy's temporary and stages.
TEST(Staging, KilledCopy)
{
    Staging s(100 << 20);
    for (int trial = 0; trial < 2; trial++) {
        std::thread killed([&s] { s.launch("QOD"); });
        ts::Texts found;
        for (int i = 0; i < 5000 && found.empty(); i++) {
            found = temporaries(s.task);
            win_sleep(1);
        }
        ASSERT_FALSE(found.empty()) << "no copy was seen running";
        unsigned long pid = strtoul(found[0].c_str() + strlen("autoit3.exe."), nullptr, 10);
#ifdef _WIN32
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, (DWORD)pid);
        if (process != NULL) {
            TerminateProcess(process, 9);
            CloseHandle(process);
        }
#else
        kill((pid_t)pid, SIGKILL);
#endif
        killed.join();
        std::string now = s.interpreter();
        EXPECT_TRUE(now == s.old || now == s.fresh) << "cut at " << now.size();
    }
    EXPECT_EQ(s.launch("QOD").exitCode, 7);
    EXPECT_EQ(temporaries(s.task), ts::Texts{});
}

// A copy onto itself (the connector folder is the task folder) fails on both
// backends, and so does, under Windows, one over a running interpreter: the
// staging is logged as failed and the old script runs.
TEST(Staging, FailedStagingRunsTheOldScript)
{
    for (bool inUse : {false, true}) {
        if (inUse && !ts::onWindows()) continue;   // natively a running program's file can be replaced
        Staging s(0, !inUse);
        std::thread holder;
        if (inUse) {
            ASSERT_TRUE(ts::writeFile(ts::join(s.task, "hold.a3x"), "report held.txt\nsleep 4000\n"));
            std::string command = ts::commandLine(ts::join(s.task, "autoit3.exe"), {"hold.a3x"});
            holder = std::thread([&s, command] { ts::run(command, s.task); });
            for (int i = 0; i < 300 && !ts::fileExists(ts::join(s.task, "held.txt")); i++) win_sleep(20);
        }
        EXPECT_EQ(s.launch("QOD").exitCode, 3) << "in use " << inUse;
        if (holder.joinable()) holder.join();
        std::string log = ts::readFile(s.log("QOD")), from = inUse ? s.connector : s.task;
        EXPECT_NE(log.find(COPY_ERROR + from + "\\autoit3.exe]->["), std::string::npos) << log;
        EXPECT_EQ(s.interpreter(), s.old) << "in use " << inUse;
        EXPECT_EQ(temporaries(s.task), ts::Texts{}) << "in use " << inUse;
    }
}

// An account that may write the task's files but create none in its folder
// still stages, by writing the files in place.
#ifndef _WIN32
TEST(Staging, FolderWithoutTheRightToCreate)
{
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
    Staging s(0);
    const std::string native = ts::native(s.task);
    ASSERT_TRUE(ts::writeFile(s.log("QOD"), ""));
    for (const char *name : {"QODvantor.a3x", "vantor.a3x", "QODvantor.log", "autoit3.exe"}) {
        chmod((native + "/" + name).c_str(), strcmp(name, "autoit3.exe") == 0 ? 0777 : 0666);
    }
    ASSERT_EQ(chmod(native.c_str(), 0555), 0);
    std::string asOther = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    ts::RunResult run = ts::run(asOther + native + "/QODvantor.exe -q", s.caller);
    chmod(native.c_str(), 0755);
    if (run.exitCode == 127) GTEST_SKIP() << "uid 65534 cannot reach the launcher: " << run.err;
    EXPECT_EQ(run.exitCode, 7) << ts::readFile(s.log("QOD"));
    EXPECT_EQ(s.interpreter(), s.fresh);
}
#endif
