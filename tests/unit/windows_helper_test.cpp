// The platform layer. The path vectors run unchanged against both backends, so
// the POSIX layer is held to what the system's own path functions answer.
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

TEST(PathCombine, SharedVectors)
{
    const std::string dir250 = "C:\\" + std::string(246, 'd');  // 249 characters
    struct Case {
        const char *name;
        std::string dir;
        std::string file;
        const char *expected;  // null: the join fails
    };
    const Case cases[] = {
        {"plain join", "C:\\dir", "file.txt", "C:\\dir\\file.txt"},
        {"trailing backslash", "C:\\dir\\", "file.txt", "C:\\dir\\file.txt"},
        {"dot segment", "C:\\dir\\sub", ".\\file.txt", "C:\\dir\\sub\\file.txt"},
        {"dot-dot segment", "C:\\dir\\sub", "..\\file.txt", "C:\\dir\\file.txt"},
        {"dot-dot inside dir", "C:\\a\\b\\..\\c", "f", "C:\\a\\c\\f"},
        {"dot-dot above the root", "C:\\a\\b", "..\\..\\..\\f", "C:\\f"},
        {"final dot-dot", "C:\\a\\b", "..", "C:\\a"},
        {"absolute second part", "C:\\dir", "D:\\other\\f.txt", "D:\\other\\f.txt"},
        {"rooted second part", "C:\\dir\\sub", "\\rooted\\f.txt", "C:\\rooted\\f.txt"},
        {"drive root", "C:\\", "f.txt", "C:\\f.txt"},
        {"bare drive", "C:", "f.txt", "C:\\f.txt"},
        {"Z drive", "Z:\\srv\\tasks", "lirmak.log", "Z:\\srv\\tasks\\lirmak.log"},
        {"relative folder", "logs", "x.log", "logs\\x.log"},
        {"empty file part", "C:\\dir", "", "C:\\dir"},
        {"empty folder part", "", "f.txt", "f.txt"},
        {"several dots", "C:\\a.b", "c.d.e", "C:\\a.b\\c.d.e"},
        {"result of 259", dir250, "123456789", nullptr},
        {"result of 259 ok", dir250, "12345678", nullptr},
    };
    // The last two rows are filled in below from the exact lengths.
    for (const Case &c : cases) {
        std::string expected;
        bool fails = false;
        if (strcmp(c.name, "result of 259 ok") == 0) {
            expected = c.dir + "\\" + c.file;  // 249 + 1 + 8 = 258
        } else if (strcmp(c.name, "result of 259") == 0) {
            expected = c.dir + "\\" + c.file;  // 249 + 1 + 9 = 259
        } else if (c.expected == nullptr) {
            fails = true;
        } else {
            expected = c.expected;
        }
        char *joined = win_concatPaths(c.dir.c_str(), c.file.c_str());
        char buffer[VEK_PATH_SIZE];
        bool combined = win_combinePath(buffer, c.dir.c_str(), c.file.c_str());
        if (fails) {
            EXPECT_EQ(nullptr, joined) << c.name;
            EXPECT_FALSE(combined) << c.name;
        } else {
            ASSERT_NE(nullptr, joined) << c.name;
            EXPECT_EQ(expected, joined) << c.name;
            EXPECT_TRUE(combined) << c.name;
            EXPECT_EQ(expected, buffer) << c.name;
        }
        free(joined);
    }
}

TEST(PathCombine, ResultOf260Fails)
{
    const std::string dir = "C:\\" + std::string(246, 'd');  // 249 characters
    char *fits = win_concatPaths(dir.c_str(), std::string(9, 'f').c_str());
    ASSERT_NE(nullptr, fits);
    EXPECT_EQ(259u, strlen(fits));
    free(fits);
    EXPECT_EQ(nullptr, win_concatPaths(dir.c_str(), std::string(10, 'f').c_str()));
    char buffer[VEK_PATH_SIZE];
    EXPECT_FALSE(win_combinePath(buffer, dir.c_str(), std::string(10, 'f').c_str()));
    EXPECT_STREQ("", buffer);
}

TEST(ExeInfo, FolderAndBaseName)
{
    struct Case {
        const char *exeName;
        const char *base;
    };
    const Case cases[] = {
        {"lirmak.exe", "lirmak"},
        {"lirmak.old.exe", "lirmak.old"},
        {"lirmak", "lirmak"},
        {"a.b.c.exe", "a.b.c"},
        {"task name.exe", "task name"},
    };
    std::string folder = ts::makeWorkFolder("exeinfo");
    unsigned long error = 0;
    for (const Case &c : cases) {
        std::string copy = ts::join(folder, c.exeName);
        ASSERT_TRUE(win_copyFile(ts::builtProgram("exeinfo").c_str(), copy.c_str(), &error)) << c.exeName;
        ts::RunResult r = ts::run(ts::commandLine(copy, {}), folder);
        EXPECT_EQ(0, r.exitCode) << c.exeName << r.out << r.startError;
        std::vector<std::string> out = ts::lines(r.out);
        ASSERT_EQ(3u, out.size()) << c.exeName;
        EXPECT_EQ("path=" + copy, out[0]) << c.exeName;
        EXPECT_EQ("folder=" + folder, out[1]) << c.exeName;
        EXPECT_EQ(std::string("base=") + c.base, out[2]) << c.exeName;
    }
}

TEST(ExeInfo, DriveRootKeepsItsBackslash)
{
    // Natively the drive root is the file-system root; under Wine, drive C:.
    std::string root = ts::onWindows() ? "C:\\" : "Z:\\";
    std::string copy = root + "exeinfo_probe_" + std::to_string(win_getProcessId()) + ".exe";
    unsigned long error = 0;
    if (!win_copyFile(ts::builtProgram("exeinfo").c_str(), copy.c_str(), &error)) {
        GTEST_SKIP() << "drive root not writable here";
    }
    ts::RunResult r = ts::run(ts::commandLine(copy, {}), ts::makeWorkFolder("root"));
    win_removeFile(copy.c_str());
    std::vector<std::string> out = ts::lines(r.out);
    ASSERT_EQ(3u, out.size()) << r.out;
    EXPECT_EQ("folder=" + root, out[1]);
    EXPECT_EQ("base=exeinfo_probe_" + std::to_string(win_getProcessId()), out[2]);
}

TEST(ExeInfo, PathThatFillsTheBufferIsRefused)
{
    // A path of 259 characters fits the 260-character buffer; one of 260
    // would come back cut, naming another folder and script, so it is refused.
    std::string folder = ts::makeWorkFolder("long");
    while (folder.size() < 200) {
        folder = ts::join(folder, std::string(40, 'd'));
        ASSERT_TRUE(ts::makeFolder(folder));
    }
    unsigned long error = 0;
    for (size_t length : {259u, 260u}) {
        std::string name = std::string(length - folder.size() - 1 - 4, 'n') + ".exe";
        std::string copy = ts::join(folder, name);
        ASSERT_EQ(length, copy.size());
        ASSERT_TRUE(win_copyFile(ts::builtProgram("exeinfo").c_str(), copy.c_str(), &error));
        ts::RunResult r = ts::run(ts::commandLine(copy, {}), folder);
        if (length == 259) {
            EXPECT_EQ(0, r.exitCode) << r.out << r.startError;
            EXPECT_EQ("path=" + copy, ts::lines(r.out).at(0));
        } else if (r.startError.empty()) {
            EXPECT_EQ(1, r.exitCode) << r.out;
            EXPECT_EQ("error=Errore durante l'ottenimento del percorso dell'eseguibile.", ts::lines(r.out).at(0));
        }
    }
}

TEST(Folders, ExistenceAndOneLevelCreation)
{
    std::string work = ts::makeWorkFolder("folders");
    std::string file = ts::join(work, "file.txt");
    ASSERT_TRUE(ts::writeFile(file, "x"));

    EXPECT_TRUE(win_fileExists(work.c_str()));
    EXPECT_TRUE(win_fileExists(file.c_str()));
    EXPECT_FALSE(win_fileExists(ts::join(work, "missing").c_str()));
    EXPECT_FALSE(win_fileExists(""));

    EXPECT_TRUE(win_pathIsDirectory(work.c_str()));
    EXPECT_FALSE(win_pathIsDirectory(file.c_str()));
    EXPECT_FALSE(win_pathIsDirectory(ts::join(work, "missing").c_str()));

    EXPECT_TRUE(win_checkAndCreatePath(work.c_str())) << "an existing folder";
    std::string level = ts::join(work, "level");
    EXPECT_TRUE(win_checkAndCreatePath(level.c_str())) << "one new level";
    EXPECT_TRUE(win_pathIsDirectory(level.c_str()));
    EXPECT_FALSE(win_checkAndCreatePath(ts::join(work, "no\\parent").c_str())) << "missing parent";
    EXPECT_FALSE(win_pathIsDirectory(ts::join(work, "no").c_str()));
    EXPECT_FALSE(win_checkAndCreatePath(file.c_str())) << "a file in the way";
    EXPECT_FALSE(win_checkAndCreatePath("")) << "an empty folder part";
}

TEST(Folders, OtherDrivesAreMissingNatively)
{
    if (ts::onWindows()) GTEST_SKIP() << "drive letters are real under Wine";
    EXPECT_FALSE(win_fileExists("D:\\"));
    EXPECT_TRUE(win_fileExists("Z:\\"));
    EXPECT_TRUE(win_fileExists("z:\\"));
    EXPECT_TRUE(win_pathIsDirectory("Z:\\"));
    errno = 0;
    EXPECT_EQ(nullptr, win_fopen("D:\\x.txt", "rb"));
    EXPECT_EQ(ENOENT, errno);
}

TEST(Files, ReplacingRenameAndCopy)
{
    std::string work = ts::makeWorkFolder("files");
    std::string a = ts::join(work, "a.txt"), b = ts::join(work, "b.txt");
    ASSERT_TRUE(ts::writeFile(a, "new"));
    ASSERT_TRUE(ts::writeFile(b, "old contents"));
    unsigned long error = 0;
    EXPECT_TRUE(win_copyFile(a.c_str(), b.c_str(), &error));
    EXPECT_EQ("new", ts::readFile(b));
    EXPECT_FALSE(win_copyFile(ts::join(work, "missing").c_str(), b.c_str(), &error));
    EXPECT_NE(0ul, error);
    char *message = win_getSystemMessage(error);
    ASSERT_NE(nullptr, message);
    EXPECT_GT(strlen(message), 0u);
    win_freeSystemMessage(message);

    ASSERT_TRUE(ts::writeFile(b, "old"));
    EXPECT_TRUE(win_renameReplace(a.c_str(), b.c_str()));
    EXPECT_EQ("new", ts::readFile(b));
    EXPECT_FALSE(win_fileExists(a.c_str()));
    EXPECT_TRUE(win_removeFile(b.c_str()));
    EXPECT_FALSE(win_fileExists(b.c_str()));
}

TEST(Files, AppendWritesWholeRecordsWithTheLineEnds)
{
    std::string work = ts::makeWorkFolder("append");
    std::string path = ts::join(work, "log.txt");
    for (int i = 0; i < 2; i++) {
        win_file *f = win_openAppend(path.c_str());
        ASSERT_NE(nullptr, f);
        EXPECT_TRUE(win_appendRecord(f, "one\ntwo\n", 8));
        win_closeFile(f);
    }
    std::string eol = ts::onWindows() ? "\r\n" : "\n";
    EXPECT_EQ("one" + eol + "two" + eol + "one" + eol + "two" + eol, ts::readFile(path));

    errno = 0;
    EXPECT_EQ(nullptr, win_openAppend(ts::join(work, "missing\\log.txt").c_str()));
    EXPECT_EQ(ENOENT, errno);
}

TEST(Identity, ComputerAndUserNames)
{
    const char *computer = win_getComputerName();
    if (computer != nullptr) {
        EXPECT_GT(strlen(computer), 0u);
        EXPECT_LE(strlen(computer), 15u);
        for (const char *p = computer; *p; p++) EXPECT_FALSE(*p >= 'a' && *p <= 'z') << computer;
    }
    const char *user = win_getCurrentUserName();
    ASSERT_NE(nullptr, user);
    EXPECT_GT(strlen(user), 0u);
}

TEST(Identity, WriteProbes)
{
    std::string work = ts::makeWorkFolder("probes");
    std::string file = ts::join(work, "f.txt");
    ASSERT_TRUE(ts::writeFile(file, "x"));
    EXPECT_TRUE(win_hasWritePermissionInDirectory(work.c_str()));
    EXPECT_TRUE(win_hasWritePermission(file.c_str()));
    EXPECT_FALSE(win_hasWritePermission(ts::join(work, "missing.txt").c_str()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(win_hasWritePermissionInDirectory(ts::join(work, "missing").c_str()));
    EXPECT_EQ("Errore durante il recupero delle informazioni sulla sicurezza della directory.\n",
              testing::internal::GetCapturedStderr());
}

TEST(AppData, RoamingFolderExistsWithoutTrailingBackslash)
{
    char *path = win_getAppDataPath();
    if (!ts::onWindows() && path == nullptr) GTEST_SKIP() << "neither XDG_DATA_HOME nor HOME is set";
    ASSERT_NE(nullptr, path);
    size_t len = strlen(path);
    ASSERT_GT(len, 0u);
    EXPECT_NE('\\', path[len - 1]);
    if (ts::onWindows()) {
        EXPECT_TRUE(win_pathIsDirectory(path)) << path;
        EXPECT_NE(nullptr, strstr(path, "Roaming")) << path;
    }
    free(path);
}

TEST(AppDataFromEnvironment, MatchesTheExpectedFolder)
{
    const char *expected = getenv("EXPECT_APPDATA");
    if (expected == nullptr) GTEST_SKIP() << "run by the appdata tests with their environment";
    char *path = win_getAppDataPath();
    ASSERT_NE(nullptr, path);
    EXPECT_STREQ(expected, path);
    free(path);
}

TEST(CommandLine, RawLineSplitsBackIntoTheArguments)
{
    const char *line = win_getCommandLine();
    ASSERT_NE(nullptr, line);
    EXPECT_GT(strlen(line), 0u);
}
