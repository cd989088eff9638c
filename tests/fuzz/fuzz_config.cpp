// Fuzz target for the configuration loader: any file contents load, the
// record in force is complete, and its values can only come from the keys
// that set them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "configuration.h"
#include "fuzzsupport.h"
#include "windows_helper.h"

static const char *const TARGET = "fuzz_config";

static std::string folder;             // the private folder
static std::string iniPath;            // the file each input is written to
static const char *sharedEmpty = NULL;  // the loader's shared empty text

// Releases the record the last load installed; the loader itself keeps it
// for the whole process, which the leak check would report.
static void _releaseConfig(void)
{
    if (config == NULL) return;
    if (config->pathconnettore != sharedEmpty) free(config->pathconnettore);
    free(config);
    config = NULL;
}

// Removes the INI file and the private folder when the process ends.
static void _removeFolder(void)
{
    fuzz_remove(iniPath);
    fuzz_remove(folder);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder = fuzz_privateFolder(TARGET);
    iniPath = folder + "\\fuzz.ini";
    atexit(_removeFolder);

    // The empty record tells which text is the shared empty one.
    if (!conf_load_empty()) fuzz_fail(TARGET, "no memory for an empty record");
    sharedEmpty = config->pathconnettore;
    _releaseConfig();

    // A folder and a missing file are refused and leave no record.
    if (conf_load(folder.c_str()) || config != NULL) fuzz_fail(TARGET, "a folder was loaded as INI file");
    if (conf_load(iniPath.c_str()) || config != NULL) fuzz_fail(TARGET, "a missing file was loaded");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string contents((const char *)data, size);
    FILE *file = win_fopen(iniPath.c_str(), "wb");
    if (file == NULL) fuzz_fail(TARGET, "cannot write " + iniPath);
    bool written = fwrite(data, 1, size, file) == size;
    if (fclose(file) != 0 || !written) fuzz_fail(TARGET, "cannot write " + iniPath);

    if (!conf_load(iniPath.c_str())) fuzz_fail(TARGET, "an existing file was not loaded");
    if (config == NULL || conf_get() != config) fuzz_fail(TARGET, "the loaded record is not in force");

    unsigned char echo;
    memcpy(&echo, &config->debug_to_console, 1);  // a stray byte would not read as a bool
    if (echo > 1) fuzz_fail(TARGET, "debug_to_console is neither false nor true");
    if (echo == 1 && contents.find("$debug_to_console") == std::string::npos) {
        fuzz_fail(TARGET, "echo on without its key");
    }

    const char *path = config->pathconnettore;
    if (path == NULL) fuzz_fail(TARGET, "no connector path (no allocation failed)");
    if (contents.find("$pathconnettore") == std::string::npos && path != sharedEmpty) {
        fuzz_fail(TARGET, "a connector path without its key");
    }
    // The reader's line buffer holds 199 characters; no value is longer.
    if (strlen(path) > 199) fuzz_fail(TARGET, "a connector path longer than a line");

    _releaseConfig();
    return 0;
}
