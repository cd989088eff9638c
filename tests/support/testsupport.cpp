// testsupport: shared helpers of the test programs, built on the platform
// layer so that the same test runs natively and under Wine.
#include "testsupport.h"

#include "vekstringlib.h"
#include "testplatform.h"
#include "windows_helper.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace ts {

bool onWindows()
{
    return tp_onWindows();
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
    static int serial = 0;
    char cwd[VEK_TEXT_SIZE];
    if (!win_getCurrentDirectory(cwd, sizeof cwd)) return "";
    // Process ids come back (Wine reuses them quickly): the start time keeps
    // each run's folders apart from an earlier run's.
    static const std::string runName =
        "run" + std::to_string(win_getProcessId()) + "_" + std::to_string((long long)time(NULL));
    std::string run = join(cwd, runName);
    makeFolder(run);
    std::string folder = join(run, name + "_" + std::to_string(++serial));
    makeFolder(folder);
    return folder;
}

bool writeFile(const std::string &path, const std::string &bytes)
{
    FILE *f = win_fopen(path.c_str(), "wb");
    if (f == NULL) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string readFile(const std::string &path)
{
    std::string bytes;
    FILE *f = win_fopen(path.c_str(), "rb");
    if (f == NULL) return bytes;
    char chunk[8192];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
    fclose(f);
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
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    }
    return out;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::string unix = lf(text);
    for (size_t start = 0, end; start < unix.size(); start = end + 1) {
        end = std::min(unix.find('\n', start), unix.size());
        result.push_back(unix.substr(start, end - start));
    }
    return result;
}

std::string builtProgram(const std::string &name)
{
    std::string folder = buildFolder();
    std::string withExe = join(folder, name + ".exe");
    if (fileExists(withExe)) return withExe;
    return join(folder, name);
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

std::string commandLine(const std::string &program, const std::vector<std::string> &args)
{
    std::string line;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    for (const std::string &word : words) {
        line += line.empty() ? "" : " ";
        if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += word;
            continue;
        }
        line += '"';
        for (char c : word) line += (c == '"') ? std::string("\"\"") : std::string(1, c);
        line += '"';
    }
    return line;
}

RunResult run(const std::string &command, const std::string &folder)
{
    static int serial = 0;
    RunResult result;
    char errorText[VEK_TEXT_SIZE];
    std::string capture = makeWorkFolder("capture");
    std::string outPath = join(capture, "out" + std::to_string(++serial));
    std::string errPath = join(capture, "err" + std::to_string(serial));
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    result.exitCode = tp_executeCaptured(buffer.data(), folder.c_str(), outPath.c_str(), errPath.c_str(),
                                                 errorText);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    result.startError = errorText;
    return result;
}

// Undoes the report's escapes: "\\" and "\xHH".
static std::string ts_unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 2, "\\\\") == 0) {
            out += '\\';
            i++;
        } else if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size()) {
            out += (char)strtol(text.substr(i + 2, 2).c_str(), NULL, 16);
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

Report readReport(const std::string &path)
{
    Report report;
    std::string text = readFile(path);
    if (text.empty()) return report;
    report.found = true;
    for (const std::string &line : lines(text)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        std::string value = ts_unescape(line.substr(eq + 1));
        if (key == "folder") report.folder = value;
        else if (key == "cmdline") report.commandLine = value;
        else if (key == "arg") report.args.push_back(value);
        else if (key == "fd") report.openDescriptors.push_back(atoi(value.c_str()));
    }
    return report;
}

bool parseLogRecord(const std::string &line, LogRecord *record)
{
    // dd/mm/yyyy hh:mm:ss app version {process} [LABEL] text
    const char *shape = "00/00/0000 00:00:00 ";
    for (size_t i = 0; i < 20; i++) {
        bool digit = i < line.size() && line[i] >= '0' && line[i] <= '9';
        if (i >= line.size() || (shape[i] == '0' ? !digit : line[i] != shape[i])) return false;
    }
    size_t app = line.find(' ', 20), version = line.find(" {", app + 1), process = line.find("} [", version);
    size_t label = line.find("] ", process);
    if (app == std::string::npos || version == std::string::npos || process == std::string::npos ||
        label == std::string::npos) {
        return false;
    }
    *record = {line.substr(0, 19), line.substr(20, app - 20), line.substr(app + 1, version - app - 1),
               line.substr(version + 2, process - version - 2), line.substr(process + 3, label - process - 3),
               line.substr(label + 2)};
    return true;
}

}  // namespace ts
