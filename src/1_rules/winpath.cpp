// winpath: the Windows shell's rules for paths in Windows form, done by hand
// so that the POSIX backend joins, cuts and names paths exactly as Wine's
// shlwapi does on Windows. Pure rules on strings: no system calls.
#include "winpath.h"

#include <cstring>

#include "vekstringlib.h"

// True for a path that begins with a drive designator ("X:").
bool winpath_hasDrive(const char *path)
{
    return path[0] != '\0' && path[1] == ':';
}

// True when the path is relative: neither rooted ("\x") nor on a drive.
static bool isRelative(const char *path)
{
    return !(path[0] == '\\' || winpath_hasDrive(path));
}

// True for a UNC path ("\\server\share").
bool winpath_isUnc(const char *path)
{
    return path[0] == '\\' && path[1] == '\\';
}

// Removes the last component and the backslash before it; a root keeps its
// backslash ("Z:\lirmak.exe" gives "Z:\"). A drive designator and the
// character after it are never taken apart. False when nothing was removed.
bool winpath_removeFileSpec(char *path)
{
    char *p = path;
    char *cut = path;
    if (*p == '\\') cut = ++p;
    if (*p == '\\') cut = ++p;
    while (*p != '\0') {
        if (*p == '\\') {
            cut = p;
        } else if (*p == ':') {
            cut = ++p;
            if (*p == '\\') cut++;
            if (*p == '\0') break;
        }
        p++;
    }
    if (*cut == '\0') return false;
    *cut = '\0';
    return true;
}

// True for a root as the shell knows one: "\", "X:\", or "\\" followed by
// at most one more backslash ("\\server", "\\server\share").
static bool isRoot(const char *path)
{
    if (path[0] == '\\') {
        if (path[1] == '\0') return true;
        if (path[1] != '\\') return false;
        const char *slash = strchr(path + 2, '\\');
        return slash == NULL || strchr(slash + 1, '\\') == NULL;
    }
    return path[0] != '\0' && path[1] == ':' && path[2] == '\\' && path[3] == '\0';
}

// Cuts a path to its root before a rooted file part is joined to it, by
// taking off its last component until a root is left: "X:\", "\",
// "\\server\share"; a path that never reaches one ("logs", "X:") stops where no
// component is left to take off.
static void stripToRoot(char *path)
{
    while (!isRoot(path)) {
        if (!winpath_removeFileSpec(path)) return;
    }
}

// True when dst[0..n) is "\\server\" : a UNC server with only its backslash
// after it, which ".." must not take away.
static bool isUncServerOnly(const char *dst, size_t n)
{
    if (n < 3 || dst[0] != '\\' || dst[1] != '\\') return false;
    for (size_t i = 2; i + 1 < n; i++) {
        if (dst[i] == '\\') return false;
    }
    return dst[n - 1] == '\\';
}

// Where the output of a canonicalization goes back to when a ".." follows
// the backslash that ends dst[0..n): the segment before it is dropped, but
// not a drive root, the leading "\\" or a UNC server. The answer points at the
// backslash before the dropped segment (0 when none is left).
static size_t backUpOneSegment(const char *dst, size_t n)
{
    size_t at = n;
    if (n > 1 && (dst[n - 2] != '\\' || n > 2)) {
        if (dst[n - 2] == ':' && (n > 3 || (n == 3 && dst[0] == ':'))) {
            // Past a drive designator within the path: back to just after the
            // backslash before it, or to the start.
            at = n - 2;
            while (at > 0 && dst[at] != '\\') at--;
            at = dst[at] == '\\' ? at + 1 : 0;
        } else if (dst[n - 2] != ':' && !isUncServerOnly(dst, n)) {
            at = n - 2;
        }
    }
    while (at > 0 && dst[at] != '\\') at--;
    return at;
}

// Canonicalizes src into dst (at least as long as src plus 2) by the shell's
// rules: ".\" after a separator goes; ".." after a backslash takes back the
// segment before it, and one that would climb above the start leaves a single
// "\" (a leading ".." of a relative path, with nothing before it, stays as it
// is); a bare drive gets its backslash and an empty path becomes "\".
static void canonicalize(char *dst, const char *src)
{
    const char *start = src;
    size_t n = 0;
    if (*src == '\0') {
        str_assign(dst, "\\", VEK_PATH_SIZE);
        return;
    }
    if (*src == '\\') {
        dst[n++] = *src++;
    } else if (src[1] == ':') {
        dst[n++] = *src++;
        dst[n++] = *src++;
        if (*src == '\\') dst[n++] = *src++;
    }
    while (*src != '\0') {
        bool afterSeparator = src == start || src[-1] == '\\' || src[-1] == ':';
        if (src[0] == '.' && src[1] == '\\' && afterSeparator) {
            src += 2;
        } else if (src[0] == '.' && src[1] == '.' && n > 0 && dst[n - 1] == '\\') {
            dst[n] = '\0';
            n = backUpOneSegment(dst, n);
            if (n == 0) {
                // Nothing left to take back: the result restarts at "\" and
                // the character after the ".." goes with it.
                dst[n++] = '\\';
                if (src[2] != '\0') src++;
            }
            src += 2;
        } else {
            dst[n++] = *src++;
        }
    }
    if (n == 2 && dst[1] == ':') dst[n++] = '\\';
    dst[n] = '\0';
}

// Joins dir and file by the shell's combining rules into dest (VEK_PATH_SIZE):
// a file part that is absolute, or either part empty, stands alone; a file
// part rooted at "\" keeps only the root of dir; otherwise the two are joined
// with one backslash. Then the result is canonicalized. False (dest empty)
// when a part or the joined text would not fit.
bool winpath_combine(char *dest, const char *dir, const char *file)
{
    char tmp[VEK_PATH_SIZE + 1];
    bool useBoth = false;
    bool rootOnly = false;
    dest[0] = '\0';
    if (dir == NULL && file == NULL) return false;
    if ((dir != NULL && strlen(dir) >= VEK_PATH_SIZE) || (file != NULL && strlen(file) >= VEK_PATH_SIZE)) {
        return false;
    }
    if ((file == NULL || file[0] == '\0') && dir != NULL) {
        str_assign(tmp, dir, VEK_PATH_SIZE);
    } else if (dir == NULL || dir[0] == '\0' || !isRelative(file)) {
        if (dir == NULL || dir[0] == '\0' || file[0] != '\\' || winpath_isUnc(file)) {
            str_assign(tmp, file, VEK_PATH_SIZE);
        } else {
            useBoth = rootOnly = true;
        }
    } else {
        useBoth = true;
    }
    if (useBoth) {
        str_assign(tmp, dir, VEK_PATH_SIZE);
        if (rootOnly) {
            stripToRoot(tmp);
            file++;
        }
        size_t len = strlen(tmp);
        if (len > 0 && tmp[len - 1] != '\\') {
            tmp[len++] = '\\';
            tmp[len] = '\0';
        }
        if (len + strlen(file) >= VEK_PATH_SIZE) return false;
        memcpy(tmp + len, file, strlen(file) + 1);
    }
    canonicalize(dest, tmp);
    return true;
}

// Pointer to the last component of a path (after the last "\", "/" or ":"
// that is followed by something other than a separator).
const char *winpath_findFileName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p != '\0'; p++) {
        bool separator = *p == '\\' || *p == '/' || *p == ':';
        if (separator && p[1] != '\0' && p[1] != '\\' && p[1] != '/') name = p + 1;
    }
    return name;
}

// Removes the last extension of a file name ("lirmak.old.exe" -> "lirmak.old").
void winpath_removeExtension(char *path)
{
    char *dot = NULL;
    for (char *p = path; *p != '\0'; p++) {
        if (*p == '\\' || *p == ' ') dot = NULL;
        else if (*p == '.') dot = p;
    }
    if (dot) *dot = '\0';
}

unsigned long winpath_copyOwner(const char *name, const char *base)
{
    size_t n = strlen(base);
    if (strlen(name) <= n || name[n] != '.') return 0;
    char head[VEK_PATH_SIZE];
    if (n >= sizeof head) return 0;
    str_assign(head, name, n + 1);
    if (!str_equalsIgnoringCase(head, base)) return 0;
    unsigned long pid = 0;
    const char *p = name + n + 1;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (pid > 99999999UL) return 0;
        pid = pid * 10 + (unsigned long)(*p - '0');
    }
    return strcmp(p, ".tmp") == 0 ? pid : 0;
}
