// The interpreter stand-in, installed as autoit3.exe beside the launcher for
// the tests and the demo. It splits its own raw command line with the
// launcher's rules, reads the script named by its first argument from its
// working folder and runs the script's lines in order:
//   print <text>     the text and a line feed to standard output
//   printerr <text>  the text and a line feed to standard error
//   sleep <ms>       pause
//   report <file>    write what it received (folder, raw command line, words,
//                    open descriptors on POSIX) to file
//   exit <code>      end with the code
//   signal           raise SIGTERM
//   start <script>   start another copy of the stand-in on script, in the same
//                    folder, and go on without waiting for it (it outlives us)
// Blank lines and lines starting with ';' are skipped; the end of the script
// ends the program with 0. A script it cannot read ends it with 97.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "autoit3_words.h"
#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

enum {
    STANDIN_EXIT_NO_SCRIPT = 97,
    STANDIN_EXIT_BAD_LINE = 98,
    STANDIN_EXIT_FAILURE = 99,
    STANDIN_FIRST_FD = 3,
    STANDIN_LAST_FD = 63
};

// The words of the program's own command line, held until the process ends.
static char **standinWords = NULL;
static int standinWordCount = 0;

// The script's text, held until the process ends.
static char *standinScript = NULL;

// Ends the program with a message on standard error and the given code.
static void fail(int code, const char *what, const char *name)
{
    fprintf(stderr, "autoit3: %s '%s'\n", what, name);
    exit(code);
}

// Splits the raw command line into standinWords, without a limit on their number.
static void splitCommandLine(void)
{
    standinWords = autoit3_splitAll(win_getCommandLine(), &standinWordCount);
    if (standinWords == NULL) fail(STANDIN_EXIT_FAILURE, "memoria insufficiente per", "argv");
}

// The whole file as a new terminated heap string, or null when it cannot be read.
static char *readFile(const char *name)
{
    FILE *f = win_fopen(name, "rb");
    if (f == NULL) return NULL;
    size_t size = 0, capacity = 4096;
    char *text = (char *)malloc(capacity);
    while (text != NULL) {
        size_t got = fread(text + size, 1, capacity - size - 1, f);
        size += got;
        if (got == 0) break;
        if (capacity - size - 1 == 0) {
            char *grown = (char *)realloc(text, capacity * 2);
            if (grown == NULL) {
                free(text);
                text = NULL;
                break;
            }
            text = grown;
            capacity *= 2;
        }
    }
    bool failed = ferror(f) != 0;
    fclose(f);
    if (text == NULL || failed) {
        free(text);
        return NULL;
    }
    text[size] = '\0';
    return text;
}

// Writes s to f with printable ASCII as itself, a backslash as "\\" and every
// other byte as "\x" and two lowercase hex digits.
static void writeEscaped(FILE *f, const char *s)
{
    for (const unsigned char *p = (const unsigned char *)s; *p != '\0'; p++) {
        if (*p == '\\') {
            fputs("\\\\", f);
        } else if (*p >= 0x20 && *p <= 0x7E) {
            fputc(*p, f);
        } else {
            fprintf(f, "\\x%02x", *p);
        }
    }
}

// The number of descriptors from 3 to 63 that are open, written into fds.
// Only the POSIX backend has descriptors to look at: a Windows process holds
// handles, and under Wine the /proc path would show the emulator's own files.
static int openDescriptors(int *fds)
{
#ifdef _WIN32
    (void)fds;
    return 0;
#else
    int count = 0;
    char path[64];
    for (int n = STANDIN_FIRST_FD; n <= STANDIN_LAST_FD; n++) {
        str_format(path, sizeof path, "/proc/self/fd/%d", n);
        FILE *probe = fopen(path, "rb");
        if (probe == NULL) continue;
        fclose(probe);
        fds[count++] = n;
    }
    return count;
#endif
}

// Writes the report to file through a temporary file renamed over it; true
// when it is complete.
static bool writeReport(const char *file)
{
    // Looked at first, so that the report's own stream is not among them.
    int fds[STANDIN_LAST_FD - STANDIN_FIRST_FD + 1];
    int fdCount = openDescriptors(fds);
    char folder[1024];
    if (!win_getCurrentDirectory(folder, sizeof folder)) folder[0] = '\0';
    const char *commandLine = win_getCommandLine();

    size_t tmpSize = strlen(file) + sizeof ".tmp";
    char *tmp = (char *)malloc(tmpSize);
    if (tmp == NULL) return false;
    str_format(tmp, tmpSize, "%s.tmp", file);
    FILE *f = win_fopen(tmp, "wb");
    if (f == NULL) {
        free(tmp);
        return false;
    }
    fputs("folder=", f);
    writeEscaped(f, folder);
    fputs("\ncmdline=", f);
    writeEscaped(f, commandLine ? commandLine : "");
    fprintf(f, "\nargc=%d\n", standinWordCount);
    for (int i = 0; i < standinWordCount; i++) {
        fputs("arg=", f);
        writeEscaped(f, standinWords[i]);
        fputc('\n', f);
    }
    for (int i = 0; i < fdCount; i++) fprintf(f, "fd=%d\n", fds[i]);
    bool written = ferror(f) == 0;
    written = (fclose(f) == 0) && written;
    written = written && win_renameReplace(tmp, file);
    if (!written) win_removeFile(tmp);
    free(tmp);
    return written;
}

// Starts a copy of this program on script in the working folder without
// waiting for it; ends the program with 99 when it cannot be started.
static void startCopy(const char *script)
{
    char exePath[VEK_PATH_SIZE], exeFolder[VEK_PATH_SIZE], base[VEK_PATH_SIZE], error[VEK_TEXT_SIZE];
    char folder[VEK_PATH_SIZE], command[VEK_TEXT_SIZE];
    win_getExeInfo(exePath, exeFolder, base, error);
    bool ready = error[0] == '\0' && win_getCurrentDirectory(folder, sizeof folder) &&
                 str_format(command, sizeof command, "\"%s\" %s", exePath, script) < (int)sizeof command;
    if (!ready || win_executeCommand(command, folder, false, error) != 0)
        fail(STANDIN_EXIT_FAILURE, "impossibile avviare", script);
}

// Runs one script line (terminated, no line end); returns only when the
// script goes on.
static void runLine(char *line)
{
    if (line[0] == '\0' || line[0] == ';') return;
    char *argument = strchr(line, ' ');
    if (argument != NULL) {
        *argument = '\0';
        argument++;
    } else {
        argument = line + strlen(line);
    }
    if (strcmp(line, "print") == 0) {
        printf("%s\n", argument);
        fflush(stdout);
    } else if (strcmp(line, "printerr") == 0) {
        fprintf(stderr, "%s\n", argument);
    } else if (strcmp(line, "sleep") == 0) {
        win_sleep(strtoul(argument, NULL, 10));
    } else if (strcmp(line, "report") == 0) {
        if (!writeReport(argument))
            fail(STANDIN_EXIT_FAILURE, "impossibile scrivere il rapporto", argument);
    } else if (strcmp(line, "exit") == 0) {
        exit((int)strtoul(argument, NULL, 0));
    } else if (strcmp(line, "signal") == 0) {
        raise(SIGTERM);
    } else if (strcmp(line, "start") == 0) {
        startCopy(argument);
    } else {
        fail(STANDIN_EXIT_BAD_LINE, "comando sconosciuto", line);
    }
}

int main(void)
{
    splitCommandLine();
    const char *scriptName = standinWordCount > 1 ? standinWords[1] : "";
    standinScript = standinWordCount > 1 ? readFile(scriptName) : NULL;
    if (standinScript == NULL) fail(STANDIN_EXIT_NO_SCRIPT, "impossibile leggere lo script", scriptName);

    char *line = standinScript;
    while (*line != '\0') {
        size_t length = strcspn(line, "\r\n");
        char *next = line + length;
        if (*next != '\0') *next++ = '\0';
        runLine(line);
        line = next;
    }
    return 0;
}
