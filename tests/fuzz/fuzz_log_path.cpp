// Fuzz target for the log writer's path checks. Each input becomes a log path
// inside this process's private folder; a context made for it is complete and
// names that path, a refused one leaves nothing behind, and records written
// through an accepted one land whole. Everything created is removed again.
//
// Input: one byte of settings (maximum files in the low two bits, the level
// in the rest), one byte of maximum size (signed), then the path's bytes.
// The path is made relative before use: zero bytes and colons are dropped,
// ".." segments removed and leading separators stripped, so that no input
// can reach outside the private folder (the fuzzer may run as root).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzzsupport.h"
#include "log.h"
#include "windows_helper.h"

static const char *const TARGET = "fuzz_log_path";
static const size_t MAX_PATH_LENGTH = 300;   // a little past the 259 a path may hold

static std::string base;   // the private folder, Windows form

// True for the two characters that separate folders.
static bool _isSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The bytes as a path relative to the private folder: no zero bytes, no
// colons, no ".." segments and no leading separator.
static std::string _relativePath(const std::string &bytes)
{
    std::string kept;
    for (char c : bytes) {
        if (c != '\0' && c != ':') kept += c;
    }
    std::string path;
    size_t start = 0;
    while (start <= kept.size()) {
        size_t end = start;
        while (end < kept.size() && !_isSeparator(kept[end])) end++;
        std::string segment = kept.substr(start, end - start);
        if (segment != "..") path += segment;
        if (end < kept.size()) path += kept[end];
        start = end + 1;
    }
    size_t first = 0;
    while (first < path.size() && _isSeparator(path[first])) first++;
    return path.substr(first);
}

// The whole file at path, or "" when it cannot be read.
static std::string _readFile(const std::string &path)
{
    std::string contents;
    FILE *file = win_fopen(path.c_str(), "rb");
    if (file == NULL) return contents;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) contents.append(chunk, got);
    fclose(file);
    return contents;
}

// Removes the log file, its numbered copies and the folder made for it.
static void _cleanUp(const std::string &path)
{
    win_removeFile(path.c_str());
    for (int n = 1; n <= 3; n++) win_removeFile((path + "." + std::to_string(n)).c_str());
    size_t cut = path.rfind('\\');
    if (cut != std::string::npos && path.substr(0, cut) != base) fuzz_remove(path.substr(0, cut));
}

// Removes the private folder when the process ends (it is empty by then).
static void _removeBase(void)
{
    fuzz_remove(base);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    base = fuzz_privateFolder(TARGET);
    atexit(_removeBase);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    int maxFiles = data[0] & 3;
    unsigned int level = (unsigned int)(data[0] >> 2) % 5;
    int maxFileSize = (int)(int8_t)data[1];
    std::string raw((const char *)data + 2, size - 2);
    if (raw.size() > MAX_PATH_LENGTH) raw.resize(MAX_PATH_LENGTH);
    std::string path = base + "\\" + _relativePath(raw);
    if (path.size() > MAX_PATH_LENGTH) path.resize(MAX_PATH_LENGTH);
    std::string shown = fuzz_printable(path);

    char last = path.back();
    bool mustRefuse = _isSeparator(last) || win_pathIsDirectory(path.c_str());
    LogContext *context = log_createContext(path.c_str(), "fuzz", "1.1.7.0", maxFiles, maxFileSize, false);
    if (context == NULL) {
        _cleanUp(path);
        return 0;
    }
    if (mustRefuse) fuzz_fail(TARGET, "a folder or a path ending in a separator was accepted: " + shown);
    if (!context->initialized) fuzz_fail(TARGET, "a context that is not initialized: " + shown);
    if (memchr(context->filePath, '\0', sizeof context->filePath) == NULL ||
        path.compare(0, VEK_PATH_SIZE - 1, context->filePath) != 0 || strcmp(context->appName, "fuzz") != 0) {
        fuzz_fail(TARGET, "the context does not name the path: " + shown);
    }
    size_t cut = path.rfind('\\');
    if (!win_pathIsDirectory(path.substr(0, cut).c_str())) {
        fuzz_fail(TARGET, "accepted without the folder in place: " + shown);
    }

    log_write(context, level, "fuzz");
    log_write(context, level, "fuzz");
    if (maxFiles <= 0 || maxFileSize <= 0) {
        // Without rotation the file, when it could be made, holds both records whole.
        std::string written = _readFile(context->filePath);
        const char *ending = "] fuzz\n";
        size_t lines = 0;
        for (char c : written) lines += c == '\n';
        if (!written.empty() && (lines != 2 || written.size() < strlen(ending) ||
                                 written.compare(written.size() - strlen(ending), strlen(ending), ending) != 0)) {
            fuzz_fail(TARGET, "records not written whole: " + shown);
        }
    }
    log_destroyContext(context);
    _cleanUp(path);
    return 0;
}
