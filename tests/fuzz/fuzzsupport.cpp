// fuzzsupport: private folders and failure reports for the fuzz targets.
#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>

#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

void fuzz_fail(const char *what)
{
    printf("\n%s\n", what);
    fflush(stdout);
    abort();
}

std::string fuzz_privateFolder(const char *name)
{
    static std::string folder;  // removed at exit
    char current[VEK_PATH_SIZE];
    if (!win_getCurrentDirectory(current, sizeof current)) fuzz_fail("the current folder is too long");
    folder = std::string(current) + "\\" + name + "." + std::to_string(win_getProcessId());
    if (!win_checkAndCreatePath(folder.c_str())) fuzz_fail("cannot create the private folder");
    atexit([] { fuzz_remove(folder); });
    return folder;
}

bool fuzz_remove(const std::string &path)
{
    // remove() takes files and, where the runtime allows it, empty folders.
    char native[4096];
    return win_toNativePath(path.c_str(), native, sizeof native) && remove(native) == 0;
}
