// The DLLs the launcher loads while it runs (shell32 and ole32, for the
// roaming application-data folder of the connector tasks whose log lies
// there) come from the system folder only: a DLL of the same name dropped
// beside a launcher copy, in a task folder that its users may write to, never
// runs inside it. (version.dll, loaded the same way for version resources, is
// not tried here: Wine's own DLLs import it at every start, so a setting that
// makes Wine prefer a program's copy loads it into any program.)
#include <gtest/gtest.h>

#include "testsupport.h"
#include "windows_helper.h"

namespace {

// Runs reg.exe with args on the key of Wine's own DLL settings for programs
// named program; true when it succeeded.
bool wineAppDlls(const std::string &program, const std::vector<std::string> &args)
{
    std::string key = "HKCU\\Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
    std::vector<std::string> words = {args[0], key};
    words.insert(words.end(), args.begin() + 1, args.end());
    return ts::run(ts::commandLine("reg", words), ts::buildFolder()).exitCode == 0;
}

// A connector task whose log lies under the roaming application data, so the
// launcher loads shell32 and ole32 to find that folder, with marker DLLs of
// those names beside it. Wine prefers its own DLLs to a program's; told to
// take the program's first, as Windows does for a DLL it does not keep among
// its known ones (a setting of Wine's for programs of that name), Wine shows
// whether the launcher asked for the system folder only. The launcher runs
// the script, and neither marker DLL was loaded.
TEST(SystemDlls, NeverFromTheLaunchersFolder)
{
    if (!ts::onWindows()) GTEST_SKIP() << "only Windows programs load DLLs at run time";
    std::string folder = ts::makeWorkFolder("dllsearch"), exe = ts::layTask(folder, "gondavire.exe");
    ASSERT_TRUE(ts::writeFile(ts::join(folder, "gondavire.a3x"), "report r.txt\nexit 6\n"));
    ASSERT_TRUE(ts::writeFile(ts::join(folder, "connettoreclient.ini"), ""));
    const std::vector<std::string> dlls = {"shell32.dll", "ole32.dll"};
    unsigned long error = 0;
    std::string marker = ts::join(ts::buildFolder(), "markerdll.dll");
    for (const std::string &dll : dlls) {
        std::string copy = ts::join(folder, dll);
        ASSERT_TRUE(win_copyFile(marker.c_str(), copy.c_str(), &error)) << dll << " " << error;
        std::string name = dll.substr(0, dll.size() - 4);
        ASSERT_TRUE(wineAppDlls("gondavire.exe", {"add", "/v", name, "/d", "native,builtin", "/f"})) << dll;
    }
    ts::RunResult r = ts::run(ts::commandLine(exe, {"-q"}), folder);
    EXPECT_TRUE(wineAppDlls("gondavire.exe", {"delete", "/f"}));
    EXPECT_EQ(r.exitCode, 6) << r.startError;
    EXPECT_TRUE(ts::readReport(ts::join(folder, "r.txt")).found);
    for (const std::string &dll : dlls)
        EXPECT_FALSE(ts::fileExists(ts::join(folder, dll + ".loaded"))) << dll << " loaded from its folder";
}

}  // namespace
