// holdfile: holds a file against other writers for a while, as a program
// that keeps a log file open does.
//
//   holdfile <path> <milliseconds> <ready marker> [lock]
//       opens path (creating it), writes the ready marker file, keeps the
//       file for the given milliseconds or until the marker is removed, then
//       closes it. Without "lock" the
//       file is opened exclusively, as a viewer or an editor holds it; with
//       "lock" it is opened sharing reading, writing and deleting, and its
//       whole byte range is locked, as backup and sync tools hold it.
// Only on Windows does either hold keep the others out: POSIX has no
// mandatory locking, so there the file is simply open.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#include "windows_helper.h"

// Waits for milliseconds, or less when the ready marker goes away first.
static void holdFor(unsigned long milliseconds, const char *readyMarker)
{
    for (unsigned long waited = 0; waited < milliseconds && win_fileExists(readyMarker); waited += 50)
        win_sleep(50);
}

// Keeps path open and locked over its whole range for milliseconds once the
// ready marker exists; the exit code of the tool.
static int holdLocked(const char *path, unsigned long milliseconds, const char *readyMarker)
{
#ifdef _WIN32
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return 3;
    OVERLAPPED whole = {};
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    if (!LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(handle);
        return 3;
    }
#else
    win_file *held = win_openAppend(path);
    if (held == NULL) return 3;
#endif
    FILE *marker = win_fopen(readyMarker, "wb");
    bool ready = marker != NULL && fclose(marker) == 0;
    if (ready) holdFor(milliseconds, readyMarker);
#ifdef _WIN32
    UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(handle);
#else
    win_closeFile(held);
#endif
    return ready ? 0 : 4;
}

int main(int argc, char **argv)
{
    bool lock = argc == 5 && strcmp(argv[4], "lock") == 0;
    if (argc != 4 && !lock) {
        fputs("usage: holdfile <path> <milliseconds> <ready marker> [lock]\n", stderr);
        return 2;
    }
    unsigned long milliseconds = strtoul(argv[2], NULL, 10);
    if (lock) return holdLocked(argv[1], milliseconds, argv[3]);
    win_file *held = win_openExclusive(argv[1]);
    if (held == NULL) return 3;
    FILE *marker = win_fopen(argv[3], "wb");
    bool ready = marker != NULL && fclose(marker) == 0;
    if (ready) holdFor(milliseconds, argv[3]);
    win_closeFile(held);
    return ready ? 0 : 4;
}
