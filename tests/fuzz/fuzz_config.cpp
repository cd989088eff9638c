// Fuzz target for the configuration loader: any file contents load, the
// loaded record is the one in force, and its echo flag is a clean bool.
#include <cstdint>

#include "configuration.h"
#include "fuzzsupport.h"
#include "windows_helper.h"

// The file each input is written to, in this process's private folder.
static const std::string iniPath = ts::privateFolder("fuzz_config") + "\\fuzz.ini";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = win_fopen(iniPath.c_str(), "wb");
    if (file == NULL || fwrite(data, 1, size, file) != size || fclose(file) != 0) ts::fail("cannot write");
    bool loaded = conf_load(iniPath.c_str());
    if (!loaded || config == NULL || conf_get() != config) ts::fail("no record in force");
    // Read as a byte: a stray value would not read as a bool.
    if (*(const unsigned char *)&config->debug_to_console > 1) ts::fail("echo neither 0 nor 1");

    // Loading the file, once gone, fails and releases the record, which keeps
    // the leak check quiet about it.
    bool removed = ts::removePath(iniPath);
    if (!removed || conf_load(iniPath.c_str()) || config != NULL) ts::fail("a missing file was loaded");
    return 0;
}
