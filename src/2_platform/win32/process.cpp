// windows_helper, Win32 backend, processes: the raw command line, the start
// of the interpreter in a folder, its wait and exit code, the process id and
// pauses.
#include "windows_helper.h"
#include "windows_helper_tools.h"
#include "windows_helper_messages.h"

#include "vekstringlib.h"

#include <cstdio>

#include <windows.h>

void win_initProcess(void)
{
}

const char *win_getCommandLine(void)
{
    return GetCommandLineA();
}

// Waits for a started child when asked, closes both handles (the process
// first) and returns the result: 0 when not waiting, the exit code, or 1 with
// a message when the wait or the exit-code read fails.
static int finishChild(PROCESS_INFORMATION *pi, bool wait, char *errorText)
{
    int result = 0;
    if (wait) {
        DWORD code = 1;
        if (WaitForSingleObject(pi->hProcess, INFINITE) != WAIT_OBJECT_0) {
            str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_WAIT_FAILED,
                       (unsigned long)GetLastError());
            code = 1;
        } else if (!GetExitCodeProcess(pi->hProcess, &code)) {
            str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_EXIT_CODE_FAILED,
                       (unsigned long)GetLastError());
            code = 1;
        }
        result = (int)code;
    }
    CloseHandle(pi->hProcess);
    CloseHandle(pi->hThread);
    return result;
}

// Empties the error text, zeroes the start-up record (its size set) and the
// process record, and flushes the standard streams, so that what the launcher
// printed comes before anything the child prints.
static void prepareStart(STARTUPINFOA *si, PROCESS_INFORMATION *pi, char *errorText)
{
    errorText[0] = '\0';
    ZeroMemory(si, sizeof *si);
    si->cb = sizeof *si;
    ZeroMemory(pi, sizeof *pi);
    fflush(stdout);
    fflush(stderr);
}

// Writes the message of a start that failed with error into errorText; 1.
static int startFailed(char *errorText, DWORD error)
{
    str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_START_FAILED, (unsigned long)error);
    return 1;
}

// The launcher's job: made at the first waiting start and held open until the
// launcher ends, however it ends, so that the system then ends what is in it.
static HANDLE launcherJob = NULL;

// Puts a child started suspended into the launcher's job, which kills it when
// the launcher ends while what the child starts itself breaks away unasked;
// where no such job can be made or joined (an enclosing job that forbids it)
// the child runs unbound, as it would without. Then lets the child run.
// Returns false, with the error in *error, only when it cannot be resumed.
static bool bindAndResume(PROCESS_INFORMATION *pi, DWORD *error)
{
    if (launcherJob == NULL) {
        HANDLE job = CreateJobObjectA(NULL, NULL);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ZeroMemory(&limits, sizeof limits);
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
        if (job != NULL &&
            !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(job);
            job = NULL;
        }
        launcherJob = job;
    }
    if (launcherJob != NULL) AssignProcessToJobObject(launcherJob, pi->hProcess);
    if (ResumeThread(pi->hThread) != (DWORD)-1) return true;
    *error = GetLastError();
    TerminateProcess(pi->hProcess, 1);
    CloseHandle(pi->hProcess);
    CloseHandle(pi->hThread);
    return false;
}

int win_executeCommand(char *command, const char *folder, bool wait, char *errorText)
{
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DWORD error = 0;
    prepareStart(&si, &pi, errorText);
    DWORD flags = wait ? CREATE_SUSPENDED : 0;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, flags, NULL, folder, &si, &pi)) {
        return startFailed(errorText, GetLastError());
    }
    if (wait && !bindAndResume(&pi, &error)) return startFailed(errorText, error);
    return finishChild(&pi, wait, errorText);
}

unsigned long win_getProcessId(void)
{
    return (unsigned long)GetCurrentProcessId();
}

void win_sleep(unsigned long milliseconds)
{
    Sleep((DWORD)milliseconds);
}

bool win_getCurrentDirectory(char *buf, size_t size)
{
    DWORD n = GetCurrentDirectoryA((DWORD)size, buf);
    return n > 0 && n < size;
}
