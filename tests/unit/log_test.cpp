// Log writer: the record format field by field, console echo by level, the
// refusals of a context, size-based rotation and the "log.txt" fallback.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "log.h"
#include "testsupport.h"
#include "windows_helper.h"

namespace {

const char *const MSG_IS_DIRECTORY = "Il percorso del file di log punta gi\xE0" " ad una directory esistente.\n";

// The local time now, as a record's time stamp shows it.
std::string stampNow()
{
    char stamp[32];
    time_t now = time(nullptr);
    return std::string(stamp, strftime(stamp, sizeof stamp, "%d/%m/%Y %H:%M:%S", localtime(&now)));
}

// The whole file byte for byte, written through the global context: label by
// level, the fixed version field, the zero-padded process id, texts as given
// (line feeds and format characters included, nothing cut), and the console
// stream by level and echo.
TEST(LogWrite, RecordAndEchoByLevel)
{
    std::string pid = std::to_string(win_getProcessId()), folder = ts::makeWorkFolder("log_fields");
    pid.insert(0, pid.size() < 5 ? 5 - pid.size() : 0, '0');
    struct { unsigned int level; bool echo; const char *label; bool toOut, toErr; std::string text; } cases[] = {
        {0, false, "", false, true, "0"}, {1, false, "ERROR", false, true, "1"}, {1, true, "ERROR", false, true, ""},
        {2, true, "", false, true, "2"}, {3, false, "INFO", false, false, "3"}, {3, true, "INFO", true, false, "3"},
        {4, true, "", true, false, "4"}, {4, false, "", false, false, "4"}, {4000000000u, true, "", true, false, "4e9"},
        {3, true, "INFO", true, false, "a\nb\n\nd"}, {3, false, "INFO", false, false, std::string(6000, '%')},
    };
    LogContext *saved = globalLogContext;   // another test's context, kept for the rest of the run
    for (const auto &c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level) + (c.echo ? " echo " : " quiet ") + c.text.substr(0, 9));
        std::string path = ts::join(folder, std::to_string(&c - cases) + ".log"), before = stampNow();
        log_setGlobalContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, c.echo);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        log_write(nullptr, c.level, c.text.c_str());
        std::string after = stampNow(), err = testing::internal::GetCapturedStderr(), echo = c.text + "\n";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.toOut ? echo : "");
        EXPECT_EQ(err, c.toErr ? echo : "");
        log_destroyContext(globalLogContext);
        std::string bytes = ts::readFile(path), stamp = bytes.compare(0, 19, after) == 0 ? after : before;
        EXPECT_EQ(ts::lf(bytes), stamp + " frascombe_a3x 1.1.1.7 {" + pid + "} [" + c.label + "] " + echo);
        // Every line of the file ends in CRLF on Windows, in LF elsewhere.
        EXPECT_EQ(bytes.size() - ts::lf(bytes).size(), ts::onWindows() ? ts::lines(bytes).size() : 0);
    }
    globalLogContext = saved;
}

// Each refusal comes with its message; an accepted path gives a context whose
// version is cut to 19 characters.
TEST(LogContext, RefusalsAndAcceptedPaths)
{
    std::string folder = ts::makeWorkFolder("log_context"), bad = "Percorso del file di log non valido.\n";
    std::string noFolder = "Impossibile creare la struttura delle directory per il file di log.\n", trailing =
        "Il percorso del file di log non pu\xF2 terminare con un carattere di separazione di cartelle.\n";
    struct { const char *name; bool null; std::string path, message; } cases[] = {
        {"null", true, "", bad}, {"empty", false, "", bad}, {"only backslash first", false, "\\only.log", noFolder},
        {"too long to keep", false, folder + "\\" + std::string(VEK_PATH_SIZE, 'p') + ".log", bad},
        {"ends with \\", false, folder + "\\logs\\", trailing}, {"ends with /", false, folder + "\\logs/", trailing},
        {"existing folder", false, folder, MSG_IS_DIRECTORY}, {"no parent", false, folder + "\\a\\b\\x.log", noFolder},
        {"new folder", false, folder + "\\made\\x.log", ""}, {"no backslash", false, "plain-name.log", ""},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        LogContext *made = log_createContext(c.null ? nullptr : c.path.c_str(), "a", "0123456789012345678xx", 0, 0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        EXPECT_TRUE(c.message.empty() ? made && std::string(made->appVersion).size() == 19 : !made) << c.name;
        log_destroyContext(made);
    }
}

// The record texts of path and of its numbered files .1 to .4, as
// "L1;L2;|L3;|-|-|-" ("-": no such file).
std::string textsOf(const std::string &path)
{
    std::string texts;
    for (int n = 0; n <= 4; n++) {
        std::string file = n == 0 ? path : path + "." + std::to_string(n);
        texts += std::string(n == 0 ? "" : "|") + (ts::fileExists(file) ? "" : "-");
        for (const auto &line : ts::lines(ts::readFile(file))) texts += line.substr(line.rfind("] ") + 2) + ";";
    }
    return texts;
}

TEST(LogRotation, SizeBoundaryNumberedFilesAndLimits)
{
    std::string folder = ts::makeWorkFolder("log_rotation"), all = "L1;L2;L3;L4;L5;|-|-|-|-";
    LogContext *probe = log_createContext(ts::join(folder, "probe.log").c_str(), "rot", "v", 0, 0, false);
    log_write(probe, LOG_LEVEL_INFO, "L1");
    log_destroyContext(probe);
    int exact = 2 * (int)ts::readFile(ts::join(folder, "probe.log")).size();   // two records
    struct { const char *name; int maxFiles, maxFileSize, lines; std::string files; } cases[] = {
        {"at the limit", 3, exact, 2, "L1;L2;|-|-|-|-"}, {"a record more", 3, exact, 3, "-|L1;L2;L3;|-|-|-"},
        {"one byte over", 3, exact - 1, 2, "-|L1;L2;|-|-|-"}, {"four files", 4, 1, 5, "-|L5;|L4;|L3;|-"},
        {"two files", 2, 1, 5, "-|L5;|-|-|-"}, {"one file", 1, 1, 5, "-|L5;|-|-|-"}, {"no files", 0, 1, 5, all},
        {"no size", 3, 0, 5, all}, {"files < 0", -1, 1, 5, all}, {"size < 0", 3, -5, 5, all},
    };
    for (const auto &c : cases) {
        std::string path = ts::join(folder, std::to_string(&c - cases) + ".log");
        LogContext *context = log_createContext(path.c_str(), "rot", "v", c.maxFiles, c.maxFileSize, false);
        for (int n = 1; n <= c.lines; n++) log_write(context, LOG_LEVEL_INFO, ("L" + std::to_string(n)).c_str());
        log_destroyContext(context);
        EXPECT_EQ(textsOf(path), c.files) << c.name;
    }
}

// Without a usable context a line goes to "log.txt" in the current folder (the
// logwriter tool runs there), echoed, and that file rotates above 1 MiB into
// log.txt.1 to .4. When log.txt cannot be had the line is lost after the error
// echo and two messages.
TEST(LogFallback, LogTxtInTheCurrentFolder)
{
    struct { const char *level; bool blocked; std::string out, err, files; } cases[] = {
        {"3", false, "line\n", "", "-|x;line;|1;|2;|3;"},
        {"1", true, "", std::string("line\n") + MSG_IS_DIRECTORY + "Impossibile inizializzare il contesto di log.\n",
         "|1;|2;|3;|4;"},
    };
    for (const auto &c : cases) {
        std::string folder = ts::makeWorkFolder("log_fallback"), live = ts::join(folder, "log.txt");
        // A full log.txt (exactly 1 MiB) and four older files, their lines ending like records.
        ASSERT_TRUE(c.blocked ? ts::makeFolder(live) : ts::writeFile(live, std::string(1048572, '.') + "] x\n"));
        for (std::string n : {"1", "2", "3", "4"}) ASSERT_TRUE(ts::writeFile(live + "." + n, "] " + n));
        auto result = ts::run(ts::commandLine(ts::builtProgram("logwriter"), {"fallback", c.level, "line"}), folder);
        EXPECT_EQ(ts::lf(result.out + "|" + result.err), c.out + "|" + c.err) << c.level << result.startError;
        EXPECT_EQ(textsOf(live) + (ts::fileExists(live + ".5") ? "|5" : ""), c.files) << c.level;
    }
}

}  // namespace
