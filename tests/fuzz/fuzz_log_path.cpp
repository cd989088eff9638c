// Fuzz target for the log writer's path checks. Input: one byte of settings
// (maximum files in the low two bits, the level above), one byte of maximum
// size (signed), then a path inside this process's private folder. The path
// ends at its first zero byte and runs of dots are cut to one, so that no
// input can reach outside that folder (the fuzzer may run as root).
// Everything made for an input is removed again. (What a record holds is
// pinned by LogWrite.RecordAndEcho and by the multi-process log test.)
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fuzzsupport.h"
#include "log.h"
#include "windows_helper.h"

static const std::string base = ts::privateFolder("fuzz_log_path");  // Windows form

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    std::string name((const char *)data + 2, std::min(size - 2, (size_t)300));
    std::string path = base + "\\" + name.c_str();  // up to the first zero byte
    for (size_t dots; (dots = path.find("..", base.size())) != std::string::npos;) path.erase(dots, 1);
    // Refused: a path too long, a folder, one ending in a separator.
    bool mustRefuse = path.size() >= VEK_PATH_SIZE || strchr("\\/", path.back()) != NULL ||
                      win_pathIsDirectory(path.c_str());

    int maxFiles = data[0] & 3, maxSize = (int8_t)data[1];
    LogContext *context = log_createContext(path.c_str(), "fuzz", "1.1.7.0", maxFiles, maxSize, false);
    if (context != NULL) {
        bool named = context->initialized && path == context->filePath;
        if (mustRefuse || !named) ts::fail("accepted or misnamed");
        // Two records, so that a small limit rotates under the input's name.
        for (int i = 0; i < 2; i++) log_write(context, (data[0] >> 2) % 5, "fuzz");
        log_destroyContext(context);
    }
    // The log file, its numbered copies and every folder made for it go, up
    // to the first level below the private folder.
    for (int n = 1; n <= 3; n++) ts::removePath(path + "." + std::to_string(n));
    for (std::string made = path; made.find_first_not_of("\\/", base.size()) != std::string::npos;
         made.erase(made.find_last_of("\\/"))) {
        ts::removePath(made);
    }
    return 0;
}
