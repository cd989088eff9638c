// fuzzsupport: what the fuzz targets share. A private folder per fuzzing
// process under the current folder, and the report of a broken promise,
// which ends the process so that libFuzzer keeps the input that caused it.
#pragma once

#include <cstddef>
#include <string>

// Ends the process with an abort after printing "target: what" on standard
// output (the runs close standard error, where the launcher's own messages go).
[[noreturn]] void fuzz_fail(const char *target, const std::string &what);

// Creates the folder "<current folder>\<name>.<process id>" and returns
// its Windows-form path; the process ends when it cannot be made.
std::string fuzz_privateFolder(const char *name);

// Removes a file or an empty folder given in Windows form; false when it
// was not there or could not be removed.
bool fuzz_remove(const std::string &path);

// The text shown for bytes in a failure report: printable ASCII as it is,
// every other byte as \xHH.
std::string fuzz_printable(const std::string &bytes);
