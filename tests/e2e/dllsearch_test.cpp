// The DLLs the launcher loads while it runs (shell32 and ole32, for the
// roaming application-data folder of the connector tasks whose log lies
// there) come from the system folder only: a DLL of the same name dropped
// beside a launcher copy, in a task folder that its users may write to, never
// runs inside it. (version.dll, loaded the same way for version resources, is
// not tried here: Wine's own DLLs import it at every start, so a setting that
// makes Wine prefer a program's copy loads it into any program.)
#include "tasklaunch.h"

using namespace ts;

// A connector task whose log lies under the roaming application data, so the
// launcher loads shell32 and ole32 to find that folder, with marker DLLs of
// those names beside it. Wine prefers its own DLLs to a program's; told to
// take the program's first, as Windows does for a DLL it does not keep among
// its known ones (a setting of Wine's for programs of that name, made with
// reg.exe), Wine shows whether the launcher asked for the system folder only.
// The launcher runs the script, and neither marker DLL was loaded.
TEST(SystemDlls, NeverFromTheLaunchersFolder)
{
    if (!ts::onWindows()) GTEST_SKIP() << "only Windows programs load DLLs at run time";
    const std::string MARKER = ts::readFile(ts::join(ts::buildFolder(), "markerdll.dll"));
    ASSERT_FALSE(MARKER.empty());
    const Files FILES = {{"connettoreclient.ini", ""}, {"shell32.dll", MARKER}, {"ole32.dll", MARKER}};
    std::string folder = ts::makeWorkFolder("dllsearch");
    std::string exe = lay({"gondavire.exe", REPORT, true, FILES}, folder);
    const std::string key = "HKCU\\Software\\Wine\\AppDefaults\\gondavire.exe\\DllOverrides";
    auto reg = [](const Texts &w) { return ts::run(ts::commandLine("reg", w), ts::buildFolder()).exitCode; };
    for (const char *dll : {"shell32", "ole32"}) {
        ASSERT_EQ(reg({"add", key, "/v", dll, "/d", "native,builtin", "/f"}), 0) << dll;
    }
    Launch launch = runCopy(exe, {"-q"}, "");
    EXPECT_EQ(reg({"delete", key, "/f"}), 0);
    EXPECT_EQ(launch.exitCode, 0);
    EXPECT_EQ(launch.received, Texts{"-q"});
    EXPECT_FALSE(ts::fileExists(ts::join(folder, "shell32.dll.loaded"))) << "shell32 loaded from its folder";
    EXPECT_FALSE(ts::fileExists(ts::join(folder, "ole32.dll.loaded"))) << "ole32 loaded from its folder";
}
