// holdfile: holds a file against every other opener for a while, as a program
// that locks a log file does.
//
//   holdfile <path> <milliseconds> <ready marker>
//       opens path exclusively (creating it), writes the ready marker file,
//       keeps the file open for the given milliseconds, then closes it.
// Only on Windows does the hold refuse other openers (see win_openExclusive).
#include <cstdio>
#include <cstdlib>

#include "windows_helper.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        fputs("usage: holdfile <path> <milliseconds> <ready marker>\n", stderr);
        return 2;
    }
    win_file *held = win_openExclusive(argv[1]);
    if (held == NULL) return 3;
    FILE *marker = win_fopen(argv[3], "wb");
    bool ready = marker != NULL && fclose(marker) == 0;
    if (ready) win_sleep(strtoul(argv[2], NULL, 10));
    win_closeFile(held);
    return ready ? 0 : 4;
}
