// windows_helper, Win32 backend, files: the log's append-only records with
// their byte-range locks and rotation, replacing moves, the atomic copy of the
// update-check staging, and the system's error texts.
#include "windows_helper.h"
#include "windows_helper_tools.h"

#include "vekstringlib.h"
#include "winpath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

struct win_file {
    HANDLE handle;
    bool locked;       // holds the append lock (win_lockAppend)
    bool canLock;      // opened with read access, which a byte-range lock needs
};

// The bytes that our processes lock, far beyond any real end of file (2^62):
// the append lock and, next to it, the rotation lock.
enum { WIN_APPEND_LOCK_HIGH = 0x40000000, WIN_APPEND_LOCK_LOW = 0, WIN_ROTATION_LOCK_LOW = 1 };

FILE *win_fopen(const char *path, const char *mode)
{
    return fopen(path, mode);
}

// The errno value the runtime would give for a Windows error number: its
// table for the errors that say "held or refused for now" (EACCES, EAGAIN)
// and for missing files and memory. External only so that the tests can read
// the table; no header declares it.
int errnoOfWindowsError(unsigned long error)
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
static win_file *openFile(const char *path, DWORD access, DWORD share)
{
    HANDLE handle = CreateFileA(path, access, share, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOfWindowsError(GetLastError());
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
    win_file *file = openFile(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES, share);
    if (file == NULL && GetLastError() == ERROR_SHARING_VIOLATION) {
        file = openFile(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share);
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
            errno = errnoOfWindowsError(error);
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
    bool same = GetFileInformationByHandle(file->handle, &open) &&
                GetFileInformationByHandle(other, &found) &&
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
                             NULL, (DWORD)errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             (LPSTR)&text, 0, NULL);
    if (n == 0) return NULL;
    return text;
}

void win_freeSystemMessage(char *message)
{
    if (message != NULL) LocalFree(message);
}
