// The package folders below an application-data folder that the test makes
// and passes in: the joins, the level named after the executable folder, and
// the levels created.
#include <cstdlib>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "veklib.h"

TEST(PackageFolder, JoinsAndCreatesTheLastLevels)
{
    const std::string longFolder = "D:\\" + std::string(125, 'p') + "\\" + std::string(125, 'l');
    // laid: the levels that exist before (VEK, then VEK\P; 3 adds a file VEK\P\x-y in the way);
    // vendor and subfolder as passed, null meaning "VEK" and none; expected: below the
    // application-data folder, null when there is no result.
    const struct { const char *name; int laid; const char *vendor, *subfolder; bool includeExe;
                   const char *exeFolder, *expected; } cases[] = {
        {"full tree", 2, "VEK", "Log", true, "D:\\Connettori\\QODSQL", "VEK\\P\\Connettori-QODSQL\\Log"},
        {"last two, empty parts skipped", 2, "VEK", "Log", true, "D:\\a\\\\Tools\\\\Conn\\", "VEK\\P\\Tools-Conn\\Log"},
        {"one level below a drive root", 2, "VEK", "Log", true, "D:\\Tools", "VEK\\P\\D-Tools\\Log"},
        {"drive root", 2, "VEK", "Log", true, "D:\\", "VEK\\P\\Log"},
        {"default vendor, no subfolder", 2, nullptr, nullptr, true, "D:\\x\\y", "VEK\\P\\x-y"},
        {"package missing", 1, "VEK", "Log", true, "D:\\x\\y", nullptr},
        {"vendor missing", 0, "VEK", "Log", false, "D:\\x\\y", nullptr},
        {"level is a file", 3, "VEK", "Log", true, "D:\\x\\y", nullptr},
        {"too long to join", 2, "VEK", "Log", true, longFolder.c_str(), nullptr},
    };
    for (const auto &c : cases) {
        std::string appData = ts::makeWorkFolder("pkg"), vendor = ts::join(appData, "VEK"), package = vendor + "\\P";
        ASSERT_TRUE((c.laid < 1 || ts::makeFolder(vendor)) && (c.laid < 2 || ts::makeFolder(package)) &&
                    (c.laid < 3 || ts::writeFile(ts::join(package, "x-y"), "a file"))) << c.name;
        auto create = [&] { return vek_createPathSpecialFolderPacchetto("P", c.subfolder, c.vendor, appData.c_str(),
                                                                        c.includeExe, c.exeFolder); };
        char *path = create();
        EXPECT_EQ(std::string(path ? path : "null"), c.expected ? ts::join(appData, c.expected) : "null") << c.name;
        // On failure nothing is made below the first missing level; on success a
        // second call finds the same folders and keeps what they hold.
        EXPECT_EQ(ts::fileExists(vendor) + ts::fileExists(package), path ? 2 : (c.laid > 0) + (c.laid > 1)) << c.name;
        if (path == nullptr) continue;
        EXPECT_TRUE(ts::writeFile(ts::join(path, "kept"), "kept")) << c.name;
        char *again = create();
        EXPECT_TRUE(again && std::string(again) == path && ts::readFile(ts::join(path, "kept")) == "kept") << c.name;
        free(again), free(path);
    }
}
