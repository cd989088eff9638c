// fuzzsupport: private folders and failure reports for the fuzz targets.
#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>

#include "vekstringlib.h"
#include "windows_helper.h"

static std::string _privateFolder;  // removed at exit

void fuzz_fail(const char *target, const char *what)
{
    printf("\n%s: %s\n", target, what);
    fflush(stdout);
    abort();
}

// Removes the private folder; registered to run at exit.
static void _removePrivateFolder(void)
{
    fuzz_remove(_privateFolder);
}

std::string fuzz_privateFolder(const char *name)
{
    char current[VEK_PATH_SIZE];
    if (!win_getCurrentDirectory(current, sizeof current)) fuzz_fail(name, "the current folder is too long");
    _privateFolder = std::string(current) + "\\" + name + "." + std::to_string(win_getProcessId());
    if (!win_checkAndCreatePath(_privateFolder.c_str())) fuzz_fail(name, "cannot create the private folder");
    atexit(_removePrivateFolder);
    return _privateFolder;
}

bool fuzz_remove(const std::string &path)
{
    // remove() takes files and, where the runtime allows it, empty folders.
    char native[4096];
    return win_toNativePath(path.c_str(), native, sizeof native) && remove(native) == 0;
}
