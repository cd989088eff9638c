// holdfile: holds a file against other writers for a while, as a program
// that keeps a log file open does. A Windows tool only: POSIX has no
// mandatory locking, so there no file can be held against the launcher.
//
//   holdfile <path> <milliseconds> <ready marker> [lock|writers]
//       opens path (creating it), writes the ready marker file, keeps the
//       file for the given milliseconds or until the marker is removed, then
//       closes it. Without a mode (or with an empty one) the file is opened with no sharing, as a
//       viewer or an editor holds it, and every other open fails; with "lock"
//       it is opened sharing reading, writing and deleting, and its whole byte
//       range is locked, as backup and sync tools hold it; with "writers" it
//       is opened sharing writing only, as a program that logs to it does.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

#include "windows_helper.h"

int main(int argc, char **argv)
{
    const char *mode = argc == 5 ? argv[4] : "";
    bool lock = strcmp(mode, "lock") == 0, writers = strcmp(mode, "writers") == 0;
    if (argc < 4 || argc > 5 || (*mode && !lock && !writers)) return 2;   // the usage above
    DWORD share = lock ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
    if (writers) share = FILE_SHARE_WRITE;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    OVERLAPPED whole = {};
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    bool got = held != INVALID_HANDLE_VALUE &&
               (!lock || LockFileEx(held, flags, 0, MAXDWORD, MAXDWORD, &whole));
    FILE *marker = got ? win_fopen(argv[3], "wb") : NULL;
    if (marker == NULL || fclose(marker) != 0) return 3;
    // The hold ends early when the test removes the marker.
    for (long left = atol(argv[2]); left > 0 && win_fileExists(argv[3]); left -= 50) win_sleep(50);
    // Unlocked at once rather than whenever the system gets round to it after
    // the close; fails harmlessly when nothing was locked.
    UnlockFileEx(held, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(held);
    return 0;
}
