// The Windows executable as an administrator receives it: a version resource
// that survives renaming to a task's name. (Its import table is checked by
// the launcher_imports test of the Windows build.)
#include <gtest/gtest.h>

#include "testplatform.h"
#include "testsupport.h"

TEST(Release, VersionResourceOfATaskCopy)
{
    if (!ts::onWindows()) GTEST_SKIP() << "programs carry no version resource natively";
    std::string copy = ts::layTask(ts::makeWorkFolder("version"), "update_prezzi.exe", false);
    char file[64], product[64], originalName[64];
    ASSERT_TRUE(tp_getFileVersion(copy.c_str(), file, product, originalName, sizeof file));
    EXPECT_EQ(std::string(file) + " " + product + " " + originalName, "1.1.7.0 1.1.7.0 launcher.exe");
}
