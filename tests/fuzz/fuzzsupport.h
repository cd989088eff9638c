// fuzzsupport: what the fuzz targets share: a private folder per fuzzing
// process, and the report of a broken promise.
#pragma once

#include <string>

// Prints what went wrong on standard output (the runs close standard error)
// and aborts, so that libFuzzer keeps the input that caused it.
[[noreturn]] void fuzz_fail(const char *what);

// Creates "<current folder>\<name>.<process id>" and returns it in Windows
// form; the process fails when it cannot be made. The folder is removed when
// the process ends, so each input must leave it empty.
std::string fuzz_privateFolder(const char *name);

// Removes a file or an empty folder given in Windows form; false when it was
// not there or could not be removed.
bool fuzz_remove(const std::string &path);
