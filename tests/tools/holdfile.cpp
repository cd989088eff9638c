// holdfile: holds a file against every other opener for a while, as a program
// that locks a log file does.
//
//   holdfile <path> <milliseconds> <ready marker>
//       opens path exclusively (creating it), writes the ready marker file,
//       keeps the file open for the given milliseconds, then closes it.
// Only on Windows does the hold refuse other openers (see tp_holdFile).
#include <cstdio>
#include <cstdlib>

#include "testplatform.h"
#include "windows_helper.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        fputs("usage: holdfile <path> <milliseconds> <ready marker>\n", stderr);
        return 2;
    }
    tp_heldFile *held = tp_holdFile(argv[1]);
    if (held == NULL) return 3;
    FILE *marker = win_fopen(argv[3], "wb");
    bool ready = marker != NULL && fclose(marker) == 0;
    if (ready) win_sleep(strtoul(argv[2], NULL, 10));
    tp_releaseFile(held);
    return ready ? 0 : 4;
}
