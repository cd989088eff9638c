// The Windows executable as an administrator receives it: a version resource
// and a manifest that survive renaming to a task's name. (Its import table is
// checked by the launcher_imports test of the Windows build.)
#include <gtest/gtest.h>

#include "testsupport.h"

#ifdef _WIN32
#include <vector>

#include <windows.h>

// The version resource of the program at path: the fixed file and product
// versions as "a.b.c.d", then its strings FileVersion and OriginalFilename
// ("(none)" when missing), each followed by a blank; "" when it has none.
static std::string versionOf(const std::string &path)
{
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, (DWORD)data.size(), data.data()) ||
        !VerQueryValueA(data.data(), "\\", (void **)&fixed, &length) || fixed == nullptr) {
        return "";
    }
    auto dotted = [](DWORD high, DWORD low) {
        return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
               std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low)) + " ";
    };
    std::string text = dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS) +
                       dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    for (const char *key : {"FileVersion", "OriginalFilename"}) {
        char *value = nullptr;
        const std::string name = std::string("\\StringFileInfo\\041004E4\\") + key;
        VerQueryValueA(data.data(), name.c_str(), (void **)&value, &length);
        text += std::string(value != nullptr ? value : "(none)") + " ";
    }
    return text;
}

// The application manifest of the program at path (resource 1 of type 24);
// "" when it has none.
static std::string manifestOf(const std::string &path)
{
    HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module != NULL ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : NULL;
    HGLOBAL loaded = found != NULL ? LoadResource(module, found) : NULL;
    const char *bytes = loaded != NULL ? (const char *)LockResource(loaded) : NULL;
    std::string text = bytes != NULL ? std::string(bytes, SizeofResource(module, found)) : "";
    if (module != NULL) FreeLibrary(module);
    return text;
}
#endif

// The version numbers, the version text, the original name, and a manifest
// that runs the program as its caller, never asking for elevation.
TEST(Release, VersionResourceOfATaskCopy)
{
#ifdef _WIN32
    std::string copy = ts::layTask(ts::makeWorkFolder("version"), "update_prezzi.exe", false);
    EXPECT_EQ(versionOf(copy), "1.1.7.0 1.1.7.0 1.1.7.0 launcher.exe ");
    EXPECT_NE(manifestOf(copy).find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
#else
    GTEST_SKIP() << "programs carry no version resource natively";
#endif
}
