// testsupport: shared helpers of the test programs, built on the platform
// layer so that the same test runs natively and under Wine.
#include "testsupport.h"

#include "testplatform.h"
#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace ts {

bool onWindows()
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

std::string buildFolder()
{
    char path[VEK_PATH_SIZE], folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE], error[VEK_TEXT_SIZE];
    win_getExeInfo(path, folder, base, error);
    return folder;
}

std::string join(const std::string &a, const std::string &b)
{
    if (!a.empty() && a.back() == '\\') return a + b;
    return a + "\\" + b;
}

bool makeFolder(const std::string &path)
{
    return win_checkAndCreatePath(path.c_str());
}

std::string makeWorkFolder(const std::string &name)
{
    static std::atomic<int> serial{0};
    char cwd[VEK_TEXT_SIZE];
    if (!win_getCurrentDirectory(cwd, sizeof cwd)) return "";
    // Process ids come back (Wine reuses them quickly): the start time keeps
    // each run's folders apart from an earlier run's.
    static const std::string run =
        join(cwd, "run" + std::to_string(win_getProcessId()) + "_" + std::to_string((long long)time(NULL)));
    makeFolder(run);
    std::string folder = join(run, name + "_" + std::to_string(++serial));
    makeFolder(folder);
    return folder;
}

bool writeFile(const std::string &path, const std::string &bytes)
{
    FILE *f = win_fopen(path.c_str(), "wb");
    if (f == NULL) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && written;
}

std::string readFile(const std::string &path)
{
    std::string bytes;
    FILE *f = win_fopen(path.c_str(), "rb");
    char chunk[8192];
    for (size_t got; f != NULL && (got = fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, got);
    if (f != NULL) fclose(f);
    return bytes;
}

bool fileExists(const std::string &path)
{
    return win_fileExists(path.c_str());
}

std::string lf(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 2, "\r\n") != 0) out += text[i];
    }
    return out;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(lf(text));
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string builtProgram(const std::string &name)
{
    std::string withExe = join(buildFolder(), name + ".exe");
    return fileExists(withExe) ? withExe : join(buildFolder(), name);
}

std::string layTask(const std::string &folder, const std::string &exeName, bool withInterpreter)
{
    unsigned long error = 0;
    std::string target = join(folder, exeName);
    win_copyFile(builtProgram("launcher").c_str(), target.c_str(), &error);
    if (withInterpreter) {
        win_copyFile(builtProgram("autoit3").c_str(), join(folder, "autoit3.exe").c_str(), &error);
    }
    return target;
}

// The word bare when it needs no protection, otherwise in double quotes with
// inner double quotes doubled.
static std::string quoted(const std::string &word)
{
    if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) return word;
    std::string line = "\"";
    for (char c : word) line += c == '"' ? "\"\"" : std::string(1, c);
    return line + "\"";
}

std::string commandLine(const std::string &program, const std::vector<std::string> &args)
{
    std::string line = quoted(program);
    for (const std::string &word : args) line += " " + quoted(word);
    return line;
}

RunResult run(const std::string &command, const std::string &folder)
{
    std::string capture = makeWorkFolder("capture");
    std::string outPath = join(capture, "out"), errPath = join(capture, "err");
    char errorText[VEK_TEXT_SIZE];
    int code = executeCaptured(command.c_str(), folder.c_str(), outPath.c_str(), errPath.c_str(), errorText);
    return {code, readFile(outPath), readFile(errPath), errorText};
}

Report readReport(const std::string &path)
{
    Report report;
    std::string text = readFile(path);
    report.found = !text.empty();
    for (const std::string &line : lines(text)) {
        size_t eq = line.find('=');
        std::string key = line.substr(0, eq), value;
        // The value with its escapes "\\" and "\xHH" undone.
        for (size_t i = eq + 1; i < line.size(); i++) {
            if (line.compare(i, 2, "\\\\") == 0) {
                value += line[i++];
            } else if (line.compare(i, 2, "\\x") == 0 && i + 3 < line.size()) {
                value += (char)strtol(line.substr(i + 2, 2).c_str(), NULL, 16);
                i += 3;
            } else {
                value += line[i];
            }
        }
        if (key == "folder") report.folder = value;
        if (key == "cmdline") report.commandLine = value;
        if (key == "arg") report.args.push_back(value);
        if (key == "fd") report.openDescriptors.push_back(atoi(value.c_str()));
    }
    return report;
}

bool parseLogRecord(const std::string &line, LogRecord *record)
{
    // dd/mm/yyyy hh:mm:ss app version {process} [LABEL] text
    const std::string shape = "00/00/0000 00:00:00 ";
    for (size_t i = 0; i < shape.size(); i++) {
        bool digit = i < line.size() && line[i] >= '0' && line[i] <= '9';
        if (shape[i] == '0' ? !digit : line.compare(i, 1, shape, i, 1) != 0) return false;
    }
    size_t app = line.find(' ', 20), version = line.find(" {", app + 1), process = line.find("} [", version);
    size_t label = line.find("] ", process);
    if (app == std::string::npos || label == std::string::npos) return false;
    *record = {line.substr(0, 19), line.substr(20, app - 20), line.substr(app + 1, version - app - 1),
               line.substr(version + 2, process - version - 2), line.substr(process + 3, label - process - 3),
               line.substr(label + 2)};
    return true;
}

}  // namespace ts
