// posix_paths: what the POSIX backend's files share among themselves, and
// nothing else includes: the mapping of Windows-form paths to POSIX form, the
// letter-case search, and the open of a regular file that never blocks.
#pragma once

#include <cstddef>

#include <sys/stat.h>
#include <sys/types.h>

// Maps a Windows-form path to POSIX form into out; false (errno ENOENT or
// ENAMETOOLONG) for another drive, a UNC path, or a result that does not fit.
bool toPosix(const char *path, char *out, size_t size);

// Writes the Windows form of an absolute POSIX path into out; false when it
// does not fit.
bool fromPosix(const char *path, char *out, size_t size);

enum { WIN_NATIVE_SIZE = 4096 };

// Gives each missing component of a POSIX path the letter case of an entry of
// its folder that differs from it only in case, from the deepest folder that
// exists as given down; a name that exists as given is kept, and where
// nothing matches the rest of the path keeps the case given (a file about to
// be created). knownMissing: the path as given was just found missing.
void matchLetterCase(char *path, bool knownMissing);

// Maps a Windows-form path to the POSIX path of what Windows would open under
// it: its letter case matched to existing names. False as toPosix.
bool mapPath(const char *path, char *out, size_t size);

// stat of what a Windows-form path names, its letter case matched when the
// name as given is missing; the POSIX path in native (WIN_NATIVE_SIZE).
// False when it cannot be mapped or does not exist.
bool statFound(const char *path, char *native, struct stat *st);

// Opens a POSIX path that must be a regular file, without ever blocking on a
// FIFO or device; the descriptor is closed at exec. -1 with errno set (EISDIR
// for a folder, EINVAL for another special file) when it is not one.
int openRegular(const char *native, int flags, mode_t mode);
