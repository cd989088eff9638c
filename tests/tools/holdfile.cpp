// holdfile: holds a file against other writers for a while, as a program
// that keeps a log file open does.
//
//   holdfile <path> <milliseconds> <ready marker> [lock]
//       opens path (creating it), writes the ready marker file, keeps the
//       file for the given milliseconds or until the marker is removed, then
//       closes it. Without "lock" the file is opened exclusively, as a viewer
//       or an editor holds it; with "lock" it is opened sharing reading,
//       writing and deleting, and its whole byte range is locked, as backup
//       and sync tools hold it (see tp_holdFile).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "testplatform.h"
#include "windows_helper.h"

int main(int argc, char **argv)
{
    bool lock = argc == 5 && strcmp(argv[4], "lock") == 0;
    if (argc != 4 && !lock) {
        fputs("usage: holdfile <path> <milliseconds> <ready marker> [lock]\n", stderr);
        return 2;
    }
    tp_heldFile *held = tp_holdFile(argv[1], lock);
    FILE *marker = held != NULL ? win_fopen(argv[3], "wb") : NULL;
    if (marker == NULL || fclose(marker) != 0) return 3;
    // The hold ends early when the test removes the marker.
    for (long left = atol(argv[2]); left > 0 && win_fileExists(argv[3]); left -= 50) win_sleep(50);
    tp_releaseFile(held);
    return 0;
}
