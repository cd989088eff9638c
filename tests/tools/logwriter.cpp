// logwriter: writes log records through the log module, for tests that need
// a separate process.
//
//   logwriter many <log path> <count> <maxFiles> <maxFileSize> <tag> <done marker>
//       appends count information records "<tag> <n> ..." (n from 1) to one log
//       file through its own context, then creates the done marker file.
//   logwriter fallback <level> <text>
//       writes one record without any context, so the log falls back to
//       "log.txt" in the current folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "vekstringlib.h"
#include "windows_helper.h"

// The process exit code for a mistake in the arguments.
static int _usage(void)
{
    fputs("usage: logwriter many <path> <count> <maxFiles> <maxFileSize> <tag> <marker>\n"
          "       logwriter fallback <level> <text>\n",
          stderr);
    return 2;
}

// 0 when every record was handed to the log and the marker was written.
static int _writeMany(char **argv)
{
    const char *path = argv[2];
    int count = atoi(argv[3]);
    LogContext *context = log_createContext(path, "logwriter", "0", atoi(argv[4]), atoi(argv[5]), false);
    if (context == NULL) return 3;
    char text[VEK_TEXT_SIZE];
    for (int n = 1; n <= count; n++) {
        // A filler makes the records long enough for a write to be split if
        // appends were not atomic.
        str_format(text, sizeof text, "%s %d abcdefghijklmnopqrstuvwxyz0123456789", argv[6], n);
        log_write(context, LOG_LEVEL_INFO, text);
    }
    log_destroyContext(context);
    win_file *marker = win_openAppend(argv[7]);
    if (marker == NULL) return 4;
    bool written = win_appendRecord(marker, "done\n", 5);
    win_closeFile(marker);
    return written ? 0 : 4;
}

int main(int argc, char **argv)
{
    if (argc == 8 && strcmp(argv[1], "many") == 0) return _writeMany(argv);
    if (argc == 4 && strcmp(argv[1], "fallback") == 0) {
        log_write(NULL, (unsigned int)strtoul(argv[2], NULL, 10), argv[3]);
        return 0;
    }
    return _usage();
}
