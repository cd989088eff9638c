// tasklaunch: what the end-to-end tests of the launcher share. A task folder
// laid out with a launcher copy, the interpreter stand-in, a script and INI
// files, and a run of the copy from another folder, read back as exit code,
// streams, log and the words the script received. Brings in GoogleTest, the
// tests' support and the platform header with it; all of it in namespace ts.
#pragma once

#include <algorithm>
#include <utility>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

namespace ts {

using Texts = std::vector<std::string>;
// Files of a task folder: name and bytes; a name that ends in "\" is a folder.
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string REPORT = "report r.txt\n";   // a script that writes the words it got to r.txt

// What a task folder holds besides the launcher copy exeName: a script of its
// base name unless script is empty, the stand-in unless told not to, and files.
struct Task {
    std::string exeName, script = REPORT;
    bool interpreter = true;
    Files files = {{"frascombe_a3x.ini", ""}};
};

// A finished launch; "{F}" stands for the task folder in every text.
struct Launch {
    int exitCode;
    Texts out, err, log;   // the streams' lines, and "LABEL text" of each record of the log
    bool scriptEndedFirst; // the script's report was there when the launcher returned
    Texts received;        // the words the script reported after the interpreter and the script
};

// text with every occurrence of from replaced by to.
inline std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The path in the form the runtime's file functions take (unchanged on
// Windows); "" when it has none.
inline std::string native(const std::string &path)
{
    char out[VEK_TEXT_SIZE];
    return win_toNativePath(path.c_str(), out, sizeof out) ? out : "";
}

// Waits up to seconds for path; true when it is there.
inline bool appears(const std::string &path, int seconds)
{
    for (int i = 0; i < seconds * 10 && !ts::fileExists(path); i++) win_sleep(100);
    return ts::fileExists(path);
}

// True when log holds the record.
inline bool has(const Texts &log, const std::string &record)
{
    return std::find(log.begin(), log.end(), record) != log.end();
}

// Lays out task in folder (made when missing); returns the launcher copy's path.
inline std::string lay(const Task &task, const std::string &folder)
{
    ts::makeFolder(folder);
    std::string exe = ts::layTask(folder, task.exeName, task.interpreter);
    std::string base = task.exeName.substr(0, task.exeName.rfind('.'));
    EXPECT_TRUE(task.script.empty() || ts::writeFile(ts::join(folder, base + ".a3x"), task.script));
    for (const auto &file : task.files) {
        std::string path = ts::join(folder, file.first);
        bool isFolder = path.back() == '\\';
        EXPECT_TRUE(isFolder ? ts::makeFolder(path.erase(path.size() - 1)) : ts::writeFile(path, file.second))
            << path;
    }
    return exe;
}

// Runs the launcher copy exe with args from a new folder, and reads back the
// streams, the log at logPath ("{F}" standing for the task folder, "{C}" for
// the caller's, whose log.txt names the application "?") and the report r.txt
// of the script, waited for when the launcher returned 0 without waiting.
// Every line of the log must be a record of the fixed version.
inline Launch runCopy(const std::string &exe, const Texts &args, const std::string &logPath)
{
    std::string folder = exe.substr(0, exe.rfind('\\')), caller = ts::makeWorkFolder("caller");
    std::string report = ts::join(folder, "r.txt");
    ts::RunResult r = ts::run(ts::commandLine(exe, args), caller);
    EXPECT_EQ(r.startError, "") << exe;
    auto lines = [&folder](const std::string &text) { return ts::lines(replaced(text, folder, "{F}")); };
    Launch result{r.exitCode, lines(r.out), lines(r.err), {}, ts::fileExists(report), {}};
    std::string app = logPath.find("{C}") == 0 ? "?" : "frascombe_a3x";
    ts::LogRecord record;
    std::string path = replaced(replaced(logPath, "{F}", folder), "{C}", caller);
    for (const std::string &line : lines(ts::readFile(path))) {
        EXPECT_TRUE(ts::parseLogRecord(line, &record) && record.app == app && record.version == "1.1.1.7")
            << exe << ": not a whole record: " << line;
        result.log.push_back(record.label + " " + record.text);
    }
    if (r.exitCode == 0 && has(result.log, "INFO wait: false")) appears(report, 15);
    Texts words = ts::readReport(report).args;
    if (words.size() >= 2) result.received.assign(words.begin() + 2, words.end());
    return result;
}

// Lays out task in folder (a new one when none is given) and runs it.
inline Launch launch(const Task &task, const Texts &args, const std::string &logPath, std::string folder = "")
{
    return runCopy(lay(task, folder.empty() ? ts::makeWorkFolder("task") : folder), args, logPath);
}

}  // namespace ts
