// testplatform: the tests' own doors to the system, for Windows and for
// POSIX. Test code may include system headers; the launcher's code may not.
#include "testplatform.h"

#include <cstdio>
#include <string>
#include <vector>

#include "autoit3_words.h"
#include "vekstringlib.h"
#include "windows_helper.h"

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
    str_format(errorText, VEK_TEXT_SIZE, "Errore durante l'esecuzione del comando: %lu", error);
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

int tp_executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                       char *errorText)
{
    errorText[0] = '\0';
    fflush(stdout);
    fflush(stderr);
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

struct tp_heldFile {
    HANDLE handle;
};

tp_heldFile *tp_holdFile(const char *path, bool lockWholeRange)
{
    DWORD share = lockWholeRange ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    HANDLE handle = CreateFileA(path, access, share, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return NULL;
    OVERLAPPED whole = {};
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    if (lockWholeRange && !LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(handle);
        return NULL;
    }
    return new tp_heldFile{handle};
}

void tp_releaseFile(tp_heldFile *file)
{
    if (file == NULL) return;
    // Unlocked at once rather than whenever the system gets round to it after
    // the close; fails harmlessly when nothing was locked.
    OVERLAPPED whole = {};
    UnlockFileEx(file->handle, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file->handle);
    delete file;
}

// Formats a version of the fixed file information as "a.b.c.d".
static void formatVersion(char *out, size_t size, DWORD high, DWORD low)
{
    str_format(out, size, "%lu.%lu.%lu.%lu", (unsigned long)HIWORD(high), (unsigned long)LOWORD(high),
               (unsigned long)HIWORD(low), (unsigned long)LOWORD(low));
}

bool tp_getFileVersion(const char *path, char *fileVersion, char *productVersion, char *originalName,
                       size_t size)
{
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path, &ignored));
    VS_FIXEDFILEINFO *fixed = NULL;
    char *name = NULL;
    UINT length = 0;
    const char *nameKey = "\\StringFileInfo\\041004E4\\OriginalFilename";
    if (data.empty() || !GetFileVersionInfoA(path, 0, (DWORD)data.size(), data.data()) ||
        !VerQueryValueA(data.data(), "\\", (void **)&fixed, &length) || fixed == NULL ||
        !VerQueryValueA(data.data(), nameKey, (void **)&name, &length) || name == NULL) {
        return false;
    }
    formatVersion(fileVersion, size, fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    formatVersion(productVersion, size, fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    str_assign(originalName, name, size);
    return true;
}

#else  // POSIX

// Room for the POSIX form of a Windows-form path.
const size_t NATIVE_SIZE = VEK_PATH_SIZE * 4;

// The POSIX form of a Windows-form path into out (NATIVE_SIZE), or false.
static bool nativePath(const char *path, char *out)
{
    return win_toNativePath(path, out, NATIVE_SIZE);
}

int tp_executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                       char *errorText)
{
    errorText[0] = '\0';
    fflush(stdout);
    fflush(stderr);
    char program[NATIVE_SIZE], nativeFolder[NATIVE_SIZE], out[NATIVE_SIZE], err[NATIVE_SIZE];
    int words = 0;
    char **argv = autoit3_splitAll(command, &words);
    int error = ENOENT;
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (argv != NULL && words > 0 && nativePath(argv[0], program) && nativePath(folder, nativeFolder) &&
        nativePath(outPath, out) && nativePath(errPath, err)) {
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
    int status = 0;
    pid_t ended;
    do {
        ended = waitpid(pid, &status, 0);
    } while (ended < 0 && errno == EINTR);
    if (ended < 0) return 1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

struct tp_heldFile {
    int fd;
};

tp_heldFile *tp_holdFile(const char *path, bool)
{
    // POSIX locks are advisory: nothing can keep another process from opening
    // the file, so it is only opened here.
    char native[NATIVE_SIZE];
    int fd = nativePath(path, native) ? open(native, O_RDWR | O_CREAT | O_CLOEXEC, 0644) : -1;
    return fd < 0 ? NULL : new tp_heldFile{fd};
}

void tp_releaseFile(tp_heldFile *file)
{
    if (file != NULL) close(file->fd);
    delete file;
}

bool tp_getFileVersion(const char *, char *, char *, char *, size_t)
{
    return false;
}

#endif
