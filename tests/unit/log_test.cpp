// Log writer: the record format field by field, console echo by level,
// size-based rotation, the refusals of a context and the "log.txt" fallback,
// and how long a record waits for a log that another program holds.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <filesystem>

#include "log.h"
#include "testsupport.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

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

// The process id as a record shows it: zero-padded to five digits.
static std::string recordPid()
{
    std::string pid = std::to_string(win_getProcessId());
    return std::string(pid.size() < 5 ? 5 - pid.size() : 0, '0') + pid;
}

// The local time now, as a record's time stamp shows it.
static std::string stampNow()
{
    char stamp[32];
    time_t now = time(nullptr);
    return std::string(stamp, strftime(stamp, sizeof stamp, "%d/%m/%Y %H:%M:%S", localtime(&now)));
}

// The whole file byte for byte: label by level, the fixed version field, the
// zero-padded process id, the text as given (line feeds and format characters
// included, nothing cut), line ends CRLF on Windows only; and the console
// stream by level with the echo on: 1 standard output, 2 standard error.
// (With the echo off no information line reaches the console: the launches
// of Launcher.EveryInstallationKind.)
TEST(LogWrite, RecordAndEcho)
{
    const std::string folder = ts::makeWorkFolder("log_write"), pid = recordPid();
    const struct { unsigned int level; const char *label; int stream; std::string text; } cases[] = {
        {1, "ERROR", 2, ""},
        {2, "", 2, "2"},
        {3, "INFO", 1, "a\nb\n\nd %s " + std::string(6000, '%')},
        {4, "", 1, "4"},
    };
    for (const auto &c : cases) {
        std::string path = ts::join(folder, std::to_string(&c - cases) + ".log"), before = stampNow();
        LogContext *context = log_createContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, true);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        log_write(context, c.level, c.text.c_str());
        std::string after = stampNow(), echo = c.text + "\n";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.stream == 1 ? echo : "") << c.level;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stream == 2 ? echo : "") << c.level;
        log_destroyContext(context);
        std::string bytes = ts::readFile(path), stamp = bytes.compare(0, 19, after) == 0 ? after : before;
        EXPECT_EQ(ts::lf(bytes), stamp + " frascombe_a3x 1.1.1.7 {" + pid + "} [" + c.label + "] " + echo);
        size_t carriageReturns = bytes.size() - ts::lf(bytes).size();   // one per line, on Windows only
        EXPECT_EQ(carriageReturns, ts::onWindows() ? ts::lines(bytes).size() : 0) << c.level;
    }
}

// Records "L1" to "L5" of RECORD bytes each: the live file moves on once it
// is past the size limit, into numbered files with the oldest dropped;
// without both limits above 0 it stays.
TEST(LogWrite, Rotation)
{
    const int RECORD = (int)("01/01/2000 00:00:00 rot 1.1.1.7 {" + recordPid() + "} [INFO] L1\n").size() +
                       ts::onWindows();   // CRLF
    const struct { const char *name; int maxFiles, maxFileSize; std::string files; } cases[] = {
        {"at the limit", 3, 5 * RECORD, "0:L1 0:L2 0:L3 0:L4 0:L5 "},
        {"one byte over", 3, 4 * RECORD - 1, "0:L5 1:L1 1:L2 1:L3 1:L4 "},
        {"four files", 4, 1, "1:L5 2:L4 3:L3 "},
        {"one file", 1, 1, "1:L5 "},
        {"no files", 0, 1, "0:L1 0:L2 0:L3 0:L4 0:L5 "},
        {"files below 0", -1, 1, "0:L1 0:L2 0:L3 0:L4 0:L5 "},
        {"no size", 3, 0, "0:L1 0:L2 0:L3 0:L4 0:L5 "},
        {"size below 0", 3, -5, "0:L1 0:L2 0:L3 0:L4 0:L5 "},
    };
    std::string folder = ts::makeWorkFolder("log_rotation");
    for (const auto &c : cases) {
        std::string path = ts::join(folder, std::string("r") + std::to_string(&c - cases) + ".log");
        LogContext *context = log_createContext(path.c_str(), "rot", "v", c.maxFiles, c.maxFileSize, false);
        for (const char *text : {"L1", "L2", "L3", "L4", "L5"}) log_write(context, LOG_LEVEL_INFO, text);
        log_destroyContext(context);
        EXPECT_EQ(textsOf(path), c.files) << c.name;
    }
}

// Each refusal comes with its message; an accepted path gives a context whose
// version is cut to 19 characters. (A folder in the log's place is refused in
// FallbackToLogTxt, and a log folder one level down is made by the export
// tool's launch in Launcher.EveryInstallationKind.)
TEST(LogContext, Refusals)
{
    const std::string folder = ts::makeWorkFolder("log_context");
    const std::string bad = "Percorso del file di log non valido.\n";
    const std::string noFolder = "Impossibile creare la struttura delle directory per il file di log.\n";
    const std::string trailing =
        "Il percorso del file di log non pu\xF2 terminare con un carattere di separazione di cartelle.\n";
    const struct { const char *name; std::string path, message; } cases[] = {
        {"empty", "", bad},
        {"260 characters", std::string(260, 'p'), bad},
        {"259 characters", std::string(259, 'p'), ""},
        {"only backslash first", "\\only.log", noFolder},
        {"ends with \\", folder + "\\logs\\", trailing},
        {"ends with /", folder + "\\logs/", trailing},
        {"no parent", folder + "\\a\\b\\x.log", noFolder},
        {"a quote in the name", folder + "\\Cliente \"Rossi\" 2026.log", bad},
        {"a colon in the name", folder + "\\a:b.log", bad},
        {"a control character in the name", folder + "\\a\tb.log", bad},
        {"a drive before the name", "Z:x.log", ""},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        LogContext *made = log_createContext(c.path.c_str(), "a", "0123456789abcdefghij", 0, 0, false);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        std::string version = made ? made->appVersion : "refused";
        EXPECT_EQ(version, c.message.empty() ? "0123456789abcdefghi" : "refused") << c.name;
        log_destroyContext(made);
    }
}

// A log past 2 GiB rotates at the largest limit an INI can give: the size is
// not cut to 32 bits. (The file is sparse: no 2 GiB are written.)
TEST(LogWrite, RotatesALogPast2GiB)
{
    std::string path = ts::join(ts::makeWorkFolder("log_large"), "large.log");
    char native[VEK_PATH_SIZE];
    ASSERT_TRUE(ts::writeFile(path, "") && win_toNativePath(path.c_str(), native, sizeof native));
    const std::uintmax_t LARGE = (std::uintmax_t)INT_MAX + 100;
    std::filesystem::resize_file(native, LARGE);
    LogContext *context = log_createContext(path.c_str(), "large", "v", 2, INT_MAX, false);
    log_write(context, LOG_LEVEL_INFO, "past 2 GiB");
    log_destroyContext(context);
    EXPECT_FALSE(ts::fileExists(path));
    std::error_code error;
    EXPECT_GT(std::filesystem::file_size(std::string(native) + ".1", error), LARGE);
    std::filesystem::remove(std::string(native) + ".1", error);
    std::filesystem::remove(native, error);
}

// Without a usable context a line goes to "log.txt" in the current folder (the
// logwriter tool runs there), echoed; a log.txt that the line takes past 1 MiB
// rotates into log.txt.1 to .4 (four older files there). When log.txt cannot
// be had the line is lost after the error
// echo and two messages. size: of log.txt before the line, 0 for a folder in
// its place; printed: "standard output|standard error".
TEST(LogContext, FallbackToLogTxt)
{
    const struct { const char *name, *level; int size; std::string files, printed; } cases[] = {
        {"full", "3", 1048576, "1:x 1:line 2:1 3:2 4:3 ", "line\n|"},
        {"a folder", "1", 0, "1:1 2:2 3:3 4:4 ",
         "|line\n" + IS_DIR + "Impossibile inizializzare il contesto di log.\n"},
    };
    for (const auto &c : cases) {
        std::string caller = ts::makeWorkFolder("log_fallback"), live = ts::join(caller, "log.txt");
        const std::string filler(c.size > 4 ? c.size - 4 : 0, '.');
        ASSERT_TRUE(c.size ? ts::writeFile(live, filler + "] x\n") : ts::makeFolder(live));
        for (std::string n : {"1", "2", "3", "4"}) ASSERT_TRUE(ts::writeFile(live + "." + n, "] " + n));
        const std::string logwriter = ts::builtProgram("logwriter");
        ts::RunResult r = ts::run(ts::commandLine(logwriter, {"fallback", c.level, "line"}), caller);
        EXPECT_EQ(ts::lf(r.out + "|" + r.err), c.printed) << c.name << r.startError;
        EXPECT_EQ(textsOf(live), c.files) << c.name;
    }
}

// The platform calls that make a record wait, seen through the linker's --wrap
// (see tests/CMakeLists.txt): opens are refused while `refusals` lasts, the
// append lock fails with `lockError` unless that is 0, and pauses are only
// noted in the trace, never taken. Otherwise the platform layer answers.
namespace held {

int refusals = 0;         // opens still to refuse
int refusalError = 0;     // errno of a refused open
int lockError = 0;        // errno of a lock not granted, 0 for a lock granted
std::string trace;        // "open", "sleep(ms)" and "lock(ms)", each followed by a blank

win_file *realOpenAppend(const char *path) __asm__("__real__Z14win_openAppendPKc");
bool realLockAppend(win_file *file, unsigned long waitMs) __asm__("__real__Z14win_lockAppendP8win_filem");

win_file *openAppend(const char *path) __asm__("__wrap__Z14win_openAppendPKc");
void sleep(unsigned long milliseconds) __asm__("__wrap__Z9win_sleepm");
bool lockAppend(win_file *file, unsigned long waitMs) __asm__("__wrap__Z14win_lockAppendP8win_filem");

win_file *openAppend(const char *path)
{
    trace += "open ";
    if (refusals == 0) return realOpenAppend(path);
    refusals--;
    errno = refusalError;
    return nullptr;
}

void sleep(unsigned long milliseconds)
{
    trace += "sleep(" + std::to_string(milliseconds) + ") ";
}

bool lockAppend(win_file *file, unsigned long waitMs)
{
    trace += "lock(" + std::to_string(waitMs) + ") ";
    if (lockError == 0) return realLockAppend(file, waitMs);
    errno = lockError;
    return false;
}

// Writes one record with its first `refused` opens refused with errno `error`
// and the lock failing with errno `lockFailure` (0: granted); returns its trace.
std::string write(LogContext *context, const char *text, int refused, int error, int lockFailure)
{
    refusals = refused;
    refusalError = error;
    lockError = lockFailure;
    trace.clear();
    testing::internal::CaptureStderr();   // the message of a lost record
    log_write(context, LOG_LEVEL_INFO, text);
    testing::internal::GetCapturedStderr();
    return trace;
}

}  // namespace held

#ifdef _WIN32
int errnoOfWindowsError(unsigned long error);   // the Win32 backend's table; no header declares it
#endif

// The runtime's errno for the Windows errors that decide whether an open is
// tried again: held or refused for now (EACCES, EAGAIN), missing, out of
// memory; any other error is EINVAL. Rows: first and last error, errno.
TEST(WinErrno, AsTheRuntimeGivesIt)
{
#ifndef _WIN32
    GTEST_SKIP() << "Windows error numbers exist on Windows only";
#else
    const struct { unsigned long first, last; int expected; } rows[] = {
        {5, 5, EACCES}, {16, 16, EACCES}, {19, 36, EACCES}, {65, 65, EACCES}, {82, 83, EACCES},
        {108, 108, EACCES}, {89, 89, EAGAIN}, {164, 164, EAGAIN}, {215, 215, EAGAIN}, {2, 3, ENOENT},
        {8, 8, ENOMEM}, {1, 1, EINVAL}, {37, 37, EINVAL}, {87, 87, EINVAL}, {183, 183, EINVAL},
    };
    for (const auto &row : rows)
        for (unsigned long error = row.first; error <= row.last; error++)
            EXPECT_EQ(errnoOfWindowsError(error), row.expected) << error;
#endif
}

// One process's records share one rule: a record that used up its waits (five
// tries a second apart, or the five-second wait for the append lock) leaves
// the later ones a single try without pausing, until a record gets the file
// and the lock at once. Each case starts from a state, "waiting" or "used up",
// writes one record and finds the state it leaves. refused: opens refused with
// `error`; lockError: errno of a lock not granted (0: granted); lands: the
// record is in the file. A record whose lock stays taken is still written; a
// missing folder, or a lock that the file system cannot give (EINVAL), is no
// wait. A record that found the log held is kept back and written before the
// next one that gets through: at the end every record is in the file, in
// order, but the one whose folder was missing.
TEST(LogWrite, OneWaitUntilARecordGetsThrough)
{
    const std::string TWO_TRIES = "open sleep(1000) open sleep(1000) ", FIVE_TRIES = TWO_TRIES + TWO_TRIES +
                                  "open sleep(1000) ";
    const struct { const char *name, *before; int refused, error, lockError; std::string trace; bool lands;
                   const char *after; } cases[] = {
        {"a free log", "waiting", 0, 0, 0, "open lock(5000) ", true, "waiting"},
        {"held for two tries", "waiting", 2, EAGAIN, 0, TWO_TRIES + "open lock(5000) ", true, "waiting"},
        {"held past five tries", "waiting", 99, EACCES, 0, FIVE_TRIES, false, "used up"},
        {"still held", "used up", 99, EACCES, 0, "open ", false, "used up"},
        {"let go", "used up", 0, 0, 0, "open lock(0) ", true, "waiting"},
        {"let go, lock taken", "used up", 0, 0, EACCES, "open lock(0) ", true, "used up"},
        {"lock taken past its wait", "waiting", 0, 0, EACCES, "open lock(5000) ", true, "used up"},
        {"folder missing", "waiting", 99, ENOENT, 0, "open ", false, "waiting"},
        {"no lock to be had", "waiting", 0, 0, EINVAL, "open lock(5000) ", true, "waiting"},
    };
    std::string path = ts::join(ts::makeWorkFolder("log_held"), "held.log");
    LogContext *context = log_createContext(path.c_str(), "held", "v", 0, 0, false);
    ASSERT_NE(context, nullptr);
    for (const auto &c : cases) {
        // A free log clears the state; one held past the tries uses the waits up.
        held::write(context, "before", std::string(c.before) == "used up" ? 99 : 0, EACCES, 0);
        EXPECT_EQ(held::write(context, c.name, c.refused, c.error, c.lockError), c.trace) << c.name;
        EXPECT_EQ(ts::readFile(path).find(c.name) != std::string::npos, c.lands) << c.name;
        // A record that finds the log held makes a single try once the waits are used up.
        bool usedUp = held::write(context, "after", 99, EACCES, 0) == "open ";
        EXPECT_EQ(usedUp ? "used up" : "waiting", std::string(c.after)) << c.name;
    }
    // Nothing scripted for the tests that follow in this process.
    held::write(context, "free again", 0, 0, 0);
    log_destroyContext(context);
    std::string written;
    for (const auto &c : cases) {
        written += "0:before ";
        if (c.error != ENOENT) written += std::string("0:") + c.name + " ";
        written += "0:after ";
    }
    EXPECT_EQ(textsOf(path), written + "0:free again ");
}

// At the end of the run the records still kept back get one more wait, five
// seconds at most in all (pauses of 250 ms, then the lock's wait for what is
// left), and are written, or lost with the message of a log that cannot be
// opened; either way none is kept any longer.
TEST(LogWrite, HeldRecordsGetOneMoreWaitAtTheEnd)
{
    std::string TWENTY_PAUSES;
    for (int i = 0; i < 20; i++) TWENTY_PAUSES += "sleep(250) open ";
    const struct { const char *name; int refusals; std::string trace, texts, err; } cases[] = {
        {"let go after three tries", 3, "open sleep(250) open sleep(250) open sleep(250) open lock(4250) ",
         "0:kept ", ""},
        {"held to the end", 99, "open " + TWENTY_PAUSES, "", "Impossibile aprire il file di log.\n"},
    };
    for (const auto &c : cases) {
        std::string path = ts::join(ts::makeWorkFolder("log_end"), "end.log");
        LogContext *context = log_createContext(path.c_str(), "end", "v", 0, 0, false);
        held::write(context, "kept", 99, EACCES, 0);
        held::refusals = c.refusals;
        held::trace.clear();
        testing::internal::CaptureStderr();
        log_writeHeld();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.name;
        EXPECT_EQ(held::trace, c.trace) << c.name;
        EXPECT_EQ(textsOf(path), c.texts) << c.name;
        held::refusals = 0;
        held::trace.clear();
        log_writeHeld();
        EXPECT_EQ(held::trace, "") << c.name;
        log_write(context, LOG_LEVEL_INFO, "free again");   // leaves the waits to the tests that follow
        log_destroyContext(context);
    }
}
