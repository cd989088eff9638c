// The Windows executable as an administrator receives it: a version resource
// and a manifest that survive renaming to a task's name. (Its import table is
// checked by the launcher_imports test of the Windows build.)
#include <gtest/gtest.h>

#include "testplatform.h"
#include "testsupport.h"

// The version numbers, the version text, the original name, and a manifest
// that runs the program as its caller, never asking for elevation.
TEST(Release, VersionResourceOfATaskCopy)
{
    if (!ts::onWindows()) GTEST_SKIP() << "programs carry no version resource natively";
    std::string copy = ts::layTask(ts::makeWorkFolder("version"), "update_prezzi.exe", false);
    char file[64], product[64], text[64], originalName[64], manifest[4096];
    ASSERT_TRUE(tp_getFileVersion(copy.c_str(), "FileVersion", file, product, text, sizeof file));
    ASSERT_TRUE(tp_getFileVersion(copy.c_str(), "OriginalFilename", file, product, originalName,
                                  sizeof originalName));
    EXPECT_EQ(std::string(file) + " " + product + " " + text + " " + originalName,
              "1.1.7.0 1.1.7.0 1.1.7.0 launcher.exe");
    ASSERT_TRUE(tp_getManifest(copy.c_str(), manifest, sizeof manifest));
    EXPECT_NE(std::string(manifest).find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}
