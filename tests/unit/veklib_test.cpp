// The package folders below an application-data folder that the test makes
// and passes in: the joins, the level named after the executable folder, and
// the levels created.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "veklib.h"
#include "windows_helper.h"

namespace {

TEST(PackageFolder, JoinsAndCreatesTheLastLevels)
{
    struct Case {
        const char *name;
        bool vendorExists, packageExists;
        const char *vendor;       // as passed; null or empty means "VEK"
        const char *subfolder;    // as passed; null or empty means none
        bool includeExe;
        const char *exeFolder;
        const char *expected;     // below the application-data folder; null: no result
    };
    const std::string longFolder = "D:\\" + std::string(125, 'p') + "\\" + std::string(125, 'l');
    const Case cases[] = {
        {"full tree", true, true, "VEK", "Log", true, "D:\\Connettori\\QODSQL", "VEK\\PKG\\Connettori-QODSQL\\Log"},
        {"last two of a deep folder", true, true, "VEK", "Log", true, "D:\\a\\b\\Tools\\Connettori",
         "VEK\\PKG\\Tools-Connettori\\Log"},
        {"empty components skipped", true, true, "VEK", "Log", true, "D:\\\\Tools\\\\Conn\\",
         "VEK\\PKG\\Tools-Conn\\Log"},
        {"one level below a drive root", true, true, "VEK", "Log", true, "D:\\Tools", "VEK\\PKG\\D-Tools\\Log"},
        {"drive root", true, true, "VEK", "Log", true, "D:\\", "VEK\\PKG\\Log"},
        {"default vendor from null", true, true, nullptr, "Log", true, "D:\\x\\y", "VEK\\PKG\\x-y\\Log"},
        {"default vendor from empty", true, true, "", "Log", true, "D:\\x\\y", "VEK\\PKG\\x-y\\Log"},
        {"no subfolder", true, true, "VEK", nullptr, true, "D:\\x\\y", "VEK\\PKG\\x-y"},
        {"empty subfolder", true, true, "VEK", "", true, "D:\\x\\y", "VEK\\PKG\\x-y"},
        {"flag clear creates the package", true, false, "VEK", "Log", false, "D:\\x\\y", "VEK\\PKG\\Log"},
        {"package missing", true, false, "VEK", "Log", true, "D:\\x\\y", nullptr},
        {"vendor missing", false, false, "VEK", "Log", true, "D:\\x\\y", nullptr},
        {"vendor missing, flag clear", false, false, "VEK", "Log", false, "D:\\x\\y", nullptr},
        {"too long to join", true, true, "VEK", "Log", true, longFolder.c_str(), nullptr},
    };
    for (const Case &c : cases) {
        std::string appData = ts::makeWorkFolder("appdata");
        std::string vendor = ts::join(appData, "VEK");
        std::string package = ts::join(vendor, "PKG");
        if (c.vendorExists) ts::makeFolder(vendor);
        if (c.packageExists) ts::makeFolder(package);

        char *path = vek_createPathSpecialFolderPacchetto("PKG", c.subfolder, c.vendor, appData.c_str(),
                                                          c.includeExe, c.exeFolder);
        if (c.expected == nullptr) {
            EXPECT_EQ(path, nullptr) << c.name;
            // Nothing below the first missing level was made.
            EXPECT_EQ(ts::fileExists(vendor), c.vendorExists) << c.name;
            EXPECT_EQ(ts::fileExists(package), c.packageExists) << c.name;
            EXPECT_FALSE(ts::fileExists(ts::join(package, "Log"))) << c.name;
            EXPECT_FALSE(ts::fileExists(ts::join(package, "x-y"))) << c.name;
        } else {
            ASSERT_NE(path, nullptr) << c.name;
            EXPECT_EQ(std::string(path), ts::join(appData, c.expected)) << c.name;
            EXPECT_TRUE(win_pathIsDirectory(path)) << c.name;
        }
        free(path);
    }
}

TEST(PackageFolder, ExistingLevelsAreKept)
{
    std::string appData = ts::makeWorkFolder("appdata_again");
    ts::makeFolder(ts::join(appData, "VEK"));
    ts::makeFolder(ts::join(ts::join(appData, "VEK"), "PKG"));
    std::string expected = ts::join(appData, "VEK\\PKG\\x-y\\Log");
    for (int round = 0; round < 2; round++) {
        char *path = vek_createPathSpecialFolderPacchetto("PKG", "Log", "VEK", appData.c_str(), true, "D:\\x\\y");
        ASSERT_NE(path, nullptr) << round;
        EXPECT_EQ(std::string(path), expected) << round;
        free(path);
    }
    ts::writeFile(ts::join(expected, "kept.log"), "kept");
    char *path = vek_createPathSpecialFolderPacchetto("PKG", "Log", "VEK", appData.c_str(), true, "D:\\x\\y");
    free(path);
    EXPECT_EQ(ts::readFile(ts::join(expected, "kept.log")), "kept");
}

TEST(PackageFolder, LevelThatIsAFileFails)
{
    std::string appData = ts::makeWorkFolder("appdata_file");
    ts::makeFolder(ts::join(appData, "VEK"));
    ts::makeFolder(ts::join(appData, "VEK\\PKG"));
    ts::writeFile(ts::join(appData, "VEK\\PKG\\x-y"), "a file");
    EXPECT_EQ(vek_createPathSpecialFolderPacchetto("PKG", "Log", "VEK", appData.c_str(), true, "D:\\x\\y"), nullptr);
}

}  // namespace
