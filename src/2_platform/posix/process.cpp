// windows_helper, POSIX backend, processes: the raw command line rebuilt
// from argv, the start of the interpreter from a command line in a folder
// (with the signal dispositions the launcher received), its wait and exit
// code, the process id and pauses.
#include "windows_helper.h"
#include "windows_helper_tools.h"
#include "posix_paths.h"
#include "windows_helper_messages.h"

#include "autoit3_words.h"
#include "vekstringlib.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// The signal dispositions this process was started with, where it changes
// them for itself: a child gets them back before its program starts.
static bool pipeReceivedDefault = true;

static bool childReceivedIgnored = false;

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

// Makes room in a growing heap buffer for n more characters and a
// terminator; false when memory runs out.
static bool makeRoom(char **buf, size_t len, size_t *cap, size_t n)
{
    if (len + n + 1 <= *cap) return true;
    size_t next = (*cap == 0) ? 256 : *cap;
    while (len + n + 1 > next) next *= 2;
    char *grown = (char *)realloc(*buf, next);
    if (grown == NULL) return false;
    *buf = grown;
    *cap = next;
    return true;
}

// Appends text to a growing heap buffer; false when memory runs out.
static bool appendText(char **buf, size_t *len, size_t *cap, const char *text, size_t n)
{
    if (!makeRoom(buf, *len, cap, n)) return false;
    memcpy(*buf + *len, text, n);
    *len += n;
    (*buf)[*len] = '\0';
    return true;
}

// Appends one argument as a Windows caller writes it on a command line: bare
// when it is not empty and holds no blank, tab or double quote, otherwise
// quoted with inner quotes doubled. (The launcher also quotes line feeds and
// vertical tabs; the splitting reads both forms back the same.) False when
// memory runs out.
static bool appendArgument(char **buf, size_t *len, size_t *cap, const char *arg)
{
    if (*len > 0 && !appendText(buf, len, cap, " ", 1)) return false;
    if (arg[0] != '\0' && strpbrk(arg, " \t\"") == NULL) return appendText(buf, len, cap, arg, strlen(arg));
    size_t length = autoit3_quotedLength(arg);
    if (!makeRoom(buf, *len, cap, length)) return false;
    autoit3_writeQuotedWord(*buf + *len, length + 1, arg);
    *len += length;
    return true;
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
    while (ok && (got = fread(chunk, 1, sizeof chunk, f)) > 0) {
        ok = appendText(&raw, &rawLen, &rawCap, chunk, got);
    }
    fclose(f);

    char *line = NULL;
    size_t len = 0, cap = 0;
    ok = ok && appendText(&line, &len, &cap, "", 0);
    // An empty argument is written as "", which the splitting drops, as it
    // does on a Windows command line.
    for (size_t i = 0; ok && i < rawLen; i += strlen(raw + i) + 1) {
        ok = appendArgument(&line, &len, &cap, raw + i);
    }
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
static void execChild(char *const *argv, const char *program, const char *folder, int errorPipe,
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
        execChild(argv, program, folder, pipeFds[1], maxFd, NULL);
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
        execChild(argv, program, folder, -1, maxFd, &childError);
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
static pid_t startProgram(const char *command, const char *folder, bool detach, int *error)
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
static int waitChild(pid_t pid, char *errorText)
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
static void prepareStart(char *errorText)
{
    errorText[0] = '\0';
    fflush(stdout);
    fflush(stderr);
}

// Writes the message of a start that failed with error into errorText; 1.
static int startFailed(char *errorText, int error)
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
    prepareStart(errorText);
    pid_t pid = startProgram(command, folder, !wait, &error);
    if (pid < 0) return startFailed(errorText, error);
    if (!wait) return 0;
    forwardStops(pid, true);
    int code = waitChild(pid, errorText);
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
    return fromPosix(native, buf, size);
}
