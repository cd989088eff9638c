// windows_helper, POSIX backend, files: opens of regular files only, the
// log's append-only records and rotation, replacing renames, the atomic copy
// of the update-check staging, and error texts.
#include "windows_helper.h"
#include "windows_helper_tools.h"
#include "posix_paths.h"

#include "vekstringlib.h"
#include "winpath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

struct win_file {
    int fd;
};

FILE *win_fopen(const char *path, const char *mode)
{
    char native[WIN_NATIVE_SIZE];
    if (!mapPath(path, native, sizeof native)) return NULL;
    // The runtime's modes as open flags, so that a FIFO or device is refused
    // instead of blocking the open or being read without end.
    int flags = O_RDONLY;
    if (mode[0] == 'w') flags = O_WRONLY | O_CREAT | O_TRUNC;
    if (mode[0] == 'a') flags = O_WRONLY | O_CREAT | O_APPEND;
    if (strchr(mode, '+') != NULL) flags = (flags & ~(O_RDONLY | O_WRONLY)) | O_RDWR;
    int fd = openRegular(native, flags, 0666);
    if (fd < 0) return NULL;
    FILE *file = fdopen(fd, mode);
    if (file == NULL) close(fd);
    return file;
}

// A win_file on path opened (created when missing) with the given flags;
// null with errno set.
static win_file *openFile(const char *path, int flags)
{
    char native[WIN_NATIVE_SIZE];
    if (!toPosix(path, native, sizeof native)) return NULL;
    // Only a regular file is a log; a FIFO, device or socket is one that
    // cannot be opened (and no open waits on it). A file missing under the
    // case given may exist in another; only then is a new one created.
    int fd = openRegular(native, flags, 0666);
    if (fd < 0 && errno == ENOENT) {
        matchLetterCase(native, true);
        fd = openRegular(native, flags | O_CREAT, 0666);
    }
    if (fd < 0) return NULL;
    win_file *file = (win_file *)malloc(sizeof *file);
    if (file == NULL) {
        close(fd);
        errno = ENOMEM;
        return NULL;
    }
    file->fd = fd;
    return file;
}

win_file *win_openAppend(const char *path)
{
    return openFile(path, O_WRONLY | O_APPEND);
}

bool win_lockAppend(win_file *file, unsigned long waitMs)
{
    // Every O_APPEND write lands whole at the end of the file: no lock needed.
    (void)file;
    (void)waitMs;
    return true;
}

bool win_lockRotation(win_file *file, unsigned long waitMs)
{
    // An advisory lock of the whole file, which every rotating process of
    // ours asks for; polled, so that the wait is bounded.
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (flock(file->fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            errno = EINVAL;
            return false;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long spentMs = (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (spentMs >= (long long)waitMs) {
            errno = EACCES;
            return false;
        }
        win_sleep(1);
    }
}

void win_unlockRotation(win_file *file)
{
    flock(file->fd, LOCK_UN);
}

bool win_fileSize(win_file *file, long long *size)
{
    struct stat st;
    if (fstat(file->fd, &st) != 0) return false;
    *size = (long long)st.st_size;
    return true;
}

bool win_isFileAtPath(win_file *file, const char *path)
{
    char native[WIN_NATIVE_SIZE];
    struct stat open, found;
    return fstat(file->fd, &open) == 0 && statFound(path, native, &found) && open.st_dev == found.st_dev &&
           open.st_ino == found.st_ino;
}

// The number n when name is base followed by "." and n (decimal, no leading
// zero) in letter case of any kind, 1 <= n < count; 0 otherwise.
static int numberedOf(const char *name, const char *base, size_t baseLength, int count)
{
    if (strlen(name) <= baseLength + 1 || name[baseLength] != '.' || name[baseLength + 1] == '0') return 0;
    char prefix[256];
    str_assign(prefix, name, baseLength + 1 < sizeof prefix ? baseLength + 1 : sizeof prefix);
    if (!str_equalsIgnoringCase(prefix, base)) return 0;
    long long n = 0;
    for (const char *p = name + baseLength + 1; *p != '\0'; p++) {
        if (*p < '0' || *p > '9' || n >= count) return 0;
        n = n * 10 + (*p - '0');
    }
    return n < count ? (int)n : 0;
}

void win_numberedPlaces(const char *path, int count, win_place *places)
{
    // One look through the folder, however many places: a name looked up one
    // by one would cost a search of the folder for each missing one.
    for (int n = 1; n < count; n++) places[n] = WIN_PLACE_FREE;
    char native[WIN_NATIVE_SIZE];
    if (!mapPath(path, native, sizeof native)) return;
    char *slash = strrchr(native, '/');
    const char *base = slash != NULL ? slash + 1 : native;
    char folder[WIN_NATIVE_SIZE];
    str_assign(folder, slash == NULL ? "." : slash == native ? "/" : native, sizeof folder);
    if (slash != NULL && slash != native) folder[slash - native] = '\0';
    DIR *dir = opendir(folder);
    if (dir == NULL) return;
    size_t baseLength = strlen(base);
    for (struct dirent *entry = readdir(dir); entry != NULL; entry = readdir(dir)) {
        int n = numberedOf(entry->d_name, base, baseLength, count);
        if (n == 0) continue;
        struct stat st;
        bool regular = fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        // Of several names in other letter cases, a file wins.
        if (regular || places[n] == WIN_PLACE_FREE) places[n] = regular ? WIN_PLACE_FILE : WIN_PLACE_OTHER;
    }
    closedir(dir);
}

bool win_appendRecord(win_file *file, const char *text, size_t len)
{
    // O_APPEND puts each write at the end of the file in one step.
    while (len > 0) {
        ssize_t written = write(file->fd, text, len);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text += written;
        len -= (size_t)written;
    }
    return true;
}

void win_closeFile(win_file *file)
{
    if (file == NULL) return;
    close(file->fd);
    free(file);
}

bool win_renameReplace(const char *from, const char *to)
{
    char nativeFrom[WIN_NATIVE_SIZE];
    char nativeTo[WIN_NATIVE_SIZE];
    if (!mapPath(from, nativeFrom, sizeof nativeFrom) || !mapPath(to, nativeTo, sizeof nativeTo)) {
        return false;
    }
    return rename(nativeFrom, nativeTo) == 0;
}

bool win_renameToFree(const char *from, const char *to)
{
    char nativeFrom[WIN_NATIVE_SIZE];
    char nativeTo[WIN_NATIVE_SIZE];
    if (!mapPath(from, nativeFrom, sizeof nativeFrom) || !toPosix(to, nativeTo, sizeof nativeTo)) {
        return false;
    }
    // Only the folder is matched to the names found; the new name stays.
    char *slash = strrchr(nativeTo, '/');
    if (slash != NULL && slash != nativeTo) {
        *slash = '\0';
        matchLetterCase(nativeTo, false);
        *slash = '/';
    }
    return rename(nativeFrom, nativeTo) == 0;
}

bool win_removeFile(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    if (!mapPath(path, native, sizeof native)) return false;
    return unlink(native) == 0;
}

// Copies every byte of in to out; false with errno set on a failure.
static bool copyBytes(int in, int out)
{
    char chunk[65536];
    for (;;) {
        ssize_t got = read(in, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(out, chunk + done, (size_t)(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return false;
            done += put;
        }
    }
}

// Removes, beside the POSIX path target, the temporaries of copies killed
// before they ended (their process is gone) and this process's own; a
// temporary whose process still runs is left alone.
static void removeStaleCopies(const char *target)
{
    char folder[WIN_NATIVE_SIZE];
    const char *slash = strrchr(target, '/');
    if (slash == NULL) str_assign(folder, ".", sizeof folder);
    else if (slash == target) str_assign(folder, "/", sizeof folder);
    else str_assign(folder, target, (size_t)(slash - target) + 1);
    const char *base = slash == NULL ? target : slash + 1;
    DIR *dir = opendir(folder);
    if (dir == NULL) return;
    for (struct dirent *entry = readdir(dir); entry != NULL; entry = readdir(dir)) {
        long pid = (long)winpath_copyOwner(entry->d_name, base);
        if (pid <= 0) continue;
        if (pid == (long)getpid() || (kill((pid_t)pid, 0) != 0 && errno == ESRCH)) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
}

// Writes the open file in over the existing target in place, for a folder
// where the account may write files but not create them; true or false with
// errno set. A reader may see half a file here, as with no temporary there
// is no other way.
static bool copyInPlace(int in, const char *target, mode_t mode)
{
    int out = openRegular(target, O_WRONLY | O_TRUNC, 0);
    if (out < 0) return false;
    bool ok = copyBytes(in, out);
    int error = errno;
    (void)fchmod(out, mode);  // the bits stay as they were when they cannot be set
    if (close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}

bool win_copyFile(const char *src, const char *dst, unsigned long *errorCode)
{
    char nativeSrc[WIN_NATIVE_SIZE];
    char nativeDst[WIN_NATIVE_SIZE];
    char temp[WIN_NATIVE_SIZE];
    struct stat st;
    struct stat old;
    *errorCode = 0;
    if (!mapPath(src, nativeSrc, sizeof nativeSrc) || !mapPath(dst, nativeDst, sizeof nativeDst)) {
        *errorCode = (unsigned long)errno;
        return false;
    }
    int in = openRegular(nativeSrc, O_RDONLY, 0);
    if (in < 0 || fstat(in, &st) != 0) {
        *errorCode = (unsigned long)errno;
        if (in >= 0) close(in);
        return false;
    }
    // A copy onto itself would empty the file; it is refused before anything
    // is written, as Windows refuses it.
    if (stat(nativeDst, &old) == 0 && old.st_dev == st.st_dev && old.st_ino == st.st_ino) {
        close(in);
        *errorCode = EINVAL;
        return false;
    }
    removeStaleCopies(nativeDst);
    // The copy is written beside the target under a name that tells whose it
    // is, then renamed over the target: a reader sees the old file or the
    // whole new one.
    int wanted = str_format(temp, sizeof temp, "%s.%ld.tmp", nativeDst, (long)getpid());
    int out = -1;
    if (wanted <= 0 || (size_t)wanted >= sizeof temp) errno = ENAMETOOLONG;
    else out = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        int error = errno;
        bool ok = copyInPlace(in, nativeDst, st.st_mode & 07777);
        if (!ok) *errorCode = (unsigned long)(errno == ENOENT ? error : errno);
        close(in);
        return ok;
    }
    bool ok = copyBytes(in, out) && fchmod(out, st.st_mode & 07777) == 0;
    int error = errno;
    if (close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    close(in);
    if (ok && rename(temp, nativeDst) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp);
        *errorCode = (unsigned long)error;
    }
    return ok;
}

char *win_getSystemMessage(unsigned long errorCode)
{
    return strdup(strerror((int)errorCode));
}

void win_freeSystemMessage(char *message)
{
    free(message);
}
