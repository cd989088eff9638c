// testsupport: shared helpers of the test programs, built on the platform
// layer so that the same test runs natively and under Wine.
#include "testsupport.h"

#include "vekstringlib.h"
#include "windows_helper.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace ts {

bool onWindows()
{
    return strcmp(win_platformName(), "win32") == 0;
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
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
        start = end + 1;
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
    bool first = true;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    for (const std::string &word : words) {
        if (!first) line += ' ';
        first = false;
        if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += word;
            continue;
        }
        line += '"';
        for (char c : word) {
            line += c;
            if (c == '"') line += '"';
        }
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
    result.exitCode = win_executeCommandCaptured(buffer.data(), folder.c_str(), outPath.c_str(), errPath.c_str(),
                                                 errorText);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    result.startError = errorText;
    return result;
}

// The value of one hex digit, or -1.
static int _ts_hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Undoes the report's escapes: "\\" and "\xHH".
static std::string _ts_unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            i++;
        } else if (text[i] == '\\' && i + 3 < text.size() + 0 && text[i + 1] == 'x' && _ts_hex(text[i + 2]) >= 0 &&
                   _ts_hex(text[i + 3]) >= 0) {
            out += (char)(_ts_hex(text[i + 2]) * 16 + _ts_hex(text[i + 3]));
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
        std::string value = _ts_unescape(line.substr(eq + 1));
        if (key == "folder") report.folder = value;
        else if (key == "cmdline") report.commandLine = value;
        else if (key == "arg") report.args.push_back(value);
        else if (key == "fd") report.openDescriptors.push_back(atoi(value.c_str()));
    }
    return report;
}

bool parseLogRecord(const std::string &line, LogRecord *record)
{
    // dd/mm/yyyy hh:mm:ss app 1.1.1.7 {ppppp} [LABEL] text
    if (line.size() < 20 || line[2] != '/' || line[5] != '/' || line[10] != ' ' || line[13] != ':' ||
        line[16] != ':' || line[19] != ' ') {
        return false;
    }
    for (size_t i : {0, 1, 3, 4, 6, 7, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (line[i] < '0' || line[i] > '9') return false;
    }
    record->stamp = line.substr(0, 19);
    size_t appEnd = line.find(' ', 20);
    if (appEnd == std::string::npos) return false;
    record->app = line.substr(20, appEnd - 20);
    size_t versionEnd = line.find(' ', appEnd + 1);
    if (versionEnd == std::string::npos) return false;
    record->version = line.substr(appEnd + 1, versionEnd - appEnd - 1);
    if (versionEnd + 1 >= line.size() || line[versionEnd + 1] != '{') return false;
    size_t processEnd = line.find("} [", versionEnd);
    if (processEnd == std::string::npos) return false;
    record->process = line.substr(versionEnd + 2, processEnd - versionEnd - 2);
    size_t labelEnd = line.find("] ", processEnd + 3);
    if (labelEnd == std::string::npos) return false;
    record->label = line.substr(processEnd + 3, labelEnd - processEnd - 3);
    record->text = line.substr(labelEnd + 2);
    return true;
}

}  // namespace ts
