// Log writer: the record format field by field, console echo by level, the
// refusals of a context, the "log.txt" fallback and size-based rotation.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "log.h"
#include "testsupport.h"
#include "windows_helper.h"

namespace {

const char *const MSG_BAD_PATH = "Percorso del file di log non valido.\n";
const char *const MSG_TRAILING_SEPARATOR =
    "Il percorso del file di log non pu\xF2 terminare con un carattere di separazione di cartelle.\n";
const char *const MSG_IS_DIRECTORY = "Il percorso del file di log punta gi\xE0" " ad una directory esistente.\n";
const char *const MSG_NO_FOLDER = "Impossibile creare la struttura delle directory per il file di log.\n";
const char *const MSG_NO_CONTEXT = "Impossibile inizializzare il contesto di log.\n";
const char *const MSG_NO_OPEN = "Impossibile aprire il file di log.\n";

// The platform's line end in files and in redirected console streams.
std::string eol()
{
    return ts::onWindows() ? "\r\n" : "\n";
}

// text with every "\n" turned into the platform's line end.
std::string platformLines(const std::string &text)
{
    std::string out;
    for (char c : text) out += c == '\n' ? eol() : std::string(1, c);
    return out;
}

struct Record {
    std::string stamp, app, version, process, label, text;
};

// Splits one record line (without its line end); false when it has not the
// record's exact form.
bool parseRecord(const std::string &line, Record *record)
{
    static const std::regex pattern(
        R"(^(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d) (\S+) (\S+) (\{\d{5,8}\}) \[([A-Z]*)\] ([\s\S]*)$)");
    std::smatch m;
    if (!std::regex_match(line, m, pattern)) return false;
    *record = {m[1], m[2], m[3], m[4], m[5], m[6]};
    return true;
}

// The local time now, as the record's time stamp shows it.
std::string stampNow()
{
    char buf[32];
    time_t now = time(nullptr);
    strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", localtime(&now));
    return buf;
}

// Runs one log_write and returns what it wrote to standard output and error.
void writeCaptured(LogContext *context, unsigned int level, const std::string &text, std::string *out,
                   std::string *err)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    log_write(context, level, text.c_str());
    *err = testing::internal::GetCapturedStderr();
    *out = testing::internal::GetCapturedStdout();
}

TEST(LogWrite, RecordFieldsAndEchoByLevel)
{
    struct {
        unsigned int level;
        bool echo;
        const char *label;
        bool toOut, toErr;
    } cases[] = {
        {0, false, "", false, true},      {1, false, "ERROR", false, true}, {1, true, "ERROR", false, true},
        {2, true, "", false, true},       {3, false, "INFO", false, false}, {3, true, "INFO", true, false},
        {4, true, "", true, false},       {4, false, "", false, false},     {4000000000u, true, "", true, false},
    };
    std::string folder = ts::makeWorkFolder("log_fields");
    int index = 0;
    for (const auto &c : cases) {
        std::string name = "level " + std::to_string(c.level) + (c.echo ? " echo" : " quiet");
        std::string path = ts::join(folder, "case" + std::to_string(index++) + ".log");
        LogContext *context = log_createContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, c.echo);
        ASSERT_NE(context, nullptr) << name;
        std::string text = "text of " + name, out, err;
        std::string before = stampNow();
        writeCaptured(context, c.level, text, &out, &err);
        std::string after = stampNow();
        log_destroyContext(context);

        EXPECT_EQ(out, c.toOut ? text + "\n" : "") << name;
        EXPECT_EQ(err, c.toErr ? text + "\n" : "") << name;
        std::string bytes = ts::readFile(path);
        ASSERT_GE(bytes.size(), eol().size()) << name;
        EXPECT_EQ(bytes.substr(bytes.size() - eol().size()), eol()) << name;
        std::vector<std::string> lines = ts::lines(bytes);
        ASSERT_EQ(lines.size(), 1u) << name;
        Record r;
        ASSERT_TRUE(parseRecord(lines[0], &r)) << name << ": " << lines[0];
        EXPECT_TRUE(r.stamp == before || r.stamp == after) << name << ": " << r.stamp;
        EXPECT_EQ(r.app, "frascombe_a3x") << name;
        EXPECT_EQ(r.version, "1.1.1.7") << name;
        EXPECT_EQ(strtoul(r.process.c_str() + 1, nullptr, 10), win_getProcessId()) << name;
        EXPECT_EQ(r.label, c.label) << name;
        EXPECT_EQ(r.text, text) << name;
    }
}

// A text is written as given: line feeds make one record span several lines,
// format characters are not interpreted, and nothing is cut.
TEST(LogWrite, TextIsWrittenWhole)
{
    std::string folder = ts::makeWorkFolder("log_text");
    std::string longText;
    while (longText.size() < 3 * VEK_TEXT_SIZE) longText += "100% %s %d %n ";
    struct {
        const char *name;
        std::string text;
    } cases[] = {
        {"line feeds", "first\nsecond\n\nfourth"},
        {"long with format characters", longText},
        {"empty", ""},
    };
    int index = 0;
    for (const auto &c : cases) {
        std::string path = ts::join(folder, "case" + std::to_string(index++) + ".log");
        LogContext *context = log_createContext(path.c_str(), "app", "v", 0, 0, false);
        ASSERT_NE(context, nullptr) << c.name;
        log_write(context, LOG_LEVEL_INFO, c.text.c_str());
        log_destroyContext(context);
        std::string bytes = ts::readFile(path);
        std::string tail = platformLines("[INFO] " + c.text + "\n");
        ASSERT_GE(bytes.size(), tail.size()) << c.name;
        EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail) << c.name;
        Record r;
        EXPECT_TRUE(parseRecord(bytes.substr(0, bytes.size() - tail.size()) + "[INFO] x", &r)) << c.name;
    }
}

TEST(LogContext, RefusalsAndAcceptedPaths)
{
    std::string folder = ts::makeWorkFolder("log_context");
    struct {
        const char *name;
        bool null;
        std::string path;
        const char *message;   // null: accepted
    } cases[] = {
        {"null", true, "", MSG_BAD_PATH},
        {"empty", false, "", MSG_BAD_PATH},
        {"too long to keep", false, folder + "\\" + std::string(VEK_PATH_SIZE, 'p') + ".log", MSG_BAD_PATH},
        {"ends with backslash", false, folder + "\\logs\\", MSG_TRAILING_SEPARATOR},
        {"ends with slash", false, folder + "\\logs/", MSG_TRAILING_SEPARATOR},
        {"existing folder", false, folder, MSG_IS_DIRECTORY},
        {"only backslash first", false, "\\only.log", MSG_NO_FOLDER},
        {"missing parent", false, folder + "\\missing\\deeper\\x.log", MSG_NO_FOLDER},
        {"new folder one level", false, folder + "\\made\\x.log", nullptr},
        {"no backslash", false, "plain-name.log", nullptr},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        const char *path = c.null ? nullptr : c.path.c_str();
        LogContext *context = log_createContext(path, "app", "12345678901234567890123", 7, 99, true);
        std::string err = testing::internal::GetCapturedStderr();
        if (c.message != nullptr) {
            EXPECT_EQ(context, nullptr) << c.name;
            EXPECT_EQ(err, c.message) << c.name;
            continue;
        }
        ASSERT_NE(context, nullptr) << c.name;
        EXPECT_EQ(err, "") << c.name;
        EXPECT_STREQ(context->filePath, path) << c.name;
        EXPECT_STREQ(context->appName, "app") << c.name;
        EXPECT_STREQ(context->appVersion, "1234567890123456789") << c.name;
        EXPECT_EQ(context->maxFiles, 7) << c.name;
        EXPECT_EQ(context->maxFileSize, 99) << c.name;
        EXPECT_TRUE(context->echoToConsole) << c.name;
        EXPECT_TRUE(context->initialized) << c.name;
        EXPECT_FALSE(ts::fileExists(path)) << c.name << ": no file before the first line";
        log_destroyContext(context);
    }
    EXPECT_TRUE(ts::fileExists(folder + "\\made"));
    EXPECT_FALSE(ts::fileExists(folder + "\\missing"));
    log_destroyContext(nullptr);
}

TEST(LogContext, GlobalContextIsUsedForNullContext)
{
    std::string folder = ts::makeWorkFolder("log_global");
    std::string path = ts::join(folder, "global.log");
    LogContext *saved = globalLogContext;

    testing::internal::CaptureStderr();
    log_setGlobalContext((folder + "\\").c_str(), "g", "1", 0, 0, false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), MSG_TRAILING_SEPARATOR);
    EXPECT_EQ(globalLogContext, nullptr);

    log_setGlobalContext(path.c_str(), "globalapp", "1.1.7.0", 0, 0, false);
    ASSERT_NE(globalLogContext, nullptr);
    log_write(nullptr, LOG_LEVEL_INFO, "through the global context");
    log_destroyContext(globalLogContext);
    globalLogContext = saved;

    std::vector<std::string> lines = ts::lines(ts::readFile(path));
    ASSERT_EQ(lines.size(), 1u);
    Record r;
    ASSERT_TRUE(parseRecord(lines[0], &r)) << lines[0];
    EXPECT_EQ(r.app, "globalapp");
    EXPECT_EQ(r.text, "through the global context");
}

// A file that cannot be opened loses the line with a message; the error echo
// has already reached the console.
TEST(LogWrite, UnopenableFileLosesTheLineWithAMessage)
{
    std::string folder = ts::makeWorkFolder("log_unopenable");
    std::string path = ts::join(folder, "sub\\x.log");
    LogContext *context = log_createContext(path.c_str(), "app", "v", 3, 10, false);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(ts::makeFolder(path));   // the file's name is now taken by a folder
    std::string out, err;
    auto start = std::chrono::steady_clock::now();
    writeCaptured(context, LOG_LEVEL_ERROR, "lost line", &out, &err);
    long ms = (long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                  .count();
    log_destroyContext(context);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, std::string("lost line\n") + MSG_NO_OPEN);
    EXPECT_FALSE(ts::fileExists(path + ".1"));
    // Windows refuses a folder with "access denied", which is retried five
    // times a second apart; POSIX says "is a directory", which is not retried.
    if (ts::onWindows()) {
        EXPECT_GE(ms, 4500);
    } else {
        EXPECT_LT(ms, 900);
    }
}

// Writes records "<prefix><n>" for n in [first, last] through a new context.
void writeRecords(const std::string &path, int maxFiles, int maxFileSize, const std::string &prefix, int first,
                  int last)
{
    LogContext *context = log_createContext(path.c_str(), "rot", "v", maxFiles, maxFileSize, false);
    ASSERT_NE(context, nullptr);
    for (int n = first; n <= last; n++) log_write(context, LOG_LEVEL_INFO, (prefix + std::to_string(n)).c_str());
    log_destroyContext(context);
}

// The texts of the records in a file, in order; "-" when the file is missing.
std::string textsOf(const std::string &path)
{
    if (!ts::fileExists(path)) return "-";
    std::string texts;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        Record r;
        texts += parseRecord(line, &r) ? r.text + ";" : "?;";
    }
    return texts;
}

TEST(LogRotation, SizeBoundaryIsExclusive)
{
    std::string folder = ts::makeWorkFolder("log_boundary");
    std::string probe = ts::join(folder, "probe.log");
    writeRecords(probe, 0, 0, "L", 1, 1);
    int recordSize = (int)ts::readFile(probe).size();
    ASSERT_GT(recordSize, 0);

    std::string exact = ts::join(folder, "exact.log");
    writeRecords(exact, 3, 2 * recordSize, "L", 1, 2);
    EXPECT_EQ(textsOf(exact), "L1;L2;") << "a file of exactly the limit stays";
    EXPECT_EQ(textsOf(exact + ".1"), "-");
    writeRecords(exact, 3, 2 * recordSize, "L", 3, 3);
    EXPECT_EQ(textsOf(exact), "-") << "one record more rotates";
    EXPECT_EQ(textsOf(exact + ".1"), "L1;L2;L3;");

    std::string over = ts::join(folder, "over.log");
    writeRecords(over, 3, 2 * recordSize - 1, "L", 1, 2);
    EXPECT_EQ(textsOf(over), "-");
    EXPECT_EQ(textsOf(over + ".1"), "L1;L2;");
}

TEST(LogRotation, NumberedFilesAndLimits)
{
    struct {
        const char *name;
        int maxFiles, maxFileSize;
        const char *live, *one, *two, *three;
    } cases[] = {
        {"three files", 3, 1, "-", "L5;", "L4;", "-"},
        {"four files", 4, 1, "-", "L5;", "L4;", "L3;"},
        {"two files", 2, 1, "-", "L5;", "-", "-"},
        {"one file", 1, 1, "-", "L5;", "-", "-"},
        {"no files", 0, 1, "L1;L2;L3;L4;L5;", "-", "-", "-"},
        {"no size", 3, 0, "L1;L2;L3;L4;L5;", "-", "-", "-"},
        {"negative files", -1, 1, "L1;L2;L3;L4;L5;", "-", "-", "-"},
        {"negative size", 3, -5, "L1;L2;L3;L4;L5;", "-", "-", "-"},
    };
    std::string folder = ts::makeWorkFolder("log_numbered");
    int index = 0;
    for (const auto &c : cases) {
        std::string path = ts::join(folder, "case" + std::to_string(index++) + ".log");
        writeRecords(path, c.maxFiles, c.maxFileSize, "L", 1, 5);
        EXPECT_EQ(textsOf(path), c.live) << c.name;
        EXPECT_EQ(textsOf(path + ".1"), c.one) << c.name;
        EXPECT_EQ(textsOf(path + ".2"), c.two) << c.name;
        EXPECT_EQ(textsOf(path + ".3"), c.three) << c.name;
        EXPECT_EQ(textsOf(path + ".4"), "-") << c.name;
    }
}

// Runs the logwriter tool's fallback mode in folder.
ts::RunResult runFallback(const std::string &folder, unsigned int level, const std::string &text)
{
    std::string command = ts::commandLine(ts::builtProgram("logwriter"), {"fallback", std::to_string(level), text});
    return ts::run(command, folder);
}

TEST(LogFallback, WritesLogTxtInTheCurrentFolder)
{
    struct {
        unsigned int level;
        const char *label;
        bool toOut;
    } cases[] = {{1, "ERROR", false}, {3, "INFO", true}, {2, "", false}};
    for (const auto &c : cases) {
        std::string name = "level " + std::to_string(c.level);
        std::string folder = ts::makeWorkFolder("log_fallback");
        ts::RunResult result = runFallback(folder, c.level, "fallback line");
        ASSERT_EQ(result.exitCode, 0) << name << result.startError;
        EXPECT_EQ(result.out, c.toOut ? platformLines("fallback line\n") : "") << name;
        EXPECT_EQ(result.err, c.toOut ? "" : platformLines("fallback line\n")) << name;
        std::vector<std::string> lines = ts::lines(ts::readFile(ts::join(folder, "log.txt")));
        ASSERT_EQ(lines.size(), 1u) << name;
        Record r;
        ASSERT_TRUE(parseRecord(lines[0], &r)) << name << ": " << lines[0];
        EXPECT_EQ(r.app, "?") << name;
        EXPECT_EQ(r.version, "1.1.1.7") << name;
        EXPECT_EQ(r.label, c.label) << name;
        EXPECT_EQ(r.text, "fallback line") << name;
    }
}

TEST(LogFallback, UnusableLogTxtLosesTheLineWithMessages)
{
    std::string folder = ts::makeWorkFolder("log_fallback_dir");
    ASSERT_TRUE(ts::makeFolder(ts::join(folder, "log.txt")));
    ts::RunResult error = runFallback(folder, 1, "error line");
    EXPECT_EQ(error.out, "");
    EXPECT_EQ(error.err, platformLines(std::string("error line\n") + MSG_IS_DIRECTORY + MSG_NO_CONTEXT));
    ts::RunResult info = runFallback(folder, 3, "info line");
    EXPECT_EQ(info.out, "");
    EXPECT_EQ(info.err, platformLines(std::string(MSG_IS_DIRECTORY) + MSG_NO_CONTEXT));
}

// The fallback file rotates above 1 MiB into log.txt.1 to log.txt.4; the
// oldest numbered file is dropped.
TEST(LogFallback, RotatesAboveOneMebibyte)
{
    std::string folder = ts::makeWorkFolder("log_fallback_rotation");
    std::string live = ts::join(folder, "log.txt");
    std::string full(1048576, 'x');
    ASSERT_TRUE(ts::writeFile(live, full));
    const char *older[] = {"one", "two", "three", "four"};
    for (int n = 1; n <= 4; n++) ASSERT_TRUE(ts::writeFile(live + "." + std::to_string(n), older[n - 1]));

    ts::RunResult result = runFallback(folder, 3, "over the limit");
    ASSERT_EQ(result.exitCode, 0) << result.startError;
    EXPECT_FALSE(ts::fileExists(live));
    std::string rotated = ts::readFile(live + ".1");
    ASSERT_GT(rotated.size(), full.size());
    EXPECT_EQ(rotated.substr(0, full.size()), full);
    std::string tail = platformLines("[INFO] over the limit\n");
    EXPECT_EQ(rotated.substr(rotated.size() - tail.size()), tail);
    EXPECT_EQ(ts::readFile(live + ".2"), "one");
    EXPECT_EQ(ts::readFile(live + ".3"), "two");
    EXPECT_EQ(ts::readFile(live + ".4"), "three");
    EXPECT_FALSE(ts::fileExists(live + ".5"));
}

}  // namespace
