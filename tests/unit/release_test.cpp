// The Windows executable as an administrator receives it: only system DLLs
// imported, and a version resource that survives renaming to a task's name.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <set>
#include <string>

// Little-endian integer of n bytes at offset, or 0 past the end.
static uint32_t readLe(const std::string &bytes, size_t offset, int n)
{
    uint32_t value = 0;
    for (int i = n - 1; i >= 0 && offset + (size_t)n <= bytes.size(); i--) {
        value = (value << 8) | (unsigned char)bytes[offset + (size_t)i];
    }
    return value;
}

TEST(Release, LauncherImportsOnlySystemDlls)
{
    if (!ts::onWindows()) GTEST_SKIP() << "the Windows build's check";
    // PE32+: COFF header after "PE\0\0", the import directory is data
    // directory 1 of the optional header, names are found through the sections.
    std::string pe = ts::readFile(ts::builtProgram("launcher"));
    size_t coff = readLe(pe, 0x3C, 4) + 4, optional = coff + 20;
    ASSERT_EQ(0x20Bu, readLe(pe, optional, 2));
    size_t sections = optional + readLe(pe, coff + 16, 2);
    auto offsetOf = [&](uint32_t rva) -> size_t {
        for (size_t s = sections; s < sections + 40 * readLe(pe, coff + 2, 2); s += 40) {
            uint32_t va = readLe(pe, s + 12, 4);
            if (rva >= va && rva < va + readLe(pe, s + 16, 4)) return readLe(pe, s + 20, 4) + (rva - va);
        }
        return pe.size();
    };
    const std::set<std::string> allowed{"kernel32.dll", "msvcrt.dll", "shlwapi.dll",
                                        "shell32.dll",  "ole32.dll",  "advapi32.dll"};
    int count = 0;
    for (size_t d = offsetOf(readLe(pe, optional + 120, 4)); readLe(pe, d + 12, 4) != 0; d += 20, count++) {
        std::string name;
        for (size_t at = offsetOf(readLe(pe, d + 12, 4)); at < pe.size() && pe[at]; at++) {
            name += (char)tolower((unsigned char)pe[at]);
        }
        EXPECT_EQ(1u, allowed.count(name)) << name;
    }
    EXPECT_GE(count, 3) << "import table not read";
}

TEST(Release, VersionResourceOfATaskCopy)
{
    if (!ts::onWindows()) GTEST_SKIP() << "programs carry no version resource natively";
    std::string copy = ts::layTask(ts::makeWorkFolder("version"), "update_prezzi.exe", false);
    char fileVersion[64], productVersion[64], originalName[VEK_PATH_SIZE];
    ASSERT_TRUE(win_getFileVersion(copy.c_str(), fileVersion, productVersion, originalName, sizeof fileVersion));
    EXPECT_EQ("1.1.7.0 1.1.7.0 launcher.exe", std::string(fileVersion) + " " + productVersion + " " + originalName);
}
