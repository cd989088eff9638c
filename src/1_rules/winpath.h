// winpath: the Windows shell's rules for paths in Windows form ("Z:\dir\file",
// "\\server\share", relative "logs\x.log"), as Wine's shlwapi applies them:
// joining with canonicalization, cutting off the last component, finding the
// file name and taking off its extension. Pure rules on caller-owned strings,
// used by the POSIX backend to answer as a Windows process is answered.
#pragma once

// True for a path that begins with a drive designator ("X:").
bool winpath_hasDrive(const char *path);

// True for a UNC path ("\\server\share").
bool winpath_isUnc(const char *path);

// Removes the last component and the backslash before it; a root keeps its
// backslash ("Z:\lirmak.exe" gives "Z:\"). False when nothing was removed.
bool winpath_removeFileSpec(char *path);

// Joins dir and file into dest (VEK_PATH_SIZE characters) and canonicalizes
// the result, as PathCombineA does: an absolute or lone part stands alone, a
// part rooted at "\" keeps only the root of dir, "." and ".." segments are
// resolved (a leading ".." of a relative path stays). False, with dest empty,
// when a part or the joined text does not fit.
bool winpath_combine(char *dest, const char *dir, const char *file);

// Pointer into path at its last component.
const char *winpath_findFileName(const char *path);

// Removes the last extension of the last component ("lirmak.old.exe" gives
// "lirmak.old").
void winpath_removeExtension(char *path);

// The process id named by the temporary of a staging copy,
// "<base>.<digits>.tmp" with base in any letter case, or 0 when name is not
// such a temporary of base.
unsigned long winpath_copyOwner(const char *name, const char *base);
