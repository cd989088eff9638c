// windows_helper, POSIX backend, paths: Windows-form paths mapped to POSIX
// form and back, exactly as Wine presents a Linux file system (drive Z: is the
// root), names found in another letter case as Windows and Wine find them, and
// the path questions of the door (existence, folders, joins).
#include "windows_helper.h"
#include "windows_helper_tools.h"
#include "posix_paths.h"

#include "vekstringlib.h"
#include "winpath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Maps a Windows-form path to POSIX form into out; false (errno ENOENT or
// ENAMETOOLONG) for another drive, a UNC path, or a result that does not fit.
bool toPosix(const char *path, char *out, size_t size)
{
    const char *rest = path;
    size_t n = 0;
    if (winpath_hasDrive(path)) {
        if (path[0] != 'Z' && path[0] != 'z') {
            errno = ENOENT;
            return false;
        }
        rest = path + 2;
        if (size < 2) {
            errno = ENAMETOOLONG;
            return false;
        }
        out[n++] = '/';
        if (*rest == '\\' || *rest == '/') rest++;
    } else if (winpath_isUnc(path)) {
        errno = ENOENT;
        return false;
    }
    for (; *rest != '\0'; rest++) {
        if (n + 1 >= size) {
            errno = ENAMETOOLONG;
            return false;
        }
        out[n++] = (*rest == '\\') ? '/' : *rest;
    }
    if (n >= size) {
        errno = ENAMETOOLONG;
        return false;
    }
    out[n] = '\0';
    return true;
}

// Writes the Windows form of an absolute POSIX path into out; false when it
// does not fit.
bool fromPosix(const char *path, char *out, size_t size)
{
    int wanted = str_format(out, size, "Z:%s", path);
    if (wanted < 0 || (size_t)wanted >= size) return false;
    for (char *p = out; *p != '\0'; p++) {
        if (*p == '/') *p = '\\';
    }
    return true;
}

// Looks in the folder of the component that starts at path[start] for an
// entry that differs from it only in letter case and writes its name over
// the component (ASCII folding keeps the length). Between several such
// entries the first in byte order wins, so the choice never depends on the
// order the folder lists them in. False when there is none.
static bool findOtherCase(char *path, size_t start)
{
    char folder[WIN_NATIVE_SIZE];
    if (start == 0) {
        str_assign(folder, ".", sizeof folder);
    } else {
        str_assign(folder, path, start < sizeof folder ? start + (start == 1) : sizeof folder);
    }
    DIR *dir = opendir(folder);
    if (dir == NULL) return false;
    char best[256];
    best[0] = '\0';
    for (struct dirent *entry = readdir(dir); entry != NULL; entry = readdir(dir)) {
        if (str_equalsIgnoringCase(entry->d_name, path + start) &&
            (best[0] == '\0' || strcmp(entry->d_name, best) < 0)) {
            str_assign(best, entry->d_name, sizeof best);
        }
    }
    closedir(dir);
    if (best[0] == '\0') return false;
    memcpy(path + start, best, strlen(best));
    return true;
}

// Gives each missing component of a POSIX path the letter case of an entry of
// its folder that differs from it only in case, from the deepest folder that
// exists as given down; a name that exists as given is kept, and where
// nothing matches the rest of the path keeps the case given (a file about to
// be created). knownMissing: the path as given was just found missing.
void matchLetterCase(char *path, bool knownMissing)
{
    struct stat st;
    if (!knownMissing && (lstat(path, &st) == 0 || errno != ENOENT)) return;
    // Back to the deepest folder that exists (usually the path's own); the
    // component after it is known to be missing.
    size_t start = strlen(path);
    bool missing = true;
    for (;;) {
        while (start > 0 && path[start - 1] != '/') start--;
        if (start <= 1) break;
        path[start - 1] = '\0';
        bool exists = lstat(path, &st) == 0;
        int error = errno;
        path[start - 1] = '/';
        if (exists) break;
        if (error != ENOENT) return;
        start--;
    }
    for (;;) {
        size_t end = start;
        while (path[end] != '\0' && path[end] != '/') end++;
        char after = path[end];
        path[end] = '\0';
        bool found = end == start || (!missing && lstat(path, &st) == 0) ||
                     ((missing || errno == ENOENT) && findOtherCase(path, start));
        path[end] = after;
        if (!found || after == '\0') return;
        start = end + 1;
        missing = false;
    }
}

// Maps a Windows-form path to the POSIX path of what Windows would open under
// it: its letter case matched to existing names. False as toPosix.
bool mapPath(const char *path, char *out, size_t size)
{
    if (!toPosix(path, out, size)) return false;
    matchLetterCase(out, false);
    return true;
}

// stat of what a Windows-form path names, its letter case matched when the
// name as given is missing; the POSIX path in native (WIN_NATIVE_SIZE).
// False when it cannot be mapped or does not exist.
bool statFound(const char *path, char *native, struct stat *st)
{
    if (path[0] == '\0' || !toPosix(path, native, WIN_NATIVE_SIZE)) return false;
    if (stat(native, st) == 0) return true;
    if (errno != ENOENT) return false;
    matchLetterCase(native, true);
    return stat(native, st) == 0;
}

// Opens a POSIX path that must be a regular file, without ever blocking on a
// FIFO or device; the descriptor is closed at exec. -1 with errno set (EISDIR
// for a folder, EINVAL for another special file) when it is not one.
int openRegular(const char *native, int flags, mode_t mode)
{
    struct stat st;
    int fd = open(native, flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    bool statted = fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        int error = statted && S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = error;
        return -1;
    }
    // O_NONBLOCK changes nothing for a regular file, so it may stay.
    return fd;
}

bool win_fileExists(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    struct stat st;
    return statFound(path, native, &st);
}

bool win_pathIsDirectory(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    struct stat st;
    return statFound(path, native, &st) && S_ISDIR(st.st_mode);
}

bool win_checkAndCreatePath(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    struct stat st;
    if (!mapPath(path, native, sizeof native)) return false;
    if (stat(native, &st) == 0 && S_ISDIR(st.st_mode)) return true;
    return mkdir(native, 0777) == 0;
}

char *win_concatPaths(const char *dir, const char *file)
{
    char joined[VEK_PATH_SIZE];
    if (!winpath_combine(joined, dir, file)) return NULL;
    return strdup(joined);
}

bool win_combinePath(char *dest, const char *dir, const char *file)
{
    return winpath_combine(dest, dir, file);
}

bool win_toNativePath(const char *path, char *out, size_t size)
{
    // The runtime's functions would block on a FIFO or read a device without
    // end: an existing file that is neither regular nor a folder is refused.
    struct stat st;
    if (!mapPath(path, out, size)) return false;
    if (stat(out, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return true;
}
