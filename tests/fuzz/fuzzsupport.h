// fuzzsupport: what the fuzz targets share: a private folder per fuzzing
// process, and the report of a broken promise. Each target is one source file
// that includes this header once.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

namespace ts {

// Prints what went wrong on standard output (the runs close standard error)
// and aborts, so that libFuzzer keeps the input that caused it.
[[noreturn]] inline void fail(const char *what)
{
    printf("\n%s\n", what);
    fflush(stdout);
    abort();
}

// Removes a file or an empty folder given in Windows form; false when it was
// not there or could not be removed. (remove() takes files and, where the
// runtime allows it, empty folders.)
inline bool removePath(const std::string &path)
{
    char native[4096];
    return win_toNativePath(path.c_str(), native, sizeof native) && remove(native) == 0;
}

// Creates "<current folder>\<name>.<process id>" and returns it in Windows
// form; the process fails when it cannot be made. The folder is removed when
// the process ends, so each input must leave it empty.
inline std::string privateFolder(const char *name)
{
    static std::string folder;  // removed at exit
    char current[VEK_PATH_SIZE];
    if (!win_getCurrentDirectory(current, sizeof current)) fail("the current folder is too long");
    folder = std::string(current) + "\\" + name + "." + std::to_string(win_getProcessId());
    if (!win_checkAndCreatePath(folder.c_str())) fail("cannot create the private folder");
    atexit([] { removePath(folder); });
    return folder;
}

}  // namespace ts
