// windows_helper, Win32 backend, paths: existence, folders and joins by the
// shell's path functions. Paths are ANSI strings passed to the ...A forms.
#include "windows_helper.h"
#include "windows_helper_tools.h"

#include "vekstringlib.h"

#include <cstring>

#include <windows.h>
#include <shlwapi.h>

bool win_fileExists(const char *path)
{
    return PathFileExistsA(path) != FALSE;
}

bool win_pathIsDirectory(const char *path)
{
    return PathIsDirectoryA(path) != FALSE;
}

bool win_checkAndCreatePath(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    return CreateDirectoryA(path, NULL) != FALSE;
}

char *win_concatPaths(const char *dir, const char *file)
{
    char joined[VEK_PATH_SIZE];
    if (PathCombineA(joined, dir, file) == NULL) return NULL;
    return _strdup(joined);
}

bool win_combinePath(char *dest, const char *dir, const char *file)
{
    if (PathCombineA(dest, dir, file) != NULL) return true;
    dest[0] = '\0';
    return false;
}

bool win_toNativePath(const char *path, char *out, size_t size)
{
    if (strlen(path) >= size) return false;
    str_assign(out, path, size);
    return true;
}
