// stopper: starts a program as a scheduler would and ends it from outside.
//   stopper <file> <signal> <program> [argument...]
// Starts the program in the working folder, waits until file exists (30 s at
// most), ends the program (natively with the signal, on Windows by
// TerminateProcess) and prints its exit code. A program that ended already is
// left as it is.
#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#endif

int main(int argc, char **argv)
{
    if (argc < 4) return 2;
    long code = 1;
#ifdef _WIN32
    std::string line;
    for (int i = 3; i < argc; i++) line += std::string(i > 3 ? " \"" : "\"") + argv[i] + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return 3;
    for (int i = 0; i < 300 && !win_fileExists(argv[1]); i++) win_sleep(100);
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD exitCode = 1;
    if (GetExitCodeProcess(pi.hProcess, &exitCode)) code = (long)exitCode;
#else
    char program[VEK_TEXT_SIZE];
    pid_t pid = -1;
    bool started = win_toNativePath(argv[3], program, sizeof program) &&
                   posix_spawn(&pid, program, NULL, NULL, argv + 3, environ) == 0;
    if (!started) return 3;
    for (int i = 0; i < 300 && !win_fileExists(argv[1]); i++) win_sleep(100);
    kill(pid, atoi(argv[2]));
    int status = 0;
    if (waitpid(pid, &status, 0) == pid) {
        code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
#endif
    printf("%ld\n", code);
    return 0;
}
