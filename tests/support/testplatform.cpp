// testplatform: the tests' own doors to the system, for Windows and for
// POSIX. Test code may include system headers; the launcher's code may not.
#include "testplatform.h"

#include <string>

#include "autoit3_words.h"
#include "vekstringlib.h"
#include "windows_helper_tools.h"
#include "windows_helper_messages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// Writes the message of a start that failed with error into errorText; 1.
static int startFailed(char *errorText, unsigned long error)
{
    str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_START_FAILED, error);
    return 1;
}

#ifdef _WIN32

// An inheritable handle: the null device for reading when path is null,
// otherwise path written (replaced); INVALID_HANDLE_VALUE on failure.
static HANDLE inheritable(const char *path)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (path == NULL) return CreateFileA("NUL", GENERIC_READ, share, &sa, OPEN_EXISTING, 0, NULL);
    return CreateFileA(path, GENERIC_WRITE, share, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

int ts::executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                        char *errorText)
{
    errorText[0] = '\0';
    std::string line = command;  // CreateProcessA may write into it
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inheritable(NULL);
    si.hStdOutput = inheritable(outPath);
    si.hStdError = inheritable(errPath);
    PROCESS_INFORMATION pi = {};
    bool started = si.hStdInput != INVALID_HANDLE_VALUE && si.hStdOutput != INVALID_HANDLE_VALUE &&
                   si.hStdError != INVALID_HANDLE_VALUE &&
                   CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, folder, &si, &pi);
    DWORD error = started ? 0 : GetLastError();
    for (HANDLE handle : {si.hStdInput, si.hStdOutput, si.hStdError}) {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    if (!started) return startFailed(errorText, error);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    if (!GetExitCodeProcess(pi.hProcess, &code)) code = 1;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)code;
}

#else  // POSIX

// Room for the POSIX form of a Windows-form path.
const size_t NATIVE_SIZE = VEK_PATH_SIZE * 4;

int ts::executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                        char *errorText)
{
    errorText[0] = '\0';
    char program[NATIVE_SIZE], nativeFolder[NATIVE_SIZE], out[NATIVE_SIZE], err[NATIVE_SIZE];
    int words = 0;
    char **argv = autoit3_splitAll(command, &words);
    int error = ENOENT;
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (argv != NULL && words > 0 && win_toNativePath(argv[0], program, NATIVE_SIZE) &&
        win_toNativePath(folder, nativeFolder, NATIVE_SIZE) && win_toNativePath(outPath, out, NATIVE_SIZE) &&
        win_toNativePath(errPath, err, NATIVE_SIZE)) {
        int writing = O_WRONLY | O_CREAT | O_TRUNC;
        bool prepared = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                        posix_spawn_file_actions_addopen(&actions, 1, out, writing, 0644) == 0 &&
                        posix_spawn_file_actions_addopen(&actions, 2, err, writing, 0644) == 0 &&
                        posix_spawn_file_actions_addchdir_np(&actions, nativeFolder) == 0;
        error = prepared ? posix_spawn(&pid, program, &actions, NULL, argv, environ) : ENOMEM;
    }
    posix_spawn_file_actions_destroy(&actions);
    autoit3_freeWords(argv);
    if (error != 0) return startFailed(errorText, (unsigned long)error);
    // The test programs catch no signal, so the wait is never interrupted.
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return 1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

#endif
