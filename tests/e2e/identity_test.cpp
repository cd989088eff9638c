// Who the launcher is, end to end, where a host can make it someone else: a
// folder name outside the ANSI code page beside a sibling that its best-fit
// form names (Windows), a launcher started through a symbolic link, a folder
// name holding a backslash, a long host name and both streams joined (POSIX).
#include "tasklaunch.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const std::string OWN_PATH = "Errore durante l'ottenimento del percorso dell'eseguibile.";

#ifdef _WIN32

// Runs the wide command line in the current folder, its standard error into
// errPath; its exit code, or -1 when it cannot be started.
int runWide(std::wstring command, const std::string &errPath)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdError = err;
    PROCESS_INFORMATION pi = {};
    bool started = CreateProcessW(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(err);
    if (!started) return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)code;
}

// A task in a folder whose Polish letters lie outside code page 1252
// (za\u017C\u00F3\u0142\u0107), beside the folder its best-fit form names
// (zaz\u00F3lc) with a program and a script of its own: the launcher refuses
// its own path, and neither script runs.
TEST(OwnIdentity, FolderOutsideTheAnsiCodePage)
{
    const std::string work = ts::makeWorkFolder("identity"), sibling = ts::join(work, "zaz\xF3lc");
    std::wstring wideWork(work.begin(), work.end());
    const std::wstring task = wideWork + L"\\za\u017C\u00F3\u0142\u0107";
    const std::wstring launcher = task + L"\\task.exe", standin = task + L"\\autoit3.exe";
    ASSERT_TRUE(CreateDirectoryW(task.c_str(), NULL) && ts::makeFolder(sibling));
    ASSERT_TRUE(ts::layTask(sibling, "task.exe") != "");
    ASSERT_TRUE(ts::writeFile(ts::join(sibling, "task.a3x"), e2e::REPORT));
    ASSERT_TRUE(CopyFileA(ts::builtProgram("launcher").c_str(), ts::join(work, "task.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((wideWork + L"\\task.exe").c_str(), launcher.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(ts::builtProgram("autoit3").c_str(), ts::join(work, "autoit3.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((wideWork + L"\\autoit3.exe").c_str(), standin.c_str(), FALSE));
    const std::string errPath = ts::join(work, "err.txt");
    EXPECT_EQ(runWide(L"\"" + launcher + L"\" cron", errPath), 1);
    EXPECT_EQ(ts::lf(ts::readFile(errPath)), OWN_PATH + "\n");
    EXPECT_FALSE(ts::fileExists(ts::join(sibling, "r.txt")) || ts::fileExists(ts::join(sibling, "task.log")));
}

#else

// Runs a shell script in folder, standard error joined to standard output.
ts::RunResult shell(const std::string &script, const std::string &folder)
{
    return ts::run(ts::commandLine("Z:\\bin\\sh", {"-c", "exec 2>&1; " + script}), folder);
}

// The last line of a text, "" when it has none.
std::string lastLine(const std::string &text)
{
    std::vector<std::string> all = ts::lines(text);
    return all.empty() ? "" : all.back();
}

// The POSIX form of a Windows-form path.
std::string native(const std::string &path)
{
    char out[VEK_TEXT_SIZE];
    return win_toNativePath(path.c_str(), out, sizeof out) ? out : "";
}

// Each run's exit code and the last line of its joined streams. A launcher
// started through a symbolic link runs the script beside the link, as under
// Wine, also by a relative path with "." and ".."; a folder "a\b" is refused
// (read back, it names the folder b in a, holding a decoy); with echo on, the
// refusal of a log name that is too long comes after the console trace.
TEST(OwnIdentity, PosixHostsAnswerAsWine)
{
    const std::string work = ts::makeWorkFolder("identity"), opt = ts::join(work, "opt");
    const std::string task = ts::join(work, "task"), vantor = ts::join(work, "v");
    const std::string decoy = ts::join(work, "a\\b");
    unsigned long error = 0;
    ASSERT_TRUE(ts::makeFolder(opt) && ts::makeFolder(task) && ts::makeFolder(vantor));
    ASSERT_TRUE(ts::layTask(opt, "launcher") != "");
    ASSERT_TRUE(ts::writeFile(ts::join(opt, "launcher.a3x"), "exit 9\n"));
    ASSERT_EQ(symlink("../opt/launcher", (native(task) + "/lirmak.exe").c_str()), 0);
    const std::string standin = ts::builtProgram("autoit3");
    ASSERT_TRUE(win_copyFile(standin.c_str(), ts::join(task, "autoit3.exe").c_str(), &error));
    ASSERT_TRUE(ts::writeFile(ts::join(task, "lirmak.a3x"), "exit 0\n") &&
                ts::writeFile(ts::join(task, "frascombe_a3x.ini"), ""));
    ASSERT_TRUE(ts::layTask(vantor, "xvantor.exe") != "");
    const std::string echo = "[frascombe_a3x]\n$debug_to_console=1\n";
    ASSERT_TRUE(ts::writeFile(ts::join(vantor, "frascombe_a3x.ini"), echo));
    ASSERT_EQ(shell("mkdir a 'a\\b' && cp v/xvantor.exe 'a\\b/task.exe'", work).exitCode, 0);
    ASSERT_TRUE(ts::makeFolder(decoy));
    ASSERT_TRUE(ts::writeFile(ts::join(decoy, "autoit3.exe"), "#!/bin/sh\ntouch decoy.txt\n"));
    ASSERT_TRUE(chmod(native(ts::join(decoy, "autoit3.exe")).c_str(), 0755) == 0 &&
                ts::writeFile(ts::join(decoy, "task.a3x"), ""));
    const struct { const char *name; std::string script; int exitCode; std::string last; } cases[] = {
        {"through a link", "exec task/lirmak.exe cron", 0, ""},
        {"through a link, by . and ..", "cd opt && exec ./../task/./lirmak.exe cron", 0, ""},
        {"folder a\\b", "exec 'a\\b/task.exe' cron", 1, OWN_PATH},
        {"refusal after the trace", "exec v/xvantor.exe a b " + std::string(258, 'n'), 1,
         "Nome del file di log '" + std::string(258, 'n') + "' troppo lungo -> ESCO"},
    };
    for (const auto &c : cases) {
        ts::RunResult r = shell(c.script, work);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << ": " << r.out;
        EXPECT_EQ(lastLine(r.out), c.last) << c.name;
    }
    EXPECT_FALSE(ts::fileExists(ts::join(decoy, "decoy.txt")));
}

// A host name of more than 15 characters before its first dot gives its first
// 15 in capitals as computer name, which names the export tool's log.
TEST(OwnIdentity, LongHostName)
{
    if (shell("unshare -u true", "Z:\\").exitCode != 0) GTEST_SKIP() << "unshare -u needs root here";
    const std::string work = ts::makeWorkFolder("identity");
    ASSERT_TRUE(ts::layTask(work, "quenbarodis.exe") != "" && ts::makeFolder(ts::join(work, "Log")));
    ASSERT_TRUE(ts::writeFile(ts::join(work, "quenbarodis.a3x"), "") &&
                ts::writeFile(ts::join(work, "connettoreclient.ini"), ""));
    const char *user = win_getCurrentUserName();
    ASSERT_NE(user, nullptr);
    const std::string host = "hostname build-runner-eu-west-1a.example";
    ts::RunResult r = shell("unshare -u sh -c '" + host + " && exec ./quenbarodis.exe'", work);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string log = std::string("Log\\quenbarodis.BUILD-RUNNER-EU.") + user + ".log";
    EXPECT_TRUE(ts::fileExists(ts::join(work, log))) << log;
}

#endif

}  // namespace
