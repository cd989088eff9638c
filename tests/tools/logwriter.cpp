// logwriter: writes log records through the log module, for tests that need
// a separate process.
//
//   logwriter many <log path> <count> <maxFiles> <maxFileSize> <text> <done marker>
//       appends count information records "<text> <n>" (n from 1) to one log
//       file through its own context, then creates the done marker file.
//   logwriter fallback <level> <text>
//       writes one record without any context, so the log falls back to
//       "log.txt" in the current folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log.h"
#include "windows_helper.h"

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "fallback") == 0) {
        log_write(NULL, (unsigned int)strtoul(argv[2], NULL, 10), argv[3]);
        return 0;
    }
    if (argc != 8 || strcmp(argv[1], "many") != 0) return 2;   // the usage above
    LogContext *context = log_createContext(argv[2], "logwriter", "0", atoi(argv[4]), atoi(argv[5]), false);
    if (context == NULL) return 3;
    for (int n = 1; n <= atoi(argv[3]); n++)
        log_write(context, LOG_LEVEL_INFO, (argv[6] + (" " + std::to_string(n))).c_str());
    log_destroyContext(context);
    FILE *marker = win_fopen(argv[7], "wb");
    return marker != NULL && fclose(marker) == 0 ? 0 : 4;
}
