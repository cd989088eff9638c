// The platform layer. The path vectors run unchanged against both backends, so
// the POSIX layer is held to what the system's own path functions answer.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>

TEST(PathCombine, SharedVectors)
{
    const std::string dir249 = "C:\\" + std::string(246, 'd');
    struct Case { std::string dir, file, expected; } cases[] = {  // expected "": the join fails
        {"C:\\dir", "file.txt", "C:\\dir\\file.txt"},       {"C:\\dir\\sub", ".\\f", "C:\\dir\\sub\\f"},
        {"C:\\dir\\sub", "..\\f", "C:\\dir\\f"},            {"C:\\a\\b\\..\\c", "f", "C:\\a\\c\\f"},
        {"C:\\a\\b", "..\\..\\..\\f", "C:\\f"},             {"C:\\dir", "D:\\other\\f", "D:\\other\\f"},
        {"C:\\dir\\sub", "\\rooted\\f", "C:\\rooted\\f"},   {"C:\\", "f.txt", "C:\\f.txt"},
        {"C:", "f.txt", "C:\\f.txt"},                       {"logs", "x.log", "logs\\x.log"},
        {"C:\\dir", "", "C:\\dir"},                         {"", "f.txt", "f.txt"},
        {dir249, std::string(9, 'f'), dir249 + "\\fffffffff"}, {dir249, std::string(10, 'f'), ""},
        // A relative folder keeps its leading "..", but a ".." climbing past
        // the start (a second leading one too) leaves a rooted "\".
        {"..\\logs", "x.log", "..\\logs\\x.log"},         {"..\\..\\a", "..\\f", "\\f"},
        {"logs\\..\\..", "x", "\\x"},                     {"logs", "\\x.log", "x.log"},
        // Letter case and trailing dots and blanks are kept as given.
        {"c:\\Dir\\SUB", "File.TXT", "c:\\Dir\\SUB\\File.TXT"}, {"C:\\dir. ", "f. .", "C:\\dir. \\f. ."},
        {"C:\\a\\.", "f", "C:\\a\\f"},                   {"\\\\srv\\share\\a", "\\f", "\\\\srv\\share\\f"},
    };
    for (const Case &c : cases) {
        char *joined = win_concatPaths(c.dir.c_str(), c.file.c_str());
        char buffer[VEK_PATH_SIZE];
        EXPECT_EQ(!c.expected.empty(), win_combinePath(buffer, c.dir.c_str(), c.file.c_str())) << c.file;
        EXPECT_EQ(c.expected, buffer) << c.dir << " + " << c.file;
        EXPECT_EQ(c.expected, joined ? joined : "") << c.dir << " + " << c.file;
        free(joined);
    }
}

// True when exeinfo was copied to path; error receives the system's code.
static bool copyExeInfo(const std::string &path, unsigned long *error)
{
    return win_copyFile(ts::builtProgram("exeinfo").c_str(), path.c_str(), error);
}

// What the exeinfo copy at path prints about itself, and its exit code.
static std::string runExeInfo(const std::string &path)
{
    ts::RunResult r = ts::run(ts::commandLine(path, {}), ts::makeWorkFolder("caller"));
    return ts::lf(r.out) + "exit " + std::to_string(r.exitCode);
}

TEST(ExeInfo, FolderAndBaseNameOfCopies)
{
    // Base names with several dots or none, and a path of 259 characters, the
    // longest that fits the 260-character buffer. A longer one is refused, as
    // the launcher's own failure tests show.
    std::string folder = ts::makeWorkFolder("exeinfo"), deep = folder;
    while (deep.size() < 200) ts::makeFolder(deep = ts::join(deep, std::string(40, 'd')));
    const std::string pad259(259 - deep.size() - 5, 'n');
    struct Case { std::string folder, name, base; } cases[] = {
        {folder, "lirmak.exe", "lirmak"},
        {folder, "lirmak.old.exe", "lirmak.old"},
        {folder, "lirmak", "lirmak"},
        {folder, "task name.exe", "task name"},
        {deep, pad259 + ".exe", pad259},
    };
    for (const Case &c : cases) {
        std::string copy = ts::join(c.folder, c.name);
        unsigned long error = 0;
        ASSERT_TRUE(copyExeInfo(copy, &error)) << c.name << ": error " << error;
        std::string expected = "path=" + copy + "\nfolder=" + c.folder + "\nbase=" + c.base + "\nexit 0";
        EXPECT_EQ(runExeInfo(copy), expected) << c.name;
    }
}

TEST(ExeInfo, CopyInADriveRoot)
{
    // The root keeps its backslash: natively the file system's root, under
    // Wine drive C:.
    std::string root = ts::onWindows() ? "C:\\" : "Z:\\";
    std::string probe = "probe" + std::to_string(win_getProcessId()), copy = root + probe + ".exe";
    unsigned long error = 0;
    if (!copyExeInfo(copy, &error)) {
        GTEST_SKIP() << "no program can be written into " << root << " here (error " << error << ")";
    }
    std::string info = runExeInfo(copy);
    win_removeFile(copy.c_str());
    EXPECT_EQ(info, "path=" + copy + "\nfolder=" + root + "\nbase=" + probe + "\nexit 0");
}

TEST(Folders, ExistenceOneLevelCreationAndWriteProbes)
{
    std::string work = ts::makeWorkFolder("folders"), file = ts::join(work, "file.txt");
    std::string missing = ts::join(work, "missing"), level = ts::join(work, "level");
    ASSERT_TRUE(ts::writeFile(file, "x"));
    EXPECT_TRUE(win_fileExists(work.c_str()) && win_fileExists(file.c_str()) && win_pathIsDirectory(work.c_str()));
    EXPECT_TRUE(win_checkAndCreatePath(work.c_str()) && win_checkAndCreatePath(level.c_str()) &&
                win_pathIsDirectory(level.c_str()));
    // Absent, or refused: a missing parent, a file in the way, an empty name.
    EXPECT_FALSE(win_fileExists(missing.c_str()) || win_fileExists("") || win_pathIsDirectory(file.c_str()) ||
                 win_pathIsDirectory(missing.c_str()) || win_checkAndCreatePath(ts::join(missing, "child").c_str()) ||
                 win_checkAndCreatePath(file.c_str()) || win_checkAndCreatePath(""));
    // Natively drive Z: is the root and every other drive is missing.
    EXPECT_TRUE(ts::onWindows() || (win_pathIsDirectory("Z:\\") && win_fileExists("z:\\") && !win_fileExists("D:\\")));

    EXPECT_TRUE(win_hasWritePermissionInDirectory(work.c_str()) && win_hasWritePermission(file.c_str()));
    EXPECT_FALSE(win_hasWritePermission(ts::join(work, "missing.txt").c_str()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(win_hasWritePermissionInDirectory(missing.c_str()));
    EXPECT_EQ("Errore durante il recupero delle informazioni sulla sicurezza della directory.\n",
              testing::internal::GetCapturedStderr());
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

TEST(Identity, ComputerAndUserNames)
{
    // The computer name is the host name in capitals; a host name over 15
    // characters gives none.
    std::string host = hostName();
    ASSERT_FALSE(host.empty()) << "the host name cannot be read here";
    for (char &c : host) c = (char)toupper((unsigned char)c);
    const char *computer = win_getComputerName();
    if (host.size() > 15) {
        EXPECT_EQ(nullptr, computer) << host;
    } else {
        ASSERT_NE(nullptr, computer) << host;
        EXPECT_EQ(host, computer);
    }
    EXPECT_TRUE(win_getCurrentUserName() != nullptr && *win_getCurrentUserName() != '\0');
}

TEST(AppData, RoamingFolder)
{
    // Natively the appdata_xdg and appdata_home runs set XDG_DATA_HOME or HOME
    // and the answer they expect; under Wine it is the profile's roaming
    // folder, which Wine also gives as APPDATA.
    const char *expected = getenv("EXPECT_APPDATA");
    if (expected == nullptr && ts::onWindows()) expected = getenv("APPDATA");
    if (expected == nullptr) {
        GTEST_SKIP() << "no expected folder: EXPECT_APPDATA is set by the appdata_xdg and appdata_home runs";
    }
    char *path = win_getAppDataPath();
    ASSERT_NE(nullptr, path);
    EXPECT_STREQ(expected, path);
    EXPECT_TRUE(!ts::onWindows() || strstr(path, "\\AppData\\Roaming") != nullptr) << path;
    free(path);
}
