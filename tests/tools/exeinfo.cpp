// exeinfo: prints what the platform layer says about the running program
// (path, folder, base name, or the error text), one per line. Tests copy it
// under awkward names and into a drive root.
#include "vekstringlib.h"
#include "windows_helper.h"

#include <cstdio>

int main()
{
    char path[VEK_PATH_SIZE], folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE], error[VEK_TEXT_SIZE];
    win_getExeInfo(path, folder, base, error);
    bool known = error[0] == '\0';
    if (known) printf("path=%s\nfolder=%s\nbase=%s\n", path, folder, base);
    if (!known) printf("error=%s\n", error);
    return known ? 0 : 1;
}
