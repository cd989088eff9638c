// veklib: the package folders under roaming application data, joined and
// created one level at a time.
#include "veklib.h"

#include <cstdlib>
#include <cstring>

#include "vekstringlib.h"
#include "windows_helper.h"

// Finds the last non-empty backslash-separated component of path[0, end):
// sets *start and *length and returns true, or returns false when there is none.
static bool lastComponent(const char *path, size_t end, size_t *start, size_t *length)
{
    while (end > 0 && path[end - 1] == '\\') end--;
    if (end == 0) return false;
    size_t begin = end;
    while (begin > 0 && path[begin - 1] != '\\') begin--;
    *start = begin;
    *length = end - begin;
    return true;
}

// The level "P-L" of the folder's last two components into level
// (VEK_PATH_SIZE); false when the folder has fewer than two. A drive
// designator as P gives its letter alone (D:\Tools gives D-Tools): with its
// colon the level would be a drive-relative path outside the package folder.
static bool exeFolderLevel(const char *exeFolder, char *level)
{
    size_t lastStart, lastLength, parentStart, parentLength;
    if (!lastComponent(exeFolder, strlen(exeFolder), &lastStart, &lastLength)) return false;
    if (!lastComponent(exeFolder, lastStart, &parentStart, &parentLength)) return false;
    if (parentLength == 2 && exeFolder[parentStart + 1] == ':') parentLength = 1;
    str_format(level, VEK_PATH_SIZE, "%.*s-%.*s", (int)parentLength, exeFolder + parentStart, (int)lastLength,
               exeFolder + lastStart);
    return true;
}

// path\part as a new heap string, with path released; null (path released
// too) when the join fails.
static char *joinAndRelease(char *path, const char *part)
{
    char *joined = win_concatPaths(path, part);
    free(path);
    return joined;
}

// path with its last level made sure to exist; null (path released) when
// that level cannot be created.
static char *ensureLevel(char *path)
{
    if (path != NULL && !win_checkAndCreatePath(path)) {
        free(path);
        return NULL;
    }
    return path;
}

char *vek_createPathSpecialFolderPacchetto(const char *packageName, const char *subfolder,
                                           const char *vendorFolder, const char *appDataFolder,
                                           bool includeExeFolder, const char *exeFolder)
{
    if (stringIsNullOrEmpty(vendorFolder)) vendorFolder = "VEK";
    char *lookedUp = NULL;
    if (stringIsNullOrEmpty(appDataFolder)) {
        lookedUp = win_getAppDataPath();
        appDataFolder = lookedUp;
    }
    // Without an application-data folder there is no package folder either.
    if (stringIsNullOrEmpty(appDataFolder)) {
        free(lookedUp);
        return NULL;
    }

    char *path = win_concatPaths(appDataFolder, vendorFolder);
    free(lookedUp);
    if (path == NULL) return NULL;
    path = joinAndRelease(path, packageName);
    if (path == NULL) return NULL;

    char level[VEK_PATH_SIZE];
    if (includeExeFolder && exeFolder != NULL && exeFolderLevel(exeFolder, level)) {
        path = joinAndRelease(path, level);
        if (path == NULL) return NULL;
    }
    path = ensureLevel(path);

    if (path != NULL && !stringIsNullOrEmpty(subfolder)) {
        path = ensureLevel(joinAndRelease(path, subfolder));
    }
    return path;
}
