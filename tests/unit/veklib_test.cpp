// The package folders below an application-data folder that the test makes
// and passes in: the joins, the level named after the executable folder, and
// the levels created.
#include <cstdlib>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "veklib.h"

// laid: the levels that exist before (1: VEK, 2: VEK\P too, 3: and a file
// VEK\P\x-y in the way); vendor and subfolder as passed (null: "VEK" and
// none); made: below the application-data folder, "" when there is none. On
// failure nothing is made below the first missing level; a second call gives
// the same answer.
TEST(PackageFolder, JoinsAndCreatesTheLastLevels)
{
    const std::string longFolder = "D:\\" + std::string(125, 'p') + "\\" + std::string(125, 'l');
    const struct { const char *name; int laid; const char *vendor, *subfolder; std::string exeFolder, made; }
    cases[] = {
        {"empty parts skipped", 2, "VEK", "Log", "D:\\a\\\\Tools\\\\Conn\\", "VEK\\P\\Tools-Conn\\Log"},
        {"one level below a drive root", 2, "VEK", "Log", "D:\\Tools", "VEK\\P\\D-Tools\\Log"},
        {"drive root", 2, "VEK", "Log", "D:\\", "VEK\\P\\Log"},
        {"default vendor, no subfolder", 2, nullptr, nullptr, "D:\\x\\y", "VEK\\P\\x-y"},
        {"package missing", 1, "VEK", "Log", "D:\\x\\y", ""},
        {"level is a file", 3, "VEK", "Log", "D:\\x\\y", ""},
        {"too long to join", 2, "VEK", "Log", longFolder, ""},
    };
    for (const auto &c : cases) {
        const std::string appData = ts::makeWorkFolder("pkg"), vendor = ts::join(appData, "VEK");
        const std::string package = vendor + "\\P";
        ASSERT_TRUE(ts::makeFolder(vendor) && (c.laid < 2 || ts::makeFolder(package))) << c.name;
        ASSERT_TRUE(c.laid < 3 || ts::writeFile(ts::join(package, "x-y"), "a file")) << c.name;
        char *path = vek_createPathSpecialFolderPacchetto("P", c.subfolder, c.vendor, appData.c_str(), true,
                                                          c.exeFolder.c_str());
        EXPECT_EQ(std::string(path ? path : ""), c.made.empty() ? "" : ts::join(appData, c.made)) << c.name;
        EXPECT_EQ(ts::fileExists(package), path != nullptr || c.laid > 1) << c.name;
        char *again = vek_createPathSpecialFolderPacchetto("P", c.subfolder, c.vendor, appData.c_str(), true,
                                                           c.exeFolder.c_str());
        EXPECT_EQ(std::string(again ? again : ""), std::string(path ? path : "")) << c.name << ", again";
        free(again);
        free(path);
    }
}
