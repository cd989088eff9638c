// A hostile POSIX host, end to end: the launcher started with its standard
// output a pipe nobody reads, with SIGCHLD or SIGPIPE inherited as ignored,
// from a folder whose name holds a double quote, with names in another letter
// case, with FIFOs and devices where files belong, and with a relative
// XDG_DATA_HOME. Each run must end with its true exit code, run the script or
// not, and finish in bounded time. Then who the launcher is where such a host
// can make it someone else: started through a symbolic link, from a folder
// name holding a backslash, under a long host name, with both streams joined.
// Windows knows none of these hosts. (A folder name outside the ANSI code page
// is Win32Identity.OwnPathInTheAnsiCodePage's.)
#include "tasklaunch.h"

#ifndef _WIN32
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ts::native;

// How the host starts the launcher: flags of what differs from a plain start.
enum Host {
    PLAIN = 0,
    CLOSED_STDOUT = 1,  // standard output: a pipe whose reader is gone
    IGNORE_PIPE = 2,    // SIGPIPE inherited as ignored
    IGNORE_CHLD = 4,    // SIGCHLD inherited as ignored
    RELATIVE_XDG = 8,   // XDG_DATA_HOME "xdg-relative", with HOME the case's own
};

// One file laid into the task folder before the run, name and bytes: bytes as
// written, an executable when they begin with "#!", or "@standin" (the
// interpreter stand-in), "@fifo", "@zero" (a link to /dev/zero).
using Entry = std::pair<std::string, std::string>;

// The script of most cases: reports its words and ends with 5.
const Entry TASK = {"task.a3x", "report r.txt\nexit 5\n"};
const Entry STANDIN = {"autoit3.exe", "@standin"};
// An interpreter that prints the dispositions it got: grep itself (a shell or
// another interpreter would reset SIGCHLD) prints its SigIgn line, then fails
// (2) on the words it takes for files.
const Entry SIGNAL_PRINTER = {"autoit3.exe", "#!/usr/bin/env -S grep -h ^SigIgn /proc/self/status\n"};

// Lays an entry into folder; false when it cannot be made.
bool layEntry(const std::string &folder, const Entry &e)
{
    // The name exactly as given: native() and ts::writeFile take a name in another letter case.
    std::string name = e.first;
    std::replace(name.begin(), name.end(), '\\', '/');
    std::string to = ts::join(folder, e.first), posix = native(folder) + "/" + name;
    unsigned long error = 0;
    if (e.second == "@standin") return win_copyFile(ts::builtProgram("autoit3").c_str(), to.c_str(), &error);
    if (e.second == "@fifo") return mkfifo(posix.c_str(), 0666) == 0;
    if (e.second == "@zero") return symlink("/dev/zero", posix.c_str()) == 0;
    bool executable = e.second.compare(0, 2, "#!") == 0;
    bool written = static_cast<bool>(std::ofstream(posix, std::ios::binary) << e.second);
    return written && (!executable || chmod(posix.c_str(), 0755) == 0);
}

// Starts exe with the one argument "cron" (which asks for waiting, as "-q"
// does, but is no option of grep's) in folder as host does, its streams going
// to stdout.txt and stderr.txt there; waits and returns its exit code. A run
// still going after seconds is killed by its alarm (exit code 142).
int launch(const std::string &exe, const std::string &folder, int host, const std::string &home, int seconds)
{
    std::string program = native(exe), dir = native(folder), nativeHome = native(home);
    int fds[2] = {-1, -1};
    if ((host & CLOSED_STDOUT) && pipe(fds) == 0) close(fds[0]);   // the reader is gone before the start
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        dup2((host & CLOSED_STDOUT) ? fds[1] : open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        signal(SIGPIPE, (host & IGNORE_PIPE) ? SIG_IGN : SIG_DFL);
        signal(SIGCHLD, (host & IGNORE_CHLD) ? SIG_IGN : SIG_DFL);
        if (host & RELATIVE_XDG) {
            setenv("XDG_DATA_HOME", "xdg-relative", 1);
            setenv("HOME", nativeHome.c_str(), 1);
        }
        alarm(seconds);
        execl(program.c_str(), program.c_str(), "cron", (char *)nullptr);
        _exit(127);
    }
    if (fds[1] >= 0) close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What the script showed: "report" when it wrote its report, "ignored:" and
// the names of the signals its SigIgn status line gives as ignored (PIPE,
// CHLD) when it printed one, "" when nothing shows it ran.
std::string scriptShowed(const std::string &folder, const std::string &out)
{
    if (ts::fileExists(ts::join(folder, "r.txt"))) return "report";
    size_t at = out.find("SigIgn:");
    if (at == std::string::npos) return "";
    unsigned long long mask = strtoull(out.c_str() + at + 7, nullptr, 16);
    std::string shown = "ignored:";
    if (mask & (1ull << (SIGPIPE - 1))) shown += " PIPE";
    if (mask & (1ull << (SIGCHLD - 1))) shown += " CHLD";
    return shown;
}

const char *const OWN_PATH = "Errore durante l'ottenimento del percorso dell'eseguibile.\n";
const char *const LOAD_REFUSED = "Errore caricamento da conf_load del file '";
const char *const NO_LOG = "Impossibile aprire il file di log.";

TEST(PosixFault, EndsWithItsExitCodeInBoundedTime)
{
    const Entry decoy = {"..\\evil", "#!/bin/sh\ntouch decoy.txt\nexit 3\n"};
    const Entry echo = {"ESEGUI_DA_QOD.INI", "[frascombe_a3x]\n$debug_to_console=1\n"};
    // A connector folder from which an update check stages a fresh script.
    const std::string connector = ts::makeWorkFolder("connector");
    ts::lay({"vantor.exe", TASK.second}, connector);
    const Entry staging = {"connettoreclient.ini", "[main]\n$pathconnettore=" + connector + "\n"};
    // A case: the launcher copy's name, the folder it lies in below the work
    // folder ("": the work folder itself), the entries, the host; then the exit
    // code, what the script showed (see scriptShowed), a text standard output
    // must hold, what standard error must begin with, and the whole seconds the
    // run may take.
    const struct { const char *name, *exeName, *folder; std::vector<Entry> entries; int host, exitCode;
                   const char *script, *outHolds, *errBegins; int maxSeconds; } cases[] = {
        {"stdout a pipe nobody reads", "task.exe", "", {STANDIN, TASK}, CLOSED_STDOUT,
         5, "report", "", "", 5},
        {"script gets SIGPIPE and SIGCHLD at their default", "task.exe", "", {SIGNAL_PRINTER, TASK}, PLAIN,
         2, "ignored:", "", "", 5},
        {"script gets both ignored, as the launcher did", "task.exe", "", {SIGNAL_PRINTER, TASK},
         IGNORE_PIPE | IGNORE_CHLD, 2, "ignored: PIPE CHLD", "", "", 5},
        {"script gets SIGCHLD ignored alone", "task.exe", "", {SIGNAL_PRINTER, TASK}, IGNORE_CHLD,
         2, "ignored: CHLD", "", "", 5},
        {"quote in the folder, a decoy program before it", "task.exe", "evil\"x", {STANDIN, TASK, decoy},
         PLAIN, 1, "", "", OWN_PATH, 5},
        {"interpreter as AutoIt3.exe", "task.exe", "", {{"AutoIt3.exe", "@standin"}, TASK}, PLAIN,
         5, "report", "", "", 5},
        {"script in three letter cases, the first in byte order runs", "task.exe", "",
         {STANDIN, {"tAsK.a3x", "exit 8\n"}, {"TASK.A3X", TASK.second}, {"Task.a3x", "exit 9\n"}}, PLAIN,
         5, "report", "", "", 5},
        {"INI as ESEGUI_DA_QOD.INI", "task.exe", "", {STANDIN, TASK, echo}, PLAIN,
         5, "report", "Ambiente: QOD", "", 5},
        {"stale QodVaNtOr.a3x replaced by the staged script", "QodVaNtOr.exe", "",
         {STANDIN, {"QodVaNtOr.a3x", "exit 9\n"}, staging}, PLAIN, 5, "report", "", "", 5},
        {"INI is a FIFO", "task.exe", "", {STANDIN, TASK, {"frascombe_a3x.ini", "@fifo"}}, PLAIN,
         1, "", "", LOAD_REFUSED, 5},
        {"INI is a link to /dev/zero", "task.exe", "", {STANDIN, TASK, {"frascombe_a3x.ini", "@zero"}},
         PLAIN, 1, "", "", LOAD_REFUSED, 5},
        {"log is a FIFO", "task.exe", "", {STANDIN, TASK, {"task.log", "@fifo"}}, PLAIN,
         5, "report", "", NO_LOG, 4},
        {"relative XDG_DATA_HOME", "pelmor.exe", "", {STANDIN, {"pelmor.a3x", TASK.second},
         {"connettoreclient.ini", ""}}, RELATIVE_XDG, 5, "report", "", "", 5},
    };
    for (const auto &c : cases) {
        std::string work = ts::makeWorkFolder("posixfault"), home = ts::join(work, "home");
        std::string folder = *c.folder == '\0' ? work : ts::join(work, c.folder);
        ASSERT_TRUE(ts::makeFolder(folder)) << c.name;
        // The package folder that pelmor logs into, under the case's HOME.
        ASSERT_TRUE(std::filesystem::create_directories(native(home) + "/.local/share/VEK/pelmor")) << c.name;
        std::string exe = ts::layTask(folder, c.exeName, false);
        for (const Entry &e : c.entries) ASSERT_TRUE(layEntry(folder, e)) << c.name << ": " << e.first;
        EXPECT_EQ(launch(exe, folder, c.host, home, c.maxSeconds), c.exitCode) << c.name;
        std::string out = ts::readFile(ts::join(folder, "stdout.txt"));
        std::string err = ts::readFile(ts::join(folder, "stderr.txt"));
        EXPECT_EQ(scriptShowed(folder, out), c.script) << c.name;
        EXPECT_NE(out.find(c.outHolds), std::string::npos) << c.name << ": " << out;
        EXPECT_EQ(err.rfind(c.errBegins, 0), 0u) << c.name << ": " << err;
        // No decoy ran; no folder was made for the relative XDG_DATA_HOME, and
        // pelmor's log went to the package folder, not beside the launcher.
        EXPECT_FALSE(ts::fileExists(ts::join(work, "decoy.txt"))) << c.name;
        EXPECT_FALSE(ts::fileExists(ts::join(folder, "decoy.txt"))) << c.name;
        EXPECT_FALSE(ts::fileExists(ts::join(folder, "xdg-relative"))) << c.name;
        EXPECT_FALSE(ts::fileExists(ts::join(folder, "pelmor.log"))) << c.name;
    }
}

// Runs a shell script in folder, standard error joined to standard output.
ts::RunResult shell(const std::string &script, const std::string &folder)
{
    return ts::run(ts::commandLine("Z:\\bin\\sh", {"-c", "exec 2>&1; " + script}), folder);
}

// Each run's exit code and the last line of its joined streams. A launcher
// started through a symbolic link runs the script beside the link, as under
// Wine, also by a relative path with "." and ".."; a folder "a\b" is refused
// (read back, it names the folder b in a, whose script would report); with
// echo on, the refusal of a log name that is too long comes after the console
// trace.
TEST(OwnIdentity, PosixHostsAnswerAsWine)
{
    const std::string work = ts::makeWorkFolder("identity"), task = ts::join(work, "task");
    ts::lay({"launcher", "exit 9\n"}, ts::join(work, "opt"));
    ASSERT_TRUE(win_removeFile(ts::lay({"lirmak.exe", "exit 0\n"}, task).c_str()));
    ASSERT_EQ(symlink("../opt/launcher", (native(task) + "/lirmak.exe").c_str()), 0);
    ts::lay({"xvantor.exe", "", true, {{"frascombe_a3x.ini", "[frascombe_a3x]\n$debug_to_console=1\n"}}},
             ts::join(work, "v"));
    ASSERT_EQ(shell("mkdir a 'a\\b' && cp v/xvantor.exe 'a\\b/task.exe'", work).exitCode, 0);
    const std::string decoy = ts::join(work, "a\\b");
    ts::lay({"task.exe", "report decoy.txt\n"}, decoy);
    const struct { const char *name; std::string script; int exitCode; std::string last; } cases[] = {
        {"through a link", "exec task/lirmak.exe cron", 0, ""},
        {"through a link, by . and ..", "cd opt && exec ./../task/./lirmak.exe cron", 0, ""},
        {"folder a\\b", "exec 'a\\b/task.exe' cron", 1,
         "Errore durante l'ottenimento del percorso dell'eseguibile."},
        {"refusal after the trace", "exec v/xvantor.exe a b " + std::string(258, 'n'), 1,
         "Nome del file di log '" + std::string(258, 'n') + "' troppo lungo -> ESCO"},
    };
    for (const auto &c : cases) {
        ts::RunResult r = shell(c.script, work);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << ": " << r.out;
        EXPECT_EQ(r.out.empty() ? "" : ts::lines(r.out).back(), c.last) << c.name;
    }
    EXPECT_FALSE(ts::fileExists(ts::join(decoy, "decoy.txt")));
}

// A host name of more than 15 characters before its first dot gives its first
// 15 in capitals as computer name, which names the export tool's log.
TEST(OwnIdentity, LongHostName)
{
    if (shell("unshare -u true", "Z:\\").exitCode != 0) GTEST_SKIP() << "unshare -u needs root here";
    const std::string work = ts::makeWorkFolder("identity");
    ts::lay({"quenbarodis.exe", "exit 0\n", true, {{"Log\\", ""}, {"connettoreclient.ini", ""}}}, work);
    const char *user = win_getCurrentUserName();
    ASSERT_NE(user, nullptr);
    const std::string host = "hostname build-runner-eu-west-1a.example";
    ts::RunResult r = shell("unshare -u sh -c '" + host + " && exec ./quenbarodis.exe'", work);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string log = std::string("Log\\quenbarodis.BUILD-RUNNER-EU.") + user + ".log";
    EXPECT_TRUE(ts::fileExists(ts::join(work, log))) << log;
}

}  // namespace

#endif
