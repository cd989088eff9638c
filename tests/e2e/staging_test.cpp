// The update check's copies into the task folder: a launch sees the old
// interpreter or the whole new one, whatever another launch or a kill does to
// a copy; a copy onto itself, a target in use and a folder where no file can
// be created give a failed staging or an in-place copy, and the old script runs.
#include <thread>

#include "tasklaunch.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <glob.h>
#endif

namespace {

const std::string OLD = "exit 3\n", FRESH = "exit 7\n", COPY_ERROR = "Errore durante la copia del file [";

// A task folder whose old scripts end with 3 and whose connector folder
// holds the fresh script (ending with 7) and the stand-in with padding bytes.
struct Staging {
    std::string task, connector, caller, oldInterpreter, freshInterpreter;

    explicit Staging(size_t padding, bool ontoItself = false)
        : task(ts::makeWorkFolder("task")), connector(ts::makeWorkFolder("connector")),
          caller(ts::makeWorkFolder("caller"))
    {
        e2e::lay({"vantor.exe", FRESH}, connector);
        oldInterpreter = ts::readFile(ts::builtProgram("autoit3"));
        freshInterpreter = oldInterpreter + std::string(padding, 'p');
        EXPECT_TRUE(ts::writeFile(ts::join(connector, "autoit3.exe"), freshInterpreter));
        std::string ini = "[main]\n$pathconnettore=" + (ontoItself ? task : connector) + "\n";
        e2e::lay({"QODvantor.exe", OLD, true, {{"frascombe_a3x.ini", ini}, {"vantor.a3x", FRESH}}}, task);
        e2e::lay({"XXvantor.exe", OLD, false, {}}, task);
    }
    // Runs the launcher copy name ("QOD" or "XX" before vantor.exe) after its log is removed.
    ts::RunResult launch(const std::string &prefix) const
    {
        win_removeFile(log(prefix).c_str());
        return ts::run(ts::commandLine(ts::join(task, prefix + "vantor.exe"), {"-q"}), caller);
    }
    std::string log(const std::string &prefix) const { return ts::join(task, prefix + "vantor.log"); }
    std::string interpreter() const { return ts::readFile(ts::join(task, "autoit3.exe")); }
};

// Names of the copies' temporaries in folder (Windows form).
e2e::Texts temporaries(const std::string &folder)
{
    e2e::Texts names;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.tmp").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        names.push_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
#else
    char native[4096];
    glob_t found;
    if (win_toNativePath(folder.c_str(), native, sizeof native) &&
        glob((std::string(native) + "/*.tmp").c_str(), 0, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; i++) names.push_back(strrchr(found.gl_pathv[i], '/') + 1);
        globfree(&found);
    }
#endif
    return names;
}

// Ends process pid at once, as a scheduler's stop or a shutdown does.
void killProcess(unsigned long pid)
{
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, (DWORD)pid);
    if (process != NULL) TerminateProcess(process, 9), CloseHandle(process);
#else
    kill((pid_t)pid, SIGKILL);
#endif
}

}  // namespace

// Tasks of one folder check for updates at once, with an interpreter large
// enough that each copy takes a while: none fails to start its interpreter;
// each runs the fresh script, or the old one after a logged failed staging.
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
        for (const auto &run : {std::make_pair(qod, "QOD"), std::make_pair(xx, "XX")}) {
            bool failed = ts::readFile(s.log(run.second)).find(COPY_ERROR) != std::string::npos;
            EXPECT_EQ(run.first.exitCode, failed ? 3 : 7) << run.second << " trial " << trial << run.first.err;
        }
    }
    EXPECT_EQ(temporaries(s.task), e2e::Texts{});
}

// A launch killed while it copies the interpreter leaves the old one whole;
// the next update check removes the killed copy's temporary and stages.
TEST(Staging, KilledCopy)
{
    Staging s(100 << 20);
    int kills = 0;
    for (int trial = 0; trial < 2; trial++) {
        std::thread killed([&s] { s.launch("QOD"); });
        e2e::Texts found;
        for (int i = 0; i < 5000 && found.empty(); i++) found = temporaries(s.task), win_sleep(1);
        if (!found.empty()) killProcess(strtoul(found[0].c_str() + strlen("autoit3.exe."), nullptr, 10));
        killed.join();
        kills += !found.empty();
        std::string now = s.interpreter();
        EXPECT_TRUE(now == s.oldInterpreter || now == s.freshInterpreter) << "cut at " << now.size();
    }
    EXPECT_GT(kills, 0) << "no copy was caught running";
    EXPECT_EQ(s.launch("QOD").exitCode, 7);
    EXPECT_EQ(temporaries(s.task), e2e::Texts{});
}

// A copy onto itself (the connector folder is the task folder) is a failed
// staging on both backends, and the old script runs.
TEST(Staging, CopyOntoItself)
{
    Staging s(0, true);
    EXPECT_EQ(s.launch("QOD").exitCode, 3);
    std::string log = ts::readFile(s.log("QOD"));
    EXPECT_NE(log.find(COPY_ERROR + s.task + "\\autoit3.exe]->["), std::string::npos) << log;
    EXPECT_EQ(s.interpreter(), s.oldInterpreter);
}

// An interpreter in use cannot be replaced under Windows: the staging fails
// and the old script runs with the old interpreter.
TEST(Staging, TargetInUse)
{
    if (!ts::onWindows()) GTEST_SKIP() << "a running program's file can be replaced here";
    Staging s(0);
    ASSERT_TRUE(ts::writeFile(ts::join(s.task, "hold.a3x"), "report held.txt\nsleep 4000\n"));
    std::thread holder([&s] { ts::run(ts::commandLine(ts::join(s.task, "autoit3.exe"), {"hold.a3x"}), s.task); });
    for (int i = 0; i < 300 && !ts::fileExists(ts::join(s.task, "held.txt")); i++) win_sleep(20);
    EXPECT_EQ(s.launch("QOD").exitCode, 3);
    holder.join();
    EXPECT_NE(ts::readFile(s.log("QOD")).find(COPY_ERROR), std::string::npos);
    EXPECT_EQ(temporaries(s.task), e2e::Texts{});
}

// An account that may write the task's files but create none in its folder
// still stages, by writing the files in place.
TEST(Staging, FolderWithoutTheRightToCreate)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs another account natively";
#else
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
    Staging s(0);
    char native[4096];
    ASSERT_TRUE(ts::writeFile(s.log("QOD"), "") && win_toNativePath(s.task.c_str(), native, sizeof native));
    for (const char *name : {"QODvantor.a3x", "vantor.a3x", "QODvantor.log", "autoit3.exe"}) {
        chmod((std::string(native) + "/" + name).c_str(), strcmp(name, "autoit3.exe") == 0 ? 0777 : 0666);
    }
    ASSERT_EQ(chmod(native, 0555), 0);
    std::string asOther = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    ts::RunResult run = ts::run(asOther + native + "/QODvantor.exe -q", s.caller);
    chmod(native, 0755);
    if (run.exitCode == 127) GTEST_SKIP() << "uid 65534 cannot reach the launcher: " << run.err;
    EXPECT_EQ(run.exitCode, 7) << ts::readFile(s.log("QOD"));
    EXPECT_EQ(s.interpreter(), s.freshInterpreter);
#endif
}
