// The Windows executable as an administrator receives it: a version resource
// that survives renaming to a task's name. (Its import table is checked by
// the launcher_imports test of the Windows build.)
#include "testsupport.h"
#include "vekstringlib.h"
#include "testplatform.h"

#include <gtest/gtest.h>

#include <string>

TEST(Release, VersionResourceOfATaskCopy)
{
    if (!ts::onWindows()) GTEST_SKIP() << "programs carry no version resource natively";
    std::string copy = ts::layTask(ts::makeWorkFolder("version"), "update_prezzi.exe", false);
    char fileVersion[64], productVersion[64], originalName[VEK_PATH_SIZE];
    ASSERT_TRUE(tp_getFileVersion(copy.c_str(), fileVersion, productVersion, originalName, sizeof fileVersion));
    EXPECT_EQ("1.1.7.0 1.1.7.0 launcher.exe", std::string(fileVersion) + " " + productVersion + " " + originalName);
}
