// The platform layer. The path vectors run unchanged against both backends, so
// the POSIX layer is held to what the system's own path functions answer.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>

// expected "": the join fails. Letter case, trailing dots and blanks are kept as
// given. A relative folder keeps its leading "..", but a
// ".." climbing past the start (a second leading one too) leaves a rooted "\".
// (The Windows build also joins 4,000 generated pairs both ways and compares
// them: path_differential.)
TEST(PathCombine, SharedVectors)
{
    const std::string dir249 = "C:\\" + std::string(246, 'd');
    const struct { std::string dir, file, expected; } cases[] = {
        {"C:\\a\\b\\..\\c", "f", "C:\\a\\c\\f"},
        {"C:\\a\\b", "..\\..\\..\\f", "C:\\f"},
        {"C:\\dir", "D:\\other\\f", "D:\\other\\f"},
        {"C:\\dir\\sub", "\\rooted\\f", "C:\\rooted\\f"},
        {"C:", "f.txt", "C:\\f.txt"},
        {"\\\\srv\\share\\a", "\\f", "\\\\srv\\share\\f"},
        {dir249, std::string(9, 'f'), dir249 + "\\fffffffff"},
        {dir249, std::string(10, 'f'), ""},
        {"..\\logs", "x.log", "..\\logs\\x.log"},
        {"..\\..\\a", "..\\f", "\\f"},
        {"logs\\..\\..", "x", "\\x"},
        {"logs", "\\x.log", "x.log"},
        {"c:\\Dir\\SUB", "File.TXT", "c:\\Dir\\SUB\\File.TXT"},
        {"C:\\dir. ", "f. .", "C:\\dir. \\f. ."},
    };
    for (const auto &c : cases) {
        char buffer[VEK_PATH_SIZE];
        const std::string name = c.dir + " + " + c.file;
        EXPECT_EQ(win_combinePath(buffer, c.dir.c_str(), c.file.c_str()), !c.expected.empty()) << name;
        EXPECT_EQ(buffer, c.expected) << name;
        char *joined = win_concatPaths(c.dir.c_str(), c.file.c_str());
        EXPECT_EQ(joined ? joined : "", c.expected) << name;
        free(joined);
    }
}

// What the exeinfo tool prints about itself, and its exit code, copied under a
// base name without a dot, at a path of 259 characters, the longest that fits
// the 260-character buffer, and into a drive root, which keeps its backslash:
// natively the file system's root, under Wine drive C:. (A longer path is
// refused, on Windows too: Win32Identity.OwnPathInTheAnsiCodePage; a name with
// several dots keeps all but the last: see the launcher's own tests.)
TEST(ExeInfo, FolderAndBaseNameOfCopies)
{
    std::string folder = ts::makeWorkFolder("exeinfo"), deep = folder;
    while (deep.size() < 200) ASSERT_TRUE(ts::makeFolder(deep = ts::join(deep, std::string(40, 'd'))));
    const std::string pad259(259 - deep.size() - 5, 'n'), root = ts::onWindows() ? "C:\\" : "Z:\\";
    const std::string probe = "probe" + std::to_string(win_getProcessId());
    const struct { std::string folder, name, base; } cases[] = {
        {folder, "lirmak", "lirmak"},
        {deep, pad259 + ".exe", pad259},
        {root, probe + ".exe", probe},
    };
    for (const auto &c : cases) {
        std::string copy = ts::join(c.folder, c.name);
        unsigned long error = 0;
        bool copied = win_copyFile(ts::builtProgram("exeinfo").c_str(), copy.c_str(), &error);
        if (!copied && c.folder == root) GTEST_SKIP() << "no program can be written into " << root << " here";
        ASSERT_TRUE(copied) << copy << ": error " << error;
        ts::RunResult r = ts::run(ts::commandLine(copy, {}), ts::makeWorkFolder("caller"));
        win_removeFile(copy.c_str());
        EXPECT_EQ(ts::lf(r.out) + "exit " + std::to_string(r.exitCode),
                  "path=" + copy + "\nfolder=" + c.folder + "\nbase=" + c.base + "\nexit 0");
    }
}

// Natively drive Z: is the file system's root and every other drive is missing.
TEST(Folders, DriveZIsTheRootNatively)
{
    if (ts::onWindows()) GTEST_SKIP() << "the drives are the system's own under Wine";
    EXPECT_TRUE(win_pathIsDirectory("Z:\\") && win_fileExists("z:\\") && !win_fileExists("D:\\"));
}

// The host's name as the system gives it beside the layer under test: the
// COMPUTERNAME variable on Windows, the kernel's host name natively.
static std::string hostName()
{
    if (ts::onWindows()) return getenv("COMPUTERNAME") != nullptr ? getenv("COMPUTERNAME") : "";
    std::ifstream file("/proc/sys/kernel/hostname");
    std::string name;
    std::getline(file, name);
    return name.substr(0, name.find('.'));
}

// The computer name is the host name in capitals, cut to 15 characters (see
// OwnIdentity.LongHostName). The user name is not empty.
TEST(Identity, ComputerAndUserNames)
{
    std::string host = hostName();
    ASSERT_FALSE(host.empty()) << "the host name cannot be read here";
    for (char &c : host) c = (char)toupper((unsigned char)c);
    const char *computer = win_getComputerName(), *user = win_getCurrentUserName();
    EXPECT_EQ(std::string(computer ? computer : "(none)"), host.substr(0, 15));
    EXPECT_TRUE(user != nullptr && *user != '\0');
}

// Natively the appdata_xdg and appdata_home runs set XDG_DATA_HOME or HOME and
// the answer they expect; under Wine it is the profile's roaming folder, which
// Wine also gives as APPDATA.
TEST(AppData, RoamingFolder)
{
    const char *expected = getenv("EXPECT_APPDATA");
    if (expected == nullptr && ts::onWindows()) expected = getenv("APPDATA");
    if (expected == nullptr) GTEST_SKIP() << "EXPECT_APPDATA is set by the appdata_xdg and appdata_home runs";
    char *path = win_getAppDataPath();
    EXPECT_STREQ(path, expected);
    EXPECT_TRUE(path && (!ts::onWindows() || strstr(path, "\\AppData\\Roaming") != nullptr)) << path;
    free(path);
}
