// Log writer: the record format field by field, console echo by level,
// size-based rotation, the refusals of a context and the "log.txt" fallback,
// and how long a record waits for a log that another program holds.
#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>

#include "log.h"
#include "testsupport.h"
#include "windows_helper.h"

static const std::string IS_DIR = "Il percorso del file di log punta gi\xE0" " ad una directory esistente.\n";

// The record texts of path and of its numbered files .1 to .5, each after the
// number of its file: "0:L1 0:L2 1:L3 ".
static std::string textsOf(const std::string &path)
{
    std::string texts;
    for (int n = 0; n <= 5; n++)
        for (const auto &line : ts::lines(ts::readFile(n == 0 ? path : path + "." + std::to_string(n))))
            texts += std::to_string(n) + ":" + line.substr(line.rfind("] ") + 2) + " ";
    return texts;
}

// The whole file byte for byte: label by level, the fixed version field, the
// zero-padded process id, texts as given (line feeds and format characters
// included, nothing cut), and the console stream by level and echo (1
// standard output, 2 standard error, 0 none). Then rotation at the exact size
// boundary, into numbered files with the oldest dropped, and its limits.
TEST(LogWrite, RecordEchoAndRotation)
{
    auto stampNow = [] {   // the local time now, as a record's time stamp shows it
        char stamp[32];
        time_t now = time(nullptr);
        return std::string(stamp, strftime(stamp, sizeof stamp, "%d/%m/%Y %H:%M:%S", localtime(&now)));
    };
    std::string folder = ts::makeWorkFolder("log_write"), pid = std::to_string(win_getProcessId());
    pid.insert(0, pid.size() < 5 ? 5 - pid.size() : 0, '0');
    struct { unsigned int level; bool echo; const char *label; int stream; std::string text; } cases[] = {
        {0, false, "", 2, "0"}, {1, false, "ERROR", 2, "1"}, {1, true, "ERROR", 2, ""}, {2, true, "", 2, "2"},
        {3, false, "INFO", 0, "3"}, {3, true, "INFO", 1, "3"}, {4, true, "", 1, "4"}, {4, false, "", 0, "4"},
        {~0u, true, "", 1, "~0"}, {3, true, "INFO", 1, "a\nb\n\nd"}, {3, false, "INFO", 0, std::string(6000, '%')},
    };
    for (const auto &c : cases) {
        std::string path = ts::join(folder, std::to_string(&c - cases) + ".log"), before = stampNow();
        LogContext *context = log_createContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, c.echo);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        log_write(context, c.level, c.text.c_str());
        std::string after = stampNow(), echo = c.text + "\n", out = testing::internal::GetCapturedStdout() + "|";
        EXPECT_EQ(out + testing::internal::GetCapturedStderr(),
                  (c.stream == 1 ? echo : "") + "|" + (c.stream == 2 ? echo : "")) << c.level << " echo " << c.echo;
        log_destroyContext(context);
        std::string bytes = ts::readFile(path), stamp = bytes.compare(0, 19, after) == 0 ? after : before;
        EXPECT_EQ(ts::lf(bytes), stamp + " frascombe_a3x 1.1.1.7 {" + pid + "} [" + c.label + "] " + echo);
        // Every line of the file ends in CRLF on Windows, in LF elsewhere.
        EXPECT_EQ(bytes.size() - ts::lf(bytes).size(), ts::onWindows() ? ts::lines(bytes).size() : 0) << c.level;
    }
    // The size of two records like "L1" below, their line ends CRLF on Windows only.
    int exact = 2 * (int)("01/01/2000 00:00:00 rot 1.1.1.7 {" + pid + "} [INFO] L1\n").size() + ts::onWindows() * 2;
    // files: "" when all five records stay in the live file.
    struct { const char *name; int maxFiles, maxFileSize, lines; std::string files; } rotations[] = {
        {"at the limit", 3, exact, 2, "0:L1 0:L2 "}, {"a record more", 3, exact, 3, "1:L1 1:L2 1:L3 "},
        {"one byte over", 3, exact - 1, 2, "1:L1 1:L2 "}, {"four files", 4, 1, 5, "1:L5 2:L4 3:L3 "},
        {"two files", 2, 1, 5, "1:L5 "}, {"one file", 1, 1, 5, "1:L5 "}, {"no files", 0, 1, 5, ""},
        {"no size", 3, 0, 5, ""}, {"files < 0", -1, 1, 5, ""}, {"size < 0", 3, -5, 5, ""},
    };
    for (const auto &c : rotations) {
        std::string path = ts::join(folder, std::string("r") + std::to_string(&c - rotations) + ".log");
        LogContext *context = log_createContext(path.c_str(), "rot", "v", c.maxFiles, c.maxFileSize, false);
        for (int n = 1; n <= c.lines; n++) log_write(context, LOG_LEVEL_INFO, ("L" + std::to_string(n)).c_str());
        log_destroyContext(context);
        EXPECT_EQ(textsOf(path), c.files.empty() ? "0:L1 0:L2 0:L3 0:L4 0:L5 " : c.files) << c.name;
    }
}

// Each refusal comes with its message; an accepted path gives a context whose
// version is cut to 19 characters. Without a usable context a line goes to
// "log.txt" in the current folder (the logwriter tool runs there), echoed; a
// log.txt that the line takes past 1 MiB rotates into log.txt.1 to .4 (four
// older files there), one that it leaves below does not. When log.txt cannot
// be had the line is lost after the error echo and two messages.
TEST(LogContext, RefusalsAndFallback)
{
    std::string folder = ts::makeWorkFolder("log_context"), bad = "Percorso del file di log non valido.\n";
    std::string noFolder = "Impossibile creare la struttura delle directory per il file di log.\n", trailing =
        "Il percorso del file di log non pu\xF2 terminare con un carattere di separazione di cartelle.\n";
    // The first case passes a null path.
    struct { const char *name; std::string path, message; } cases[] = {
        {"null", "", bad}, {"empty", "", bad}, {"only backslash first", "\\only.log", noFolder},
        {"260 characters", std::string(VEK_PATH_SIZE, 'p'), bad}, {"259 characters", std::string(259, 'p'), ""},
        {"ends with \\", folder + "\\logs\\", trailing}, {"ends with /", folder + "\\logs/", trailing},
        {"existing folder", folder, IS_DIR}, {"no parent", folder + "\\a\\b\\x.log", noFolder},
        {"new folder", folder + "\\made\\x.log", ""}, {"no backslash", "plain-name.log", ""},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        auto *made = log_createContext(&c == cases ? nullptr : c.path.c_str(), "a", "0123456789abcdefghij", 0, 0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        EXPECT_TRUE(c.message.empty() ? made && std::string(made->appVersion).size() == 19 : !made) << c.name;
        log_destroyContext(made);
    }
    // size: of log.txt before the line, 0 for a folder in its place; printed: "standard output|error".
    struct { const char *name, *level; int size; std::string files, printed; } fallbacks[] = {
        {"full", "3", 1048576, "1:x 1:line 2:1 3:2 4:3 ", "line\n|"},
        {"nearly full", "3", 1048512, "0:x 0:line 1:1 2:2 3:3 4:4 ", "line\n|"},
        {"folder", "1", 0, "1:1 2:2 3:3 4:4 ", "|line\n" + IS_DIR + "Impossibile inizializzare il contesto di log.\n"},
    };
    for (const auto &c : fallbacks) {
        std::string caller = ts::makeWorkFolder("log_fallback"), live = ts::join(caller, "log.txt");
        ASSERT_TRUE(c.size ? ts::writeFile(live, std::string(c.size - 4, '.') + "] x\n") : ts::makeFolder(live));
        for (std::string n : {"1", "2", "3", "4"}) ASSERT_TRUE(ts::writeFile(live + "." + n, "] " + n));
        auto r = ts::run(ts::commandLine(ts::builtProgram("logwriter"), {"fallback", c.level, "line"}), caller);
        EXPECT_EQ(ts::lf(r.out + "|" + r.err), c.printed) << c.name << r.startError;
        EXPECT_EQ(textsOf(live), c.files) << c.name;
    }
}

// The platform calls that make a record wait, seen through the linker's --wrap
// (see tests/CMakeLists.txt): while a test scripts them, opens are refused as
// told, the append lock is granted or not as told, and pauses are only noted
// in the trace; otherwise every call goes on to the platform layer.
namespace held {

bool scripted = false;
int refusals = 0;         // opens still to refuse
int refusalError = 0;     // errno of a refused open
int lockError = 0;        // errno of a lock not granted, 0 for a lock granted
std::string trace;        // "open", "sleep(ms)" and "lock(ms)", each followed by a blank

win_file *realOpenAppend(const char *path) __asm__("__real__Z14win_openAppendPKc");
void realSleep(unsigned long milliseconds) __asm__("__real__Z9win_sleepm");
bool realLockAppend(win_file *file, unsigned long waitMs) __asm__("__real__Z14win_lockAppendP8win_filem");

win_file *openAppend(const char *path) __asm__("__wrap__Z14win_openAppendPKc");
void sleep(unsigned long milliseconds) __asm__("__wrap__Z9win_sleepm");
bool lockAppend(win_file *file, unsigned long waitMs) __asm__("__wrap__Z14win_lockAppendP8win_filem");

win_file *openAppend(const char *path)
{
    if (!scripted) return realOpenAppend(path);
    trace += "open ";
    if (refusals == 0) return realOpenAppend(path);
    refusals--;
    errno = refusalError;
    return nullptr;
}

void sleep(unsigned long milliseconds)
{
    if (!scripted) return realSleep(milliseconds);
    trace += "sleep(" + std::to_string(milliseconds) + ") ";
}

bool lockAppend(win_file *file, unsigned long waitMs)
{
    if (!scripted) return realLockAppend(file, waitMs);
    trace += "lock(" + std::to_string(waitMs) + ") ";
    if (lockError == 0) return realLockAppend(file, waitMs);
    errno = lockError;
    return false;
}

}  // namespace held

// One process's records, in order: once a record has used up its waits (the
// five tries a second apart, or the wait for the append lock), the later ones
// try once without pausing until a record gets the file and the lock again.
// A record whose lock stays taken is still written; a missing folder, or a lock
// that the file system cannot give (EINVAL), is no wait. refused: opens
// refused with error; lockError: errno of a lock not granted (0: granted);
// lands: the record is in the file.
TEST(LogWrite, OneWaitUntilARecordGetsThrough)
{
    const std::string lost = "Impossibile aprire il file di log.\n";
    const std::string fiveTries =
        "open sleep(1000) open sleep(1000) open sleep(1000) open sleep(1000) open sleep(1000) ";
    struct {
        const char *name;
        int refused, error, lockError;
        std::string trace, err;
        bool lands;
    } cases[] = {
        {"a free log", 0, 0, 0, "open lock(5000) ", "", true},
        {"held for two tries", 2, EACCES, 0, "open sleep(1000) open sleep(1000) open lock(5000) ", "",
         true},
        {"held past the five tries", 99, EACCES, 0, fiveTries, lost, false},
        {"still held: one try", 99, EACCES, 0, "open ", lost, false},
        {"still held (EAGAIN): one try", 99, EAGAIN, 0, "open ", lost, false},
        {"let go: one try of the lock", 0, 0, 0, "open lock(0) ", "", true},
        {"held again: five tries again", 99, EACCES, 0, fiveTries, lost, false},
        {"let go, lock taken: one try of it", 0, 0, EACCES, "open lock(0) ", "", true},
        {"held after that: one try", 99, EACCES, 0, "open ", lost, false},
        {"lock free again", 0, 0, 0, "open lock(0) ", "", true},
        {"lock taken past its wait", 0, 0, EACCES, "open lock(5000) ", "", true},
        {"held after a lost lock: one try", 99, EACCES, 0, "open ", lost, false},
        {"free once more", 0, 0, 0, "open lock(0) ", "", true},
        {"folder missing: no wait", 99, ENOENT, 0, "open ", lost, false},
        {"held after that: five tries", 99, EACCES, 0, fiveTries, lost, false},
        {"free at last", 0, 0, 0, "open lock(0) ", "", true},
        {"no lock to be had: written", 0, 0, EINVAL, "open lock(5000) ", "", true},
        {"held after that: five tries too", 99, EACCES, 0, fiveTries, lost, false},
    };
    std::string path = ts::join(ts::makeWorkFolder("log_held"), "held.log");
    LogContext *context = log_createContext(path.c_str(), "held", "v", 0, 0, false);
    ASSERT_NE(context, nullptr);
    log_write(context, LOG_LEVEL_INFO, "first");   // whatever came before, this record gets through
    held::scripted = true;
    for (const auto &c : cases) {
        held::refusals = c.refused, held::refusalError = c.error;
        held::lockError = c.lockError;
        held::trace.clear();
        testing::internal::CaptureStderr();
        log_write(context, LOG_LEVEL_INFO, c.name);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(held::trace, c.trace) << c.name;
        EXPECT_EQ(err, c.err) << c.name;
        EXPECT_EQ(ts::readFile(path).find(c.name) != std::string::npos, c.lands) << c.name;
    }
    held::scripted = false;
    log_destroyContext(context);
}
