// Who the launcher is, end to end, where a POSIX host can make it someone
// else: a launcher started through a symbolic link, a folder name holding a
// backslash, a long host name and both streams joined. (A folder name outside
// the ANSI code page is Win32Identity.OwnPathInTheAnsiCodePage's.)
#include "tasklaunch.h"

#ifndef _WIN32
#include <unistd.h>

namespace {

using namespace e2e;

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
    lay({"launcher", "exit 9\n"}, ts::join(work, "opt"));
    ASSERT_TRUE(win_removeFile(lay({"lirmak.exe", "exit 0\n"}, task).c_str()));
    ASSERT_EQ(symlink("../opt/launcher", (native(task) + "/lirmak.exe").c_str()), 0);
    lay({"xvantor.exe", "", true, {{"frascombe_a3x.ini", "[frascombe_a3x]\n$debug_to_console=1\n"}}},
        ts::join(work, "v"));
    ASSERT_EQ(shell("mkdir a 'a\\b' && cp v/xvantor.exe 'a\\b/task.exe'", work).exitCode, 0);
    const std::string decoy = ts::join(work, "a\\b");
    lay({"task.exe", "report decoy.txt\n"}, decoy);
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
    lay({"quenbarodis.exe", "exit 0\n", true, {{"Log\\", ""}, {"connettoreclient.ini", ""}}}, work);
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
