// windows_helper, POSIX backend: answers a Linux process's questions the way
// Windows answers a Windows process. Paths come and go in Windows form; drive
// Z: is the file-system root, exactly as Wine presents a Linux file system,
// and each path is mapped to POSIX form just before the system call.
#include "windows_helper.h"
#include "windows_helper_messages.h"

#include "autoit3_words.h"
#include "vekstringlib.h"
#include "winpath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum {
    WIN_COMPUTER_NAME_SIZE = 16,   // 15 characters, as on Windows
    WIN_USER_NAME_SIZE = 257       // 256 characters, as on Windows
};

static char computerName[WIN_COMPUTER_NAME_SIZE];
static char userName[WIN_USER_NAME_SIZE];

struct win_file {
    int fd;
};

// The signal dispositions this process was started with, where it changes
// them for itself: a child gets them back before its program starts.
static bool pipeReceivedDefault = true;
static bool childReceivedIgnored = false;

// --- Mapping between Windows form and POSIX form --------------------------------

// Maps a Windows-form path to POSIX form into out; false (errno ENOENT or
// ENAMETOOLONG) for another drive, a UNC path, or a result that does not fit.
static bool win_toPosix(const char *path, char *out, size_t size)
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
static bool win_fromPosix(const char *path, char *out, size_t size)
{
    int wanted = str_format(out, size, "Z:%s", path);
    if (wanted < 0 || (size_t)wanted >= size) return false;
    for (char *p = out; *p != '\0'; p++) {
        if (*p == '/') *p = '\\';
    }
    return true;
}

enum { WIN_NATIVE_SIZE = 4096 };

// --- Letter case, as Windows and Wine find names ------------------------------------

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
static void matchLetterCase(char *path, bool knownMissing)
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
// it: its letter case matched to existing names. False as win_toPosix.
static bool mapPath(const char *path, char *out, size_t size)
{
    if (!win_toPosix(path, out, size)) return false;
    matchLetterCase(out, false);
    return true;
}

// stat of what a Windows-form path names, its letter case matched when the
// name as given is missing; the POSIX path in native (WIN_NATIVE_SIZE).
// False when it cannot be mapped or does not exist.
static bool statFound(const char *path, char *native, struct stat *st)
{
    if (path[0] == '\0' || !win_toPosix(path, native, WIN_NATIVE_SIZE)) return false;
    if (stat(native, st) == 0) return true;
    if (errno != ENOENT) return false;
    matchLetterCase(native, true);
    return stat(native, st) == 0;
}

// Opens a POSIX path that must be a regular file, without ever blocking on a
// FIFO or device; the descriptor is closed at exec. -1 with errno set (EISDIR
// for a folder, EINVAL for another special file) when it is not one.
static int openRegular(const char *native, int flags, mode_t mode)
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

// --- Identity, paths and folders ----------------------------------------------

void win_initProcess(void)
{
    // A write to a closed pipe fails with EPIPE, as on Windows, instead of
    // ending the launcher; a child must be collectable even when SIGCHLD came
    // in ignored. What came in is kept for the child.
    struct sigaction wanted;
    struct sigaction old;
    memset(&wanted, 0, sizeof wanted);
    sigemptyset(&wanted.sa_mask);
    wanted.sa_handler = SIG_IGN;
    if (sigaction(SIGPIPE, &wanted, &old) == 0) pipeReceivedDefault = old.sa_handler != SIG_IGN;
    wanted.sa_handler = SIG_DFL;
    if (sigaction(SIGCHLD, &wanted, &old) == 0) childReceivedIgnored = old.sa_handler == SIG_IGN;
}

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
        !win_fromPosix(native, exePath, VEK_PATH_SIZE)) {
        str_assign(errorText, WIN_MSG_NO_OWN_PATH, VEK_TEXT_SIZE);
        return;
    }
    str_assign(exeFolder, exePath, VEK_PATH_SIZE);
    winpath_removeFileSpec(exeFolder);
    str_assign(exeBaseName, winpath_findFileName(exePath), VEK_PATH_SIZE);
    winpath_removeExtension(exeBaseName);
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
    if (!win_fromPosix(native, path, sizeof path)) return NULL;
    size_t len = strlen(path);
    if (len > 0 && path[len - 1] == '\\') path[len - 1] = '\0';
    return strdup(path);
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

bool win_hasWritePermissionInDirectory(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    struct stat st;
    if (!mapPath(path, native, sizeof native) || stat(native, &st) != 0) {
        fputs(WIN_MSG_NO_FOLDER_SECURITY, stderr);
        return false;
    }
    return access(native, R_OK | W_OK | X_OK) == 0;
}

bool win_hasWritePermission(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    if (!mapPath(path, native, sizeof native)) return false;
    return access(native, W_OK) == 0;
}

// --- Processes -----------------------------------------------------------------

// Appends text to a growing heap buffer; false when memory runs out.
static bool win_append(char **buf, size_t *len, size_t *cap, const char *text, size_t n)
{
    if (*len + n + 1 > *cap) {
        size_t next = (*cap == 0) ? 256 : *cap;
        while (*len + n + 1 > next) next *= 2;
        char *grown = (char *)realloc(*buf, next);
        if (grown == NULL) return false;
        *buf = grown;
        *cap = next;
    }
    memcpy(*buf + *len, text, n);
    *len += n;
    (*buf)[*len] = '\0';
    return true;
}

// Appends one argument as Windows would see it on a command line: bare when it
// is not empty and holds no blank, tab or double quote, otherwise quoted with
// inner quotes doubled. False when memory runs out.
static bool win_appendArgument(char **buf, size_t *len, size_t *cap, const char *arg)
{
    if (*len > 0 && !win_append(buf, len, cap, " ", 1)) return false;
    if (arg[0] != '\0' && strpbrk(arg, " \t\"") == NULL) return win_append(buf, len, cap, arg, strlen(arg));
    if (!win_append(buf, len, cap, "\"", 1)) return false;
    for (const char *p = arg; *p != '\0'; p++) {
        if (!win_append(buf, len, cap, p, 1)) return false;
        if (*p == '"' && !win_append(buf, len, cap, "\"", 1)) return false;
    }
    return win_append(buf, len, cap, "\"", 1);
}

const char *win_getCommandLine(void)
{
    static char *commandLine = NULL;
    static char empty[1] = "";
    if (commandLine != NULL) return commandLine;

    FILE *f = fopen("/proc/self/cmdline", "rbe");
    if (f == NULL) return empty;
    char *raw = NULL;
    size_t rawLen = 0, rawCap = 0;
    char chunk[4096];
    size_t got;
    bool ok = true;
    while (ok && (got = fread(chunk, 1, sizeof chunk, f)) > 0) ok = win_append(&raw, &rawLen, &rawCap, chunk, got);
    fclose(f);

    char *line = NULL;
    size_t len = 0, cap = 0;
    ok = ok && win_append(&line, &len, &cap, "", 0);
    // An empty argument is written as "", which the splitting drops, as it
    // does on a Windows command line.
    for (size_t i = 0; ok && i < rawLen; i += strlen(raw + i) + 1) ok = win_appendArgument(&line, &len, &cap, raw + i);
    free(raw);
    if (!ok) {
        free(line);
        return empty;
    }
    commandLine = line;
    return commandLine;
}

// In the child: the signal dispositions the launcher was started with, no
// descriptor but the standard streams, the working folder, then the program.
// Reports errno in *errorSlot (memory shared with the launcher) or, without
// one, on the pipe if it fails.
static void win_execChild(char *const *argv, const char *program, const char *folder, int errorPipe,
                          int maxFd, volatile int *errorSlot)
{
    if (pipeReceivedDefault) signal(SIGPIPE, SIG_DFL);
    if (childReceivedIgnored) signal(SIGCHLD, SIG_IGN);
    // Nothing but the standard streams reaches the program (the error pipe
    // closes itself at exec). close_range does it in two calls; without it,
    // one call per possible descriptor.
    bool closed = errorPipe < 0 ? close_range(3, ~0u, 0) == 0
                                : (errorPipe <= 3 || close_range(3, (unsigned)errorPipe - 1, 0) == 0) &&
                                      close_range((unsigned)errorPipe + 1, ~0u, 0) == 0;
    if (!closed) {
        for (int fd = 3; fd < maxFd; fd++) {
            if (fd != errorPipe) close(fd);
        }
    }
    int error = 0;
    if (chdir(folder) != 0) {
        error = errno;
    } else {
        execv(program, argv);
        error = errno;
    }
    if (errorSlot != NULL) {
        *errorSlot = error;
    } else {
        ssize_t ignored = write(errorPipe, &error, sizeof error);
        (void)ignored;
    }
    _exit(127);
}

// Starts program through a copy of this process: for a detached child (started
// through an intermediate process, so no zombie is left behind; it is not
// bound to the launcher's end).
// Returns the child's pid (0 when detached) or -1 with errno in *error.
static pid_t forkProgram(char *const *argv, const char *program, const char *folder, bool detach, int *error)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = errno;
        return -1;
    }
    long openMax = sysconf(_SC_OPEN_MAX);
    int maxFd = (openMax > 0 && openMax < 65536) ? (int)openMax : 65536;

    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        if (detach) {
            pid_t grandchild = fork();
            if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        }
        win_execChild(argv, program, folder, pipeFds[1], maxFd, NULL);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        *error = errno;
        close(pipeFds[0]);
        return -1;
    }
    if (detach) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            *error = EAGAIN;
            close(pipeFds[0]);
            return -1;
        }
    }
    int childError = 0;
    ssize_t got;
    while ((got = read(pipeFds[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    close(pipeFds[0]);
    if (got == (ssize_t)sizeof childError) {
        if (!detach) {
            while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
            }
        }
        *error = childError;
        return -1;
    }
    return detach ? 0 : pid;
}

// Starts program for a launcher that waits, as cheaply as a spawn (the child
// borrows this process's memory until its exec), but with what a spawn cannot
// give: the child is killed when the launcher ends, however it ends, and a
// launcher already gone when the child gets there ends the child at once.
// Returns the child's pid or -1 with the system error number in *error.
static pid_t startBound(char *const *argv, const char *program, const char *folder, int *error)
{
    long openMax = sysconf(_SC_OPEN_MAX);
    int maxFd = (openMax > 0 && openMax < 65536) ? (int)openMax : 65536;
    pid_t launcher = getpid();
    volatile int childError = 0;
    pid_t pid = vfork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != launcher) _exit(127);
        win_execChild(argv, program, folder, -1, maxFd, &childError);
    }
    if (pid < 0) {
        *error = errno;
        return -1;
    }
    if (childError != 0) {
        while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
        }
        *error = childError;
        return -1;
    }
    return pid;
}

// Starts the command in folder: the first word of the split command line is
// the program, the others its arguments. Returns the child's pid (0 when
// detached) or -1 with the system error number in *error.
static pid_t win_spawn(const char *command, const char *folder, bool detach, int *error)
{
    char nativeFolder[WIN_NATIVE_SIZE];
    char program[WIN_NATIVE_SIZE];
    char cwd[WIN_NATIVE_SIZE];
    *error = 0;
    if (!mapPath(folder, nativeFolder, sizeof nativeFolder)) {
        *error = errno;
        return -1;
    }
    int words = 0;
    char **argv = autoit3_splitAll(command, &words);
    if (argv == NULL || words == 0) {
        autoit3_freeWords(argv);
        *error = ENOENT;
        return -1;
    }
    // A relative program is found from the launcher's folder, not the child's.
    bool mapped = mapPath(argv[0], program, sizeof program);
    if (mapped && program[0] != '/' && getcwd(cwd, sizeof cwd) != NULL) {
        char relative[WIN_NATIVE_SIZE];
        str_assign(relative, program, sizeof relative);
        int wanted = str_format(program, sizeof program, "%s/%s", cwd, relative);
        mapped = wanted > 0 && (size_t)wanted < sizeof program;
    }
    if (!mapped) {
        *error = ENOENT;
        autoit3_freeWords(argv);
        return -1;
    }
    pid_t pid;
    if (detach) {
        pid = forkProgram(argv, program, nativeFolder, detach, error);
    } else {
        pid = startBound(argv, program, nativeFolder, error);
    }
    autoit3_freeWords(argv);
    return pid;
}

// Waits for the child and returns its exit code (128 + N for a child killed by
// signal N), or 1 with a message in errorText when the wait fails.
static int win_waitChild(pid_t pid, char *errorText)
{
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (got < 0) {
        str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_WAIT_FAILED, (unsigned long)errno);
        return 1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_EXIT_CODE_FAILED, (unsigned long)status);
    return 1;
}

// Empties the error text and flushes the standard streams, so that what the
// launcher printed comes before anything the child prints.
static void win_prepareStart(char *errorText)
{
    errorText[0] = '\0';
    fflush(stdout);
    fflush(stderr);
}

// Writes the message of a start that failed with error into errorText; 1.
static int win_startFailed(char *errorText, int error)
{
    str_format(errorText, VEK_TEXT_SIZE, WIN_MSG_START_FAILED, (unsigned long)error);
    return 1;
}

// The signals that stop a process (a service manager, a closed terminal,
// Ctrl+C), passed on to the child while the launcher waits for it.
static const int stopSignals[] = {SIGTERM, SIGHUP, SIGINT};
static struct sigaction stopReceived[sizeof stopSignals / sizeof stopSignals[0]];
static bool stopForwarded[sizeof stopSignals / sizeof stopSignals[0]];
static volatile pid_t stopTarget = 0;

// Handler: sends the signal on to the child waited for; returns nothing.
static void forwardStop(int signalNumber)
{
    int saved = errno;
    if (stopTarget > 0) kill(stopTarget, signalNumber);
    errno = saved;
}

// Passes the stop signals on to child (on) or puts back what came in (off).
// A signal that came in ignored stays ignored; the child started with the
// dispositions the launcher received, since this is done after its start.
static void forwardStops(pid_t child, bool on)
{
    stopTarget = child;
    for (size_t i = 0; i < sizeof stopSignals / sizeof stopSignals[0]; i++) {
        if (!on) {
            if (stopForwarded[i]) sigaction(stopSignals[i], &stopReceived[i], NULL);
            stopForwarded[i] = false;
            continue;
        }
        struct sigaction wanted;
        memset(&wanted, 0, sizeof wanted);
        sigemptyset(&wanted.sa_mask);
        wanted.sa_handler = forwardStop;
        stopForwarded[i] = sigaction(stopSignals[i], NULL, &stopReceived[i]) == 0 &&
                           stopReceived[i].sa_handler != SIG_IGN &&
                           sigaction(stopSignals[i], &wanted, NULL) == 0;
    }
}

int win_executeCommand(char *command, const char *folder, bool wait, char *errorText)
{
    int error = 0;
    win_prepareStart(errorText);
    pid_t pid = win_spawn(command, folder, !wait, &error);
    if (pid < 0) return win_startFailed(errorText, error);
    if (!wait) return 0;
    forwardStops(pid, true);
    int code = win_waitChild(pid, errorText);
    forwardStops(0, false);
    return code;
}

unsigned long win_getProcessId(void)
{
    return (unsigned long)getpid();
}

void win_sleep(unsigned long milliseconds)
{
    struct timespec left;
    left.tv_sec = (time_t)(milliseconds / 1000);
    left.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

bool win_getCurrentDirectory(char *buf, size_t size)
{
    char native[WIN_NATIVE_SIZE];
    if (getcwd(native, sizeof native) == NULL) return false;
    return win_fromPosix(native, buf, size);
}

// --- Files ---------------------------------------------------------------------------

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
static win_file *win_openFile(const char *path, int flags)
{
    char native[WIN_NATIVE_SIZE];
    if (!win_toPosix(path, native, sizeof native)) return NULL;
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
    return win_openFile(path, O_WRONLY | O_APPEND);
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
    if (!mapPath(from, nativeFrom, sizeof nativeFrom) || !win_toPosix(to, nativeTo, sizeof nativeTo)) {
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

bool win_renameNoReplace(const char *from, const char *to)
{
    char nativeFrom[WIN_NATIVE_SIZE];
    char nativeTo[WIN_NATIVE_SIZE];
    if (!mapPath(from, nativeFrom, sizeof nativeFrom) || !mapPath(to, nativeTo, sizeof nativeTo)) {
        return false;
    }
    if (renameat2(AT_FDCWD, nativeFrom, AT_FDCWD, nativeTo, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link fails when the target
    // exists, and the old name goes once the new one is in place.
    if (link(nativeFrom, nativeTo) != 0) return false;
    unlink(nativeFrom);
    return true;
}

bool win_removeFile(const char *path)
{
    char native[WIN_NATIVE_SIZE];
    if (!mapPath(path, native, sizeof native)) return false;
    return unlink(native) == 0;
}

// Copies every byte of in to out; false with errno set on a failure.
static bool win_copyBytes(int in, int out)
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
    bool ok = win_copyBytes(in, out);
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
    bool ok = win_copyBytes(in, out) && fchmod(out, st.st_mode & 07777) == 0;
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
