// Fuzz target for the configuration loader: any file contents load, the
// loaded record is the one in force, and its echo flag is a clean bool.
#include <cstdint>

#include "configuration.h"
#include "fuzzsupport.h"
#include "windows_helper.h"

static const char *const TARGET = "fuzz_config";
static std::string iniPath;  // the file each input is written to, in the private folder

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    iniPath = fuzz_privateFolder(TARGET) + "\\fuzz.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = win_fopen(iniPath.c_str(), "wb");
    if (file == NULL || fwrite(data, 1, size, file) != size || fclose(file) != 0) fuzz_fail(TARGET, "cannot write");
    if (!conf_load(iniPath.c_str()) || config == NULL || conf_get() != config) fuzz_fail(TARGET, "no record in force");
    // Read as a byte: a stray value would not read as a bool.
    if (*(const unsigned char *)&config->debug_to_console > 1) fuzz_fail(TARGET, "echo neither 0 nor 1");

    fuzz_remove(iniPath);
    // Loading the file, now gone, fails and releases the record, which keeps
    // the leak check quiet about it.
    if (conf_load(iniPath.c_str()) || config != NULL) fuzz_fail(TARGET, "a missing file was loaded");
    return 0;
}
