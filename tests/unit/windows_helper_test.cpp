// The platform layer. The path vectors run unchanged against both backends, so
// the POSIX layer is held to what the system's own path functions answer.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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

TEST(ExeInfo, FolderAndBaseNameOfCopies)
{
    // Base names with several dots or none, a drive root (natively the file
    // system's root, under Wine drive C:), and a path that fills the whole
    // 260-character buffer: it would come back cut, so it is refused.
    std::string folder = ts::makeWorkFolder("exeinfo"), deep = folder;
    std::string root = ts::onWindows() ? "C:\\" : "Z:\\", probe = "probe" + std::to_string(win_getProcessId());
    while (deep.size() < 200) ts::makeFolder(deep = ts::join(deep, std::string(40, 'd')));
    const std::string pad259(259 - deep.size() - 5, 'n'), pad260(260 - deep.size() - 5, 'n');
    struct Case { std::string folder, name, base; } cases[] = {
        {folder, "lirmak.exe", "lirmak"}, {folder, "lirmak.old.exe", "lirmak.old"}, {folder, "lirmak", "lirmak"},
        {folder, "task name.exe", "task name"}, {root, probe + ".exe", probe},
        {deep, pad259 + ".exe", pad259}, {deep, pad260 + ".exe", ""},
    };
    unsigned long error = 0;
    for (const Case &c : cases) {
        std::string copy = ts::join(c.folder, c.name);
        if (!win_copyFile(ts::builtProgram("exeinfo").c_str(), copy.c_str(), &error) && c.folder == root) continue;
        ts::RunResult r = ts::run(ts::commandLine(copy, {}), folder);
        if (c.folder == root) win_removeFile(copy.c_str());
        if (c.base.empty() && !r.startError.empty()) continue;  // Wine starts no program at 260
        std::string expected = "path=" + copy + "\nfolder=" + c.folder + "\nbase=" + c.base + "\nexit 0";
        if (c.base.empty()) expected = "error=Errore durante l'ottenimento del percorso dell'eseguibile.\nexit 1";
        EXPECT_EQ(expected, ts::lf(r.out) + "exit " + std::to_string(r.exitCode)) << c.name;
    }
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

TEST(Identity, ComputerAndUserNames)
{
    // The computer name is null when the host name is over 15 characters.
    std::string computer = win_getComputerName() != nullptr ? win_getComputerName() : "";
    EXPECT_TRUE(computer.size() <= 15 && computer.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos);
    EXPECT_TRUE(win_getCurrentUserName() != nullptr && *win_getCurrentUserName() != '\0');
}

TEST(AppData, RoamingFolder)
{
    // Natively the ctest runs set XDG_DATA_HOME or HOME and the answer they
    // expect; under Wine it is the prefix's own profile folder.
    char *path = win_getAppDataPath();
    ASSERT_NE(nullptr, path);
    EXPECT_STREQ(getenv("EXPECT_APPDATA") != nullptr ? getenv("EXPECT_APPDATA") : path, path);
    EXPECT_NE('\\', path[strlen(path) - 1]);
    EXPECT_TRUE(!ts::onWindows() || (win_pathIsDirectory(path) && strstr(path, "Roaming") != nullptr)) << path;
    free(path);
}
