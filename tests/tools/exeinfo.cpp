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
    if (error[0] != '\0') {
        printf("error=%s\n", error);
        return 1;
    }
    printf("path=%s\nfolder=%s\nbase=%s\n", path, folder, base);
    return 0;
}
