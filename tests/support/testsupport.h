// testsupport: what the tests share. A fresh work folder per test, files read
// and written by Windows-form path, task folders laid out with a launcher copy
// and the interpreter stand-in, programs run with their streams captured, and
// the stand-in's report read back. Works the same natively and under Wine.
#pragma once

#include <string>
#include <vector>

namespace ts {

// True when this test program runs on the Win32 backend (under Wine here).
bool onWindows();

// Folder of the running test program, where the launcher, the stand-in and
// the test tools are built (Windows form).
std::string buildFolder();

// a + "\" + b.
std::string join(const std::string &a, const std::string &b);

// A new, empty folder for one test (Windows form), unique within the run.
std::string makeWorkFolder(const std::string &name);

bool writeFile(const std::string &path, const std::string &bytes);
// The whole file, or "" when it cannot be read.
std::string readFile(const std::string &path);
bool fileExists(const std::string &path);
bool makeFolder(const std::string &path);

// The text with CRLF line ends turned into LF.
std::string lf(const std::string &text);

// The file's lines without their line ends (LF or CRLF).
std::vector<std::string> lines(const std::string &text);

// Path of a program built beside the tests: "launcher", "autoit3" or a test
// tool's name; the ".exe" ending is added where the build gives one.
std::string builtProgram(const std::string &name);

// Copies the launcher into folder under the name exeName (for example
// "lirmak.exe") and the interpreter stand-in beside it unless told not to.
// Returns the launcher copy's path.
std::string layTask(const std::string &folder, const std::string &exeName, bool withInterpreter = true);

// The command line that starts program with the given arguments, each bare
// when it needs no protection, otherwise in double quotes with inner double
// quotes doubled (what the launcher's own splitting reads back).
std::string commandLine(const std::string &program, const std::vector<std::string> &args);

struct RunResult {
    int exitCode;
    std::string out;         // standard output, bytes as written
    std::string err;         // standard error, bytes as written
    std::string startError;  // the error text when the program could not start
};

// Runs a command line in folder, waits, and captures both streams.
RunResult run(const std::string &commandLine, const std::string &folder);

// What the interpreter stand-in reported about one run.
struct Report {
    bool found = false;
    std::string folder;                 // its working folder (Windows form)
    std::string commandLine;            // its raw command line
    std::vector<std::string> args;      // its words, the program's included
    std::vector<int> openDescriptors;   // descriptors above 2 it found open
};

// Reads the report the stand-in wrote to path.
Report readReport(const std::string &path);

// The log lines of a file that match the record pattern, and the text of each.
struct LogRecord {
    std::string stamp, app, version, process, label, text;
};
// Splits one record line; false when it does not have the record's form.
bool parseLogRecord(const std::string &line, LogRecord *record);

}  // namespace ts
