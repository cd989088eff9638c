// testplatform: the tests' own doors to the system, for Windows and for
// POSIX. Test code may include system headers; the launcher's code may not.
#include "testplatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool tp_onWindows(void)
{
    return true;
}

// An inheritable handle on path: written (replaced) when write is true,
// otherwise the null device for reading; INVALID_HANDLE_VALUE on failure.
static HANDLE inheritableFile(const char *path, bool write)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    if (!write) {
        return CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                           NULL);
    }
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

int tp_executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                       char *errorText)
{
    errorText[0] = '\0';
    fflush(stdout);
    fflush(stderr);
    size_t length = strlen(command);
    char *line = (char *)malloc(length + 1);  // CreateProcessA may write into it
    if (line == NULL) return startFailed(errorText, ERROR_NOT_ENOUGH_MEMORY);
    memcpy(line, command, length + 1);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    HANDLE in = inheritableFile(NULL, false);
    HANDLE out = inheritableFile(outPath, true);
    HANDLE err = inheritableFile(errPath, true);
    BOOL started = FALSE;
    if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in;
        si.hStdOutput = out;
        si.hStdError = err;
        started = CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, folder, &si, &pi);
    }
    DWORD error = started ? 0 : GetLastError();
    free(line);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    if (!started) return startFailed(errorText, error);
    DWORD code = 1;
    bool ended = WaitForSingleObject(pi.hProcess, INFINITE) == WAIT_OBJECT_0;
    if (!ended || !GetExitCodeProcess(pi.hProcess, &code)) code = 1;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)code;
}

struct tp_heldFile {
    HANDLE handle;
    bool locked;
};

tp_heldFile *tp_holdFile(const char *path, bool lockWholeRange)
{
    DWORD share = lockWholeRange ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
    HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return NULL;
    OVERLAPPED whole = {};
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    tp_heldFile *file = (tp_heldFile *)malloc(sizeof *file);
    if (file == NULL || (lockWholeRange && !LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole))) {
        free(file);
        CloseHandle(handle);
        return NULL;
    }
    file->handle = handle;
    file->locked = lockWholeRange;
    return file;
}

void tp_releaseFile(tp_heldFile *file)
{
    if (file == NULL) return;
    OVERLAPPED whole = {};
    if (file->locked) UnlockFileEx(file->handle, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file->handle);
    free(file);
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
    DWORD length = GetFileVersionInfoSizeA(path, &ignored);
    void *data = length > 0 ? malloc(length) : NULL;
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT fixedLength = 0;
    char *name = NULL;
    UINT nameLength = 0;
    const char *nameKey = "\\StringFileInfo\\041004E4\\OriginalFilename";
    bool ok = data != NULL && GetFileVersionInfoA(path, 0, length, data) &&
              VerQueryValueA(data, "\\", (void **)&fixed, &fixedLength) && fixed != NULL &&
              VerQueryValueA(data, nameKey, (void **)&name, &nameLength) && name != NULL;
    if (ok) {
        formatVersion(fileVersion, size, fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        formatVersion(productVersion, size, fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        str_assign(originalName, name, size);
    }
    free(data);
    return ok;
}

#else  // POSIX

bool tp_onWindows(void)
{
    return false;
}

// The POSIX form of a Windows-form path into out (VEK_PATH_SIZE * 4), or false.
static bool nativePath(const char *path, char *out)
{
    return win_toNativePath(path, out, VEK_PATH_SIZE * 4);
}

// Adds to actions the opening of path (POSIX form) as descriptor fd, replaced
// when written; false when the action cannot be recorded.
static bool redirect(posix_spawn_file_actions_t *actions, int fd, const char *path, bool write)
{
    int flags = write ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    return posix_spawn_file_actions_addopen(actions, fd, path, flags, 0644) == 0;
}

int tp_executeCaptured(const char *command, const char *folder, const char *outPath, const char *errPath,
                       char *errorText)
{
    errorText[0] = '\0';
    fflush(stdout);
    fflush(stderr);
    char nativeFolder[VEK_PATH_SIZE * 4], program[VEK_PATH_SIZE * 4];
    char nativeOut[VEK_PATH_SIZE * 4], nativeErr[VEK_PATH_SIZE * 4];
    int words = 0;
    char **argv = autoit3_splitAll(command, &words);
    if (argv == NULL || words == 0 || !nativePath(argv[0], program) || !nativePath(folder, nativeFolder) ||
        !nativePath(outPath, nativeOut) || !nativePath(errPath, nativeErr)) {
        autoit3_freeWords(argv);
        return startFailed(errorText, ENOENT);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    bool prepared = redirect(&actions, 0, "/dev/null", false) && redirect(&actions, 1, nativeOut, true) &&
                    redirect(&actions, 2, nativeErr, true) &&
                    posix_spawn_file_actions_addchdir_np(&actions, nativeFolder) == 0;
    pid_t pid = -1;
    extern char **environ;
    int error = prepared ? posix_spawn(&pid, program, &actions, NULL, argv, environ) : ENOMEM;
    posix_spawn_file_actions_destroy(&actions);
    autoit3_freeWords(argv);
    if (error != 0) return startFailed(errorText, (unsigned long)error);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

struct tp_heldFile {
    int fd;
};

tp_heldFile *tp_holdFile(const char *path, bool)
{
    // POSIX locks are advisory: nothing can keep another process from opening
    // the file, so it is only opened here.
    char native[VEK_PATH_SIZE * 4];
    int fd = nativePath(path, native) ? open(native, O_RDWR | O_CREAT | O_CLOEXEC, 0644) : -1;
    if (fd < 0) return NULL;
    tp_heldFile *file = (tp_heldFile *)malloc(sizeof *file);
    if (file == NULL) {
        close(fd);
        return NULL;
    }
    file->fd = fd;
    return file;
}

void tp_releaseFile(tp_heldFile *file)
{
    if (file == NULL) return;
    close(file->fd);
    free(file);
}

bool tp_getFileVersion(const char *, char *, char *, char *, size_t)
{
    return false;
}

#endif
