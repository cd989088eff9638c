// windows_helper, Win32 backend: the real Windows calls behind every win_
// function. Paths are ANSI strings passed to the ...A forms.
#include "windows_helper.h"
#include "windows_helper_messages.h"

#include "vekstringlib.h"
#include "winpath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

enum {
    WIN_COMPUTER_NAME_SIZE = 16,   // MAX_COMPUTERNAME_LENGTH + 1
    WIN_USER_NAME_SIZE = 257       // UNLEN + 1
};

static char computerName[WIN_COMPUTER_NAME_SIZE];
static char userName[WIN_USER_NAME_SIZE];

struct win_file {
    HANDLE handle;
    bool locked;       // holds the append lock (win_lockAppend)
    bool canLock;      // opened with read access, which a byte-range lock needs
};

// The bytes that our processes lock, far beyond any real end of file (2^62):
// the append lock and, next to it, the rotation lock.
enum { WIN_APPEND_LOCK_HIGH = 0x40000000, WIN_APPEND_LOCK_LOW = 0, WIN_ROTATION_LOCK_LOW = 1 };

// The known folder of the user's roaming application data.
static const GUID win_folderRoamingAppData = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};

// --- Identity, paths and folders ----------------------------------------------

void win_initProcess(void)
{
}

// The shell's known-folder lookup and the COM allocator's release.
typedef HRESULT(WINAPI *win_KnownFolderFn)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR *);
typedef void(WINAPI *win_TaskMemFreeFn)(LPVOID);

// The ANSI form of a wide path, which the ...A path functions take, as a new
// heap string; null when memory runs out or when the path holds a character
// the code page cannot represent (it would name a folder nobody can find).
static char *win_ansiPath(const WCHAR *wide)
{
    // The UTF-8 code page takes neither flags nor a used-default pointer:
    // every character has its bytes there, so only an unpaired surrogate,
    // refused by WC_ERR_INVALID_CHARS, is a path that cannot be represented.
    UINT codePage = GetACP();
    bool utf8 = codePage == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL *usedDefault = utf8 ? NULL : &lossy;
    int size = WideCharToMultiByte(codePage, flags, wide, -1, NULL, 0, NULL, usedDefault);
    char *path = (size > 0 && !lossy) ? (char *)malloc((size_t)size) : NULL;
    if (path != NULL &&
        (WideCharToMultiByte(codePage, flags, wide, -1, path, size, NULL, usedDefault) == 0 || lossy)) {
        free(path);
        path = NULL;
    }
    return path;
}

void win_getExeInfo(char *exePath, char *exeFolder, char *exeBaseName, char *errorText)
{
    errorText[0] = '\0';
    // The wide path, converted without best-fit characters: the ANSI path of
    // a folder outside the code page would name another folder, with another
    // program and script in it. A result that fills the buffer is a cut path.
    WCHAR wide[VEK_PATH_SIZE];
    DWORD n = GetModuleFileNameW(NULL, wide, VEK_PATH_SIZE);
    char *path = (n > 0 && n < VEK_PATH_SIZE) ? win_ansiPath(wide) : NULL;
    bool fits = path != NULL && strlen(path) < VEK_PATH_SIZE;
    if (fits) str_assign(exePath, path, VEK_PATH_SIZE);
    free(path);
    if (!fits) {
        str_assign(errorText, WIN_MSG_NO_OWN_PATH, VEK_TEXT_SIZE);
        return;
    }
    str_assign(exeFolder, exePath, VEK_PATH_SIZE);
    PathRemoveFileSpecA(exeFolder);
    str_assign(exeBaseName, exePath, VEK_PATH_SIZE);
    PathStripPathA(exeBaseName);
    PathRemoveExtensionA(exeBaseName);
}

bool win_fileExists(const char *path)
{
    return PathFileExistsA(path) != FALSE;
}

bool win_pathIsDirectory(const char *path)
{
    return PathIsDirectoryA(path) != FALSE;
}

// A system DLL loaded from the system folder only, never from the
// executable's own folder, where anyone who may write there could put a DLL
// of the same name; null when it cannot be loaded. Vista and 7 without the
// update that brought LOAD_LIBRARY_SEARCH_SYSTEM32 refuse the flag as an
// invalid parameter: there the DLL is named by its full path in the system
// folder, and its own imports are looked for beside it first.
static HMODULE loadSystemLibrary(const char *name)
{
    HMODULE module = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != NULL || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char path[VEK_PATH_SIZE];
    UINT n = GetSystemDirectoryA(path, VEK_PATH_SIZE);
    if (n == 0 || n >= VEK_PATH_SIZE) return NULL;
    int wanted = str_format(path + n, VEK_PATH_SIZE - n, "\\%s", name);
    if (wanted < 0 || (size_t)wanted >= VEK_PATH_SIZE - n) return NULL;
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

char *win_getAppDataPath(void)
{
    // shell32 and ole32 are loaded here, when the folder is asked for, not at
    // every start: loading the shell is a large part of a start's cost.
    HMODULE shell = loadSystemLibrary("shell32.dll");
    HMODULE ole = loadSystemLibrary("ole32.dll");
    win_KnownFolderFn knownFolder =
        shell ? (win_KnownFolderFn)(void *)GetProcAddress(shell, "SHGetKnownFolderPath") : NULL;
    win_TaskMemFreeFn taskMemFree = ole ? (win_TaskMemFreeFn)(void *)GetProcAddress(ole, "CoTaskMemFree") : NULL;
    PWSTR wide = NULL;
    char *path = NULL;
    if (knownFolder != NULL && taskMemFree != NULL) {
        // The folder path is the caller's to release whatever the result.
        if (SUCCEEDED(knownFolder(win_folderRoamingAppData, 0, NULL, &wide))) path = win_ansiPath(wide);
        taskMemFree(wide);
    }
    if (ole != NULL) FreeLibrary(ole);
    if (shell != NULL) FreeLibrary(shell);
    if (path == NULL) return NULL;
    size_t len = strlen(path);
    if (len > 0 && path[len - 1] == '\\') path[len - 1] = '\0';
    return path;
}

bool win_checkAndCreatePath(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    return CreateDirectoryA(path, NULL) != FALSE;
}

char *win_concatPaths(const char *dir, const char *file)
{
    char joined[VEK_PATH_SIZE];
    if (PathCombineA(joined, dir, file) == NULL) return NULL;
    return _strdup(joined);
}

bool win_combinePath(char *dest, const char *dir, const char *file)
{
    if (PathCombineA(dest, dir, file) != NULL) return true;
    dest[0] = '\0';
    return false;
}

const char *win_getComputerName(void)
{
    DWORD size = sizeof computerName;
    return GetComputerNameA(computerName, &size) ? computerName : NULL;
}

const char *win_getCurrentUserName(void)
{
    DWORD size = sizeof userName;
    return GetUserNameA(userName, &size) ? userName : NULL;
}

// An impersonation token of the calling thread's identity for AccessCheck, or
// null.
static HANDLE win_identityToken(void)
{
    HANDLE token = NULL;
    HANDLE impersonation = NULL;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token) ||
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
        if (!DuplicateToken(token, SecurityImpersonation, &impersonation)) impersonation = NULL;
        CloseHandle(token);
    }
    return impersonation;
}

// Runs the system access check of descriptor for the calling thread's
// identity, asking for a generic right mapped through the file generic
// mapping (read, write, execute and all rights of a file). True when the check
// itself ran; *allowed is then true when every asked-for right is granted.
static bool win_accessCheck(PSECURITY_DESCRIPTOR descriptor, DWORD genericRight, bool *allowed)
{
    GENERIC_MAPPING mapping;
    mapping.GenericRead = FILE_GENERIC_READ;
    mapping.GenericWrite = FILE_GENERIC_WRITE;
    mapping.GenericExecute = FILE_GENERIC_EXECUTE;
    mapping.GenericAll = FILE_ALL_ACCESS;
    DWORD desired = genericRight;
    MapGenericMask(&desired, &mapping);
    BYTE privileges[20];
    DWORD privilegesLength = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    HANDLE token = win_identityToken();
    BOOL checked = token != NULL && AccessCheck(descriptor, token, desired, &mapping, (PPRIVILEGE_SET)privileges,
                                                &privilegesLength, &granted, &status);
    DWORD error = GetLastError();
    if (token != NULL) CloseHandle(token);
    SetLastError(error);
    *allowed = checked && status && (granted & desired) == desired;
    return checked != FALSE;
}

bool win_hasWritePermissionInDirectory(const char *path)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    // The access check refuses a descriptor without owner and group, so all
    // three are asked for, not the access list alone.
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              NULL, NULL, NULL, NULL, &descriptor) != ERROR_SUCCESS) {
        fputs(WIN_MSG_NO_FOLDER_SECURITY, stderr);
        return false;
    }
    bool allowed = false;
    if (!win_accessCheck(descriptor, GENERIC_ALL, &allowed)) {
        fprintf(stderr, "Errore durante il controllo degli accessi alla directory %s. Codice di errore: %lu\n", path,
                (unsigned long)GetLastError());
    }
    LocalFree(descriptor);
    return allowed;
}

bool win_hasWritePermission(const char *path)
{
    const SECURITY_INFORMATION wanted =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityA(path, wanted, NULL, 0, &needed);
    if (needed == 0) return false;
    PSECURITY_DESCRIPTOR descriptor = (PSECURITY_DESCRIPTOR)malloc(needed);
    if (descriptor == NULL) return false;
    bool allowed = false;
    if (GetFileSecurityA(path, wanted, descriptor, needed, &needed)) {
        win_accessCheck(descriptor, GENERIC_WRITE, &allowed);
    }
    free(descriptor);
    return allowed;
}

// --- Processes -----------------------------------------------------------------

const char *win_getCommandLine(void)
{
    return GetCommandLineA();
}

// Waits for a started child when asked, closes both handles (the process
// first) and returns the result: 0 when not waiting, the exit code, or 1 with
// a message when the wait or the exit-code read fails.
static int win_finishChild(PROCESS_INFORMATION *pi, bool wait, char *errorText)
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
static void win_prepareStart(STARTUPINFOA *si, PROCESS_INFORMATION *pi, char *errorText)
{
    errorText[0] = '\0';
    ZeroMemory(si, sizeof *si);
    si->cb = sizeof *si;
    ZeroMemory(pi, sizeof *pi);
    fflush(stdout);
    fflush(stderr);
}

// Writes the message of a start that failed with error into errorText; 1.
static int win_startFailed(char *errorText, DWORD error)
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
static bool win_bindAndResume(PROCESS_INFORMATION *pi, DWORD *error)
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
    win_prepareStart(&si, &pi, errorText);
    DWORD flags = wait ? CREATE_SUSPENDED : 0;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, flags, NULL, folder, &si, &pi)) {
        return win_startFailed(errorText, GetLastError());
    }
    if (wait && !win_bindAndResume(&pi, &error)) return win_startFailed(errorText, error);
    return win_finishChild(&pi, wait, errorText);
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

// --- Files ---------------------------------------------------------------------------

FILE *win_fopen(const char *path, const char *mode)
{
    return fopen(path, mode);
}

// The errno value the runtime would give for a Windows error number: its
// table for the errors that say "held or refused for now" (EACCES, EAGAIN)
// and for missing files and memory. External only so that the tests can read
// the table; no header declares it.
int win_errnoOf(unsigned long error)
{
    if (error >= ERROR_WRITE_PROTECT && error <= ERROR_SHARING_BUFFER_EXCEEDED) return EACCES;   // 19-36
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
        return EACCES;
    case ERROR_NO_PROC_SLOTS:
    case ERROR_MAX_THRDS_REACHED:
    case ERROR_NESTING_NOT_ALLOWED:
        return EAGAIN;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EINVAL;
    }
}

// A win_file on path opened (created when missing) with the given access and
// sharing; null with errno set.
static win_file *win_openFile(const char *path, DWORD access, DWORD share)
{
    HANDLE handle = CreateFileA(path, access, share, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = win_errnoOf(GetLastError());
        return NULL;
    }
    win_file *file = (win_file *)malloc(sizeof *file);
    if (file == NULL) {
        CloseHandle(handle);
        errno = ENOMEM;
        return NULL;
    }
    file->handle = handle;
    file->locked = false;
    file->canLock = (access & FILE_READ_DATA) != 0;
    return file;
}

win_file *win_openAppend(const char *path)
{
    // Append-only access: the system moves every write to the current end of
    // the file in one step, so records of several processes never overwrite
    // or split one another. Read access as well, only so that the handle may
    // take the locks of win_lockAppend and win_lockRotation; a holder that
    // shares writing but not reading refuses it, and the runtime's
    // fopen(path, "a") would still append there: so does the handle then,
    // without the locks.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    win_file *file = win_openFile(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES, share);
    if (file == NULL && GetLastError() == ERROR_SHARING_VIOLATION) {
        file = win_openFile(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share);
    }
    return file;
}

// Where a lock of ours lies: one byte far beyond any real end of file.
static OVERLAPPED lockPlace(DWORD low)
{
    OVERLAPPED place = {};
    place.Offset = low;
    place.OffsetHigh = WIN_APPEND_LOCK_HIGH;
    return place;
}

// True once the exclusive lock on our byte at low is held, trying again for
// at most waitMs; false with errno set (EINVAL when the handle cannot lock).
static bool lockByte(win_file *file, DWORD low, unsigned long waitMs)
{
    if (!file->canLock) {
        errno = EINVAL;
        return false;
    }
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    ULONGLONG start = GetTickCount64();
    for (;;) {
        OVERLAPPED place = lockPlace(low);
        if (LockFileEx(file->handle, flags, 0, 1, 0, &place)) return true;
        DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION || GetTickCount64() - start >= waitMs) {
            errno = win_errnoOf(error);
            return false;
        }
        Sleep(1);
    }
}

bool win_lockAppend(win_file *file, unsigned long waitMs)
{
    // Our appenders hold an exclusive lock on one byte far beyond any real end
    // of file while they write. Windows already appends atomically; the lock
    // keeps it so where an append is a size query followed by a write (Wine),
    // and it goes with the handle if the process dies. It is tried without
    // waiting and retried briefly, so that another program's lock over the
    // whole file delays a record by waitMs at most, never without limit.
    file->locked = lockByte(file, WIN_APPEND_LOCK_LOW, waitMs);
    return file->locked;
}

bool win_lockRotation(win_file *file, unsigned long waitMs)
{
    return lockByte(file, WIN_ROTATION_LOCK_LOW, waitMs);
}

void win_unlockRotation(win_file *file)
{
    OVERLAPPED place = lockPlace(WIN_ROTATION_LOCK_LOW);
    UnlockFileEx(file->handle, 0, 1, 0, &place);
}

bool win_fileSize(win_file *file, long long *size)
{
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(file->handle, &bytes)) return false;
    *size = bytes.QuadPart;
    return true;
}

bool win_isFileAtPath(win_file *file, const char *path)
{
    // Asking for attributes only, the open passes beside any holder.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE other = CreateFileA(path, FILE_READ_ATTRIBUTES, share, NULL, OPEN_EXISTING, 0, NULL);
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION open, found;
    bool same = GetFileInformationByHandle(file->handle, &open) && GetFileInformationByHandle(other, &found) &&
                open.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
                open.nFileIndexHigh == found.nFileIndexHigh && open.nFileIndexLow == found.nFileIndexLow;
    CloseHandle(other);
    return same;
}

void win_numberedPlaces(const char *path, int count, win_place *places)
{
    char name[VEK_PATH_SIZE];
    for (int n = 1; n < count; n++) {
        // A name that does not fit is no place for a file.
        int length = str_format(name, sizeof name, "%s.%d", path, n);
        bool fits = length > 0 && length < VEK_PATH_SIZE;
        DWORD attributes = fits ? GetFileAttributesA(name) : FILE_ATTRIBUTE_DIRECTORY;
        DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            places[n] = WIN_PLACE_FREE;
        } else {
            places[n] = error == ERROR_SUCCESS && !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? WIN_PLACE_FILE
                                                                                           : WIN_PLACE_OTHER;
        }
    }
}

bool win_appendRecord(win_file *file, const char *text, size_t len)
{
    // Text-file line ends, translated here so the record goes out in one write.
    size_t feeds = 0;
    for (size_t i = 0; i < len; i++) feeds += (text[i] == '\n');
    size_t total = len + feeds;
    if (total > 0xFFFFFFFFu) return false;
    char *record = (char *)malloc(total > 0 ? total : 1);
    if (record == NULL) return false;
    size_t n = 0;
    for (size_t i = 0; i < len; i++) {
        if (text[i] == '\n') record[n++] = '\r';
        record[n++] = text[i];
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file->handle, record, (DWORD)total, &written, NULL);
    if (file->locked) {
        OVERLAPPED place = lockPlace(WIN_APPEND_LOCK_LOW);
        UnlockFileEx(file->handle, 0, 1, 0, &place);
        file->locked = false;
    }
    free(record);
    return ok && written == total;
}

void win_closeFile(win_file *file)
{
    if (file == NULL) return;
    CloseHandle(file->handle);
    free(file);
}

bool win_renameReplace(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool win_renameToFree(const char *from, const char *to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool win_renameNoReplace(const char *from, const char *to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    return MoveFileExA(from, to, 0) != FALSE;
}

bool win_removeFile(const char *path)
{
    return DeleteFileA(path) != FALSE;
}

// True when the existing paths a and b name one file: same volume, same index.
static bool sameFile(const char *a, const char *b)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE ha = CreateFileA(a, FILE_READ_ATTRIBUTES, share, NULL, OPEN_EXISTING, 0, NULL);
    if (ha == INVALID_HANDLE_VALUE) return false;
    HANDLE hb = CreateFileA(b, FILE_READ_ATTRIBUTES, share, NULL, OPEN_EXISTING, 0, NULL);
    BY_HANDLE_FILE_INFORMATION ia;
    BY_HANDLE_FILE_INFORMATION ib;
    bool same = hb != INVALID_HANDLE_VALUE && GetFileInformationByHandle(ha, &ia) &&
                GetFileInformationByHandle(hb, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
                ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
    if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
    CloseHandle(ha);
    return same;
}

// True when process pid is this one or no longer runs. A process that cannot
// be opened for another reason (another account's) counts as running.
static bool ownerGone(DWORD pid)
{
    if (pid == GetCurrentProcessId()) return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == NULL) return GetLastError() == ERROR_INVALID_PARAMETER;
    bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// Removes, beside target, the temporaries of copies killed before they ended
// and this process's own; a temporary whose process still runs stays.
static void removeStaleCopies(const char *target)
{
    char pattern[MAX_PATH];
    char path[MAX_PATH];
    int wanted = str_format(pattern, sizeof pattern, "%s.*.tmp", target);
    if (wanted <= 0 || (size_t)wanted >= sizeof pattern) return;
    const char *slash = strrchr(target, '\\');
    const char *other = strrchr(target, '/');
    if (other != NULL && (slash == NULL || other > slash)) slash = other;
    size_t folderLength = slash == NULL ? 0 : (size_t)(slash - target) + 1;
    const char *base = target + folderLength;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DWORD pid = (DWORD)winpath_copyOwner(found.cFileName, base);
        if (pid == 0 || !ownerGone(pid)) continue;
        wanted = str_format(path, sizeof path, "%.*s%s", (int)folderLength, target, found.cFileName);
        if (wanted > 0 && (size_t)wanted < sizeof path) DeleteFileA(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

bool win_copyFile(const char *src, const char *dst, unsigned long *errorCode)
{
    char temp[MAX_PATH];
    *errorCode = 0;
    // Through a temporary a copy onto itself would succeed; it is refused
    // under any spelling of the file, with the code CopyFileA gives it.
    if (sameFile(src, dst)) {
        *errorCode = ERROR_SHARING_VIOLATION;
        return false;
    }
    removeStaleCopies(dst);
    // The copy is made beside the target under a name that tells whose it is
    // and moved over the target in one step, so a reader sees the old file or
    // the whole new one. MoveFileExA rather than ReplaceFileA: the latter needs
    // an existing target and, on some failures, leaves neither file under the
    // target's name. The moved file keeps the ACL it took when created in the
    // folder, the one the folder gives to new files. A target in use (a running
    // interpreter) cannot be replaced: the move fails and the old file stays.
    int wanted = str_format(temp, sizeof temp, "%s.%lu.tmp", dst, (unsigned long)GetCurrentProcessId());
    HANDLE created = INVALID_HANDLE_VALUE;
    if (wanted > 0 && (size_t)wanted < sizeof temp) {
        created = CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (created == INVALID_HANDLE_VALUE) {
        // No new file may be made here: the target is written in place.
        if (CopyFileA(src, dst, FALSE)) return true;
        *errorCode = (unsigned long)GetLastError();
        return false;
    }
    CloseHandle(created);
    if (CopyFileA(src, temp, FALSE) &&
        MoveFileExA(temp, dst, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    *errorCode = (unsigned long)GetLastError();
    DeleteFileA(temp);
    return false;
}

char *win_getSystemMessage(unsigned long errorCode)
{
    char *text = NULL;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM,
                             NULL, (DWORD)errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    if (n == 0) return NULL;
    return text;
}

void win_freeSystemMessage(char *message)
{
    if (message != NULL) LocalFree(message);
}

bool win_toNativePath(const char *path, char *out, size_t size)
{
    if (strlen(path) >= size) return false;
    str_assign(out, path, size);
    return true;
}
