// fuzzsupport: private folders and failure reports for the fuzz targets.
#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>

#include "vekstringlib.h"
#include "windows_helper.h"

void fuzz_fail(const char *target, const std::string &what)
{
    fprintf(stdout, "\n%s: %s\n", target, what.c_str());
    fflush(stdout);
    abort();
}

std::string fuzz_privateFolder(const char *name)
{
    char current[VEK_PATH_SIZE];
    if (!win_getCurrentDirectory(current, sizeof current)) {
        fuzz_fail(name, "the current folder does not fit in a path buffer");
    }
    char folder[VEK_PATH_SIZE];
    int length = str_format(folder, sizeof folder, "%s\\%s.%lu", current, name, win_getProcessId());
    if (length < 0 || (size_t)length >= sizeof folder || !win_checkAndCreatePath(folder)) {
        fuzz_fail(name, std::string("cannot create the private folder ") + folder);
    }
    return folder;
}

bool fuzz_remove(const std::string &path)
{
    // remove() takes files and, where the runtime allows it, empty folders.
    char native[4096];
    if (!win_toNativePath(path.c_str(), native, sizeof native)) return false;
    return remove(native) == 0;
}

std::string fuzz_printable(const std::string &bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown += (char)c;
        } else {
            char escape[8];
            str_format(escape, sizeof escape, "\\x%02X", c);
            shown += escape;
        }
    }
    return shown;
}
