// The Windows executable as an administrator receives it: only system DLLs
// imported, and a version resource that survives renaming to a task's name.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Little-endian integer of n bytes at offset, or 0 past the end.
uint32_t readLe(const std::string &bytes, size_t offset, int n)
{
    if (offset + (size_t)n > bytes.size()) return 0;
    uint32_t value = 0;
    for (int i = n - 1; i >= 0; i--) value = (value << 8) | (unsigned char)bytes[offset + (size_t)i];
    return value;
}

// The names of the DLLs a PE32+ executable imports, lower-cased; empty when
// the file is not one.
std::vector<std::string> importedDlls(const std::string &pe)
{
    std::vector<std::string> dlls;
    uint32_t header = readLe(pe, 0x3C, 4);
    if (pe.compare(0, 2, "MZ") != 0 || pe.compare(header, 4, std::string("PE\0\0", 4)) != 0) return dlls;
    size_t coff = header + 4;
    uint32_t sections = readLe(pe, coff + 2, 2);
    uint32_t optionalSize = readLe(pe, coff + 16, 2);
    size_t optional = coff + 20;
    if (readLe(pe, optional, 2) != 0x20B) return dlls;
    uint32_t importRva = readLe(pe, optional + 112 + 8, 4);  // data directory 1
    size_t table = optional + optionalSize;
    auto toOffset = [&](uint32_t rva) -> size_t {
        for (uint32_t i = 0; i < sections; i++) {
            size_t s = table + i * 40;
            uint32_t va = readLe(pe, s + 12, 4), rawSize = readLe(pe, s + 16, 4), raw = readLe(pe, s + 20, 4);
            if (rva >= va && rva < va + rawSize) return raw + (rva - va);
        }
        return pe.size();
    };
    for (size_t d = toOffset(importRva); d + 20 <= pe.size(); d += 20) {
        uint32_t nameRva = readLe(pe, d + 12, 4);
        if (nameRva == 0) break;
        size_t at = toOffset(nameRva);
        std::string name;
        while (at < pe.size() && pe[at] != '\0') name += (char)tolower((unsigned char)pe[at++]);
        dlls.push_back(name);
    }
    return dlls;
}

}  // namespace

TEST(Release, LauncherImportsOnlySystemDlls)
{
    if (!ts::onWindows()) GTEST_SKIP() << "the Windows build's check";
    const std::vector<std::string> allowed{"kernel32.dll", "msvcrt.dll", "shlwapi.dll",
                                           "shell32.dll",  "ole32.dll",  "advapi32.dll"};
    std::vector<std::string> dlls = importedDlls(ts::readFile(ts::builtProgram("launcher")));
    ASSERT_FALSE(dlls.empty()) << "no import table read";
    for (const std::string &dll : dlls) {
        EXPECT_NE(allowed.end(), std::find(allowed.begin(), allowed.end(), dll)) << dll;
    }
}

TEST(Release, VersionResourceOfATaskCopy)
{
    if (!ts::onWindows()) GTEST_SKIP() << "programs carry no version resource natively";
    std::string copy = ts::layTask(ts::makeWorkFolder("version"), "update_prezzi.exe", false);
    char fileVersion[64], productVersion[64], originalName[VEK_PATH_SIZE];
    ASSERT_TRUE(win_getFileVersion(copy.c_str(), fileVersion, productVersion, originalName, sizeof fileVersion));
    EXPECT_STREQ("1.1.7.0", fileVersion);
    EXPECT_STREQ("1.1.7.0", productVersion);
    EXPECT_STREQ("launcher.exe", originalName);
}
