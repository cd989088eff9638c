// The package folders below an application-data folder that the test makes
// and passes in: the joins, the level named after the executable folder, and
// the levels created.
#include <cstdlib>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "veklib.h"

// Package P with the subfolder Log, as the launcher asks for it. laid: the
// levels that exist before (1: VEK, 2: VEK\P too, 3: and a file VEK\P\x-y in
// the way); made: below the application-data folder, "" when there is none.
// On failure nothing is made below the first missing level; a second call
// gives the same answer. (An executable folder too long to join is one of
// LogLocation.KeywordsAndEveryRow.)
TEST(PackageFolder, JoinsAndCreatesTheLastLevels)
{
    const struct { const char *name; int laid; std::string exeFolder, made; } cases[] = {
        {"empty parts skipped", 2, "D:\\a\\\\Tools\\\\Conn\\", "VEK\\P\\Tools-Conn\\Log"},
        {"one level below a drive root", 2, "D:\\Tools", "VEK\\P\\D-Tools\\Log"},
        {"drive root", 2, "D:\\", "VEK\\P\\Log"},
        {"package missing", 1, "D:\\x\\y", ""},
        {"level is a file", 3, "D:\\x\\y", ""},
    };
    for (const auto &c : cases) {
        const std::string appData = ts::makeWorkFolder("pkg"), vendor = ts::join(appData, "VEK");
        const std::string package = vendor + "\\P";
        ASSERT_TRUE(ts::makeFolder(vendor) && (c.laid < 2 || ts::makeFolder(package))) << c.name;
        ASSERT_TRUE(c.laid < 3 || ts::writeFile(ts::join(package, "x-y"), "a file")) << c.name;
        const char *exe = c.exeFolder.c_str();
        char *path = vek_createPathSpecialFolderPacchetto("P", "Log", "VEK", appData.c_str(), true, exe);
        EXPECT_EQ(std::string(path ? path : ""), c.made.empty() ? "" : ts::join(appData, c.made)) << c.name;
        EXPECT_EQ(ts::fileExists(package), path != nullptr || c.laid > 1) << c.name;
        char *again = vek_createPathSpecialFolderPacchetto("P", "Log", "VEK", appData.c_str(), true, exe);
        EXPECT_EQ(std::string(again ? again : ""), std::string(path ? path : "")) << c.name << ", again";
        free(again);
        free(path);
    }
}
