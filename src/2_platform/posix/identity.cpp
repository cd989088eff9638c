// windows_helper, POSIX backend, identity: the launcher's own path, its
// roaming application-data folder, and the computer and user names, answered
// as Windows and Wine answer them.
#include "windows_helper.h"
#include "posix_paths.h"
#include "windows_helper_messages.h"

#include "vekstringlib.h"
#include "winpath.h"

#include <cstdlib>
#include <cstring>

#include <pwd.h>
#include <sys/auxv.h>
#include <unistd.h>

enum {
    WIN_COMPUTER_NAME_SIZE = 16,   // 15 characters, as on Windows
    WIN_USER_NAME_SIZE = 257       // 256 characters, as on Windows
};

static char computerName[WIN_COMPUTER_NAME_SIZE];

static char userName[WIN_USER_NAME_SIZE];

// True when a POSIX name holds a character that no Windows name can hold, so
// that its Windows form would name another path or split a command line.
static bool hasNonWindowsCharacter(const char *path)
{
    for (const char *p = path; *p != '\0'; p++) {
        if ((unsigned char)*p < 32 || strchr("\"*:<>?|\\", *p) != NULL) return true;
    }
    return false;
}

// Writes into out (WIN_NATIVE_SIZE) the absolute form of a POSIX path, taken
// against the current folder when it is relative, with its empty and "."
// segments dropped and each ".." taking off the segment before it, as Windows
// makes a path whole; false when the current folder cannot be had or the
// result does not fit.
static bool absolutePath(const char *path, char *out)
{
    char whole[WIN_NATIVE_SIZE];
    char start[WIN_NATIVE_SIZE];
    if (path[0] != '/' && getcwd(start, sizeof start) == NULL) return false;
    int wanted = str_format(whole, sizeof whole, "%s/%s", path[0] == '/' ? "" : start, path);
    if (wanted < 0 || (size_t)wanted >= sizeof whole) return false;
    size_t n = 0;
    for (char *segment = strtok(whole, "/"); segment != NULL; segment = strtok(NULL, "/")) {
        if (strcmp(segment, ".") == 0) continue;
        if (strcmp(segment, "..") == 0) {
            while (n > 0 && out[n - 1] != '/') n--;
            if (n > 0) n--;
            continue;
        }
        wanted = str_format(out + n, WIN_NATIVE_SIZE - n, "/%s", segment);
        if (wanted < 0 || (size_t)wanted >= WIN_NATIVE_SIZE - n) return false;
        n += (size_t)wanted;
    }
    str_assign(out + n, n == 0 ? "/" : "", WIN_NATIVE_SIZE - n);
    return true;
}

void win_getExeInfo(char *exePath, char *exeFolder, char *exeBaseName, char *errorText)
{
    char native[WIN_NATIVE_SIZE];
    errorText[0] = '\0';
    // The path the program was started by, as Windows and Wine give it: a
    // launcher started through a symbolic link is the link, beside its own
    // script, not the program the link points to. A path cut to fit would
    // name another folder and another script; a path no Windows name can hold
    // would be read back as another one.
    const char *started = (const char *)getauxval(AT_EXECFN);
    if (started == NULL || !absolutePath(started, native) || hasNonWindowsCharacter(native) ||
        !fromPosix(native, exePath, VEK_PATH_SIZE)) {
        str_assign(errorText, WIN_MSG_NO_OWN_PATH, VEK_TEXT_SIZE);
        return;
    }
    str_assign(exeFolder, exePath, VEK_PATH_SIZE);
    winpath_removeFileSpec(exeFolder);
    str_assign(exeBaseName, winpath_findFileName(exePath), VEK_PATH_SIZE);
    winpath_removeExtension(exeBaseName);
}

char *win_getAppDataPath(void)
{
    char native[WIN_NATIVE_SIZE];
    char path[WIN_NATIVE_SIZE];
    const char *xdg = getenv("XDG_DATA_HOME");
    const char *home = getenv("HOME");
    if (xdg != NULL && xdg[0] == '/') {
        str_assign(native, xdg, sizeof native);
    } else if (home != NULL && home[0] == '/') {
        int wanted = str_format(native, sizeof native, "%s/.local/share", home);
        if (wanted < 0 || (size_t)wanted >= sizeof native) return NULL;
    } else {
        return NULL;
    }
    if (!fromPosix(native, path, sizeof path)) return NULL;
    size_t len = strlen(path);
    if (len > 0 && path[len - 1] == '\\') path[len - 1] = '\0';
    return strdup(path);
}

const char *win_getComputerName(void)
{
    char host[256];
    if (gethostname(host, sizeof host) != 0) return NULL;
    host[sizeof host - 1] = '\0';
    char *dot = strchr(host, '.');
    if (dot) *dot = '\0';
    if (host[0] == '\0') return NULL;
    // A longer host name gives its first 15 characters, as Windows and Wine
    // cut it.
    host[sizeof computerName - 1] = '\0';
    for (size_t i = 0; host[i] != '\0'; i++) {
        computerName[i] = (host[i] >= 'a' && host[i] <= 'z') ? (char)(host[i] - 'a' + 'A') : host[i];
        computerName[i + 1] = '\0';
    }
    return computerName;
}

const char *win_getCurrentUserName(void)
{
    struct passwd *pw = getpwuid(geteuid());
    if (pw == NULL || pw->pw_name == NULL || strlen(pw->pw_name) >= sizeof userName) return NULL;
    str_assign(userName, pw->pw_name, sizeof userName);
    return userName;
}
