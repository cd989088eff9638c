// launcher_bench: measures what the launcher costs next to the ways a user
// would start a script without it, on the platform it runs on, and writes its
// rows of the benchmark table (Markdown) to a file. scripts/bench.sh runs it
// natively and as a Windows program under Wine and prints the whole table.
//
//   launcher_bench <work folder> <rows file> [runs] [warm-ups]
//
// Start times (medians of the runs after the warm-ups, the ways taking turns
// so that a change of load reaches them all alike):
//   natively   the interpreter stand-in started directly, the launcher without
//              an INI file, the launcher with a connector INI (echo off), a
//              /bin/sh wrapper that execs the stand-in, and the bare spawn
//              shim (posix_spawn, wait, exit code: the floor of a launcher);
//   on Windows the same without the sh wrapper, and a .cmd wrapper through
//              cmd.exe instead; the shim (CreateProcessA) once importing
//              kernel32 alone and once also shlwapi.
// Then the log writer's throughput in this process and in eight logwriter
// processes at once, the eight on a rotating log (bytes kept, smallest
// numbered file), a rotating launch in a folder of 100,000 entries, and how
// many awkward arguments reach the script
// unchanged along each way. Every launcher and wrapper run must end with the
// script's own exit code, or the row says how many runs failed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "log.h"
#include "testsupport.h"
#include "vekstringlib.h"
#include "testplatform.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

enum {
    BENCH_EXIT_CODE = 7,              // what the timing script ends with
    BENCH_LOG_LINES = 20000,          // records written in this process
    BENCH_LOG_REPEATS = 5,            // runs of each log measurement
    BENCH_WRITERS = 8,                // log writer processes at once
    BENCH_WRITER_LINES = 500,         // records per log writer process
    BENCH_WRITER_TIMEOUT_MS = 120000, // the longest wait for the writers
    BENCH_ROTATION_FILES = 30,        // the rotating log of the eight writers: files...
    BENCH_ROTATION_SIZE = 5000,       // ...and their size limit in bytes
    BENCH_FOLDER_ENTRIES = 100000,    // entries of the big folder a rotating launch logs in
    BENCH_FOLDER_FILES = 100          // files its log rotates through
};

// The record text of the log measurements, as long as the log writer tool's.
static const char *const BENCH_LOG_FILLER = "abcdefghijklmnopqrstuvwxyz0123456789";

// The characters that make a word need quotes on the launcher's command line.
static const char *const SPLIT_SPECIALS = " \t\n\v\"";
// The same plus cmd.exe's operators, which it leaves alone only inside quotes.
static const char *const CMD_SPECIALS = " \t\n\v\"&|<>^";

// One way of starting the script.
enum WayKind { WAY_DIRECT, WAY_LAUNCHER, WAY_SH, WAY_CMD, WAY_SHIM };

struct Way {
    WayKind kind;
    const char *label;     // the row's name
    std::string folder;    // the task folder, also the working folder
    const char *specials;  // the characters that make the caller quote a word
};

// An argument that must reach the script unchanged, and its name in the table.
struct AwkwardWord {
    const char *label;
    const char *word;
};

static const AwkwardWord AWKWARD_WORDS[] = {
    {"quote alone", "\""},
    {"quoted phrase", "say \"hi\""},
    {"quote in a word", "a\"b"},
    {"%PATH%", "%PATH%"},
    {"caret", "^"},
    {"caret in a word", "a^b"},
    {"ampersand", "&"},
    {"ampersand in a word", "x&y"},
    {"pipe", "|"},
    {"angle brackets", "<in>"},
    {"leading greater-than", ">out"},
    {"trailing backslash", "C:\\temp\\"},
    {"blank and trailing backslash", "C:\\my dir\\"},
    {"backslash before a quote", "a\\\"b"},
    {"blank", "two words"},
    {"leading and trailing blanks", "  padded  "},
    {"tab", "tab\there"},
    {"caff\\xE8", "caff\xE8"},
    {"accents and a blank", "perch\xE9 s\xEC"},
};
static const int AWKWARD_COUNT = (int)(sizeof AWKWARD_WORDS / sizeof AWKWARD_WORDS[0]);

// --- Small helpers -------------------------------------------------------------------

// Milliseconds elapsed since start.
static double elapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The value at fraction q (0 to 1) of sorted values, interpolated linearly.
static double quantile(const std::vector<double> &sorted, double q)
{
    if (sorted.empty()) return 0;
    double position = q * (double)(sorted.size() - 1);
    size_t below = (size_t)position;
    if (below + 1 >= sorted.size()) return sorted.back();
    double part = position - (double)below;
    return sorted[below] + part * (sorted[below + 1] - sorted[below]);
}

struct Summary {
    double median, q1, q3, min, max;
};

// Median, quartiles and range of values.
static Summary summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    Summary s = {0, 0, 0, 0, 0};
    if (values.empty()) return s;
    s.median = quantile(values, 0.5);
    s.q1 = quantile(values, 0.25);
    s.q3 = quantile(values, 0.75);
    s.min = values.front();
    s.max = values.back();
    return s;
}

// word bare when it holds none of the characters in specials, otherwise in
// double quotes with its inner quotes doubled: what the launcher's own
// splitting (and the stand-in's) reads back as the same word.
static std::string quote(const std::string &word, const char *specials)
{
    if (!word.empty() && word.find_first_of(specials) == std::string::npos) return word;
    std::string quoted = "\"";
    for (char c : word) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

// The command line that starts the script with words along way.
static std::string commandFor(const Way &way, const std::vector<std::string> &words)
{
    std::string line;
    switch (way.kind) {
    case WAY_DIRECT:
        line = "\"" + ts::join(way.folder, "autoit3.exe") + "\" task.a3x";
        break;
    case WAY_LAUNCHER:
    case WAY_SHIM:
        line = "\"" + ts::join(way.folder, "task.exe") + "\"";
        break;
    case WAY_SH: {
        // The backend maps the program's path only: the script's path is
        // given to the shell in its own form.
        char native[VEK_TEXT_SIZE];
        if (!win_toNativePath(ts::join(way.folder, "wrapper.sh").c_str(), native, sizeof native)) native[0] = '\0';
        line = "\"Z:\\bin\\sh\" " + quote(native, SPLIT_SPECIALS);
        break;
    }
    case WAY_CMD:
        // /s: cmd.exe drops the outer pair of quotes and keeps the rest as it is.
        line = "cmd.exe /s /c \"\"" + ts::join(way.folder, "wrapper.cmd") + "\"";
        break;
    }
    for (const std::string &word : words) line += " " + quote(word, way.specials);
    if (way.kind == WAY_CMD) line += "\"";
    return line;
}

// Runs command in folder with both streams captured into the work folder and
// returns its exit code; -1 when it could not be started.
static int run(const std::string &command, const std::string &folder, const std::string &work)
{
    char errorText[VEK_TEXT_SIZE];
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    int code = ts::executeCaptured(buffer.data(), folder.c_str(), ts::join(work, "out.txt").c_str(),
                                   ts::join(work, "err.txt").c_str(), errorText);
    return errorText[0] != '\0' ? -1 : code;
}

// Lays out a task folder: launcher copy task.exe (or the named shim under
// that name), stand-in, script text, and the wrapper of this platform. False
// when a file could not be written.
static bool layTask(const std::string &folder, const std::string &script, bool onWindows,
                     const char *shim = nullptr)
{
    if (!ts::makeFolder(folder)) return false;
    std::string exe = ts::layTask(folder, "task.exe");
    unsigned long error = 0;
    if (shim != nullptr && !win_copyFile(ts::builtProgram(shim).c_str(), exe.c_str(), &error)) return false;
    bool ok = ts::fileExists(exe) && ts::fileExists(ts::join(folder, "autoit3.exe")) &&
              ts::writeFile(ts::join(folder, "task.a3x"), script);
    if (onWindows) {
        return ok && ts::writeFile(ts::join(folder, "wrapper.cmd"), "@\"%~dp0autoit3.exe\" task.a3x %*\r\n");
    }
    return ok && ts::writeFile(ts::join(folder, "wrapper.sh"),
                               "#!/bin/sh\ncd \"$(dirname \"$0\")\" && exec ./autoit3.exe task.a3x \"$@\"\n");
}

// Appends one table row to rows.
static void addRow(std::string *rows, const char *platform, const char *measure, const char *median,
                    const char *spread, const char *ratio, const char *goal)
{
    char row[VEK_TEXT_SIZE];
    str_format(row, sizeof row, "| %s | %s | %s | %s | %s | %s |\n", platform, measure, median, spread, ratio, goal);
    *rows += row;
}

// --- Start times -----------------------------------------------------------------------

struct Timing {
    std::vector<double> ms;
    int failures = 0;   // runs that did not end with the script's exit code
};

// Starts every way runs + warmups times, the ways taking turns, and keeps
// the times of the runs after the warm-ups.
static std::vector<Timing> timeWays(const std::vector<Way> &ways, const std::string &work, int runs, int warmups)
{
    std::vector<Timing> timings(ways.size());
    std::vector<std::string> commands;
    for (const Way &way : ways) commands.push_back(commandFor(way, {"-q"}));
    for (int round = 0; round < warmups + runs; round++) {
        for (size_t turn = 0; turn < ways.size(); turn++) {
            size_t w = (turn + (size_t)round) % ways.size();
            auto start = std::chrono::steady_clock::now();
            int code = run(commands[w], ways[w].folder, work);
            double ms = elapsedMs(start);
            if (code != BENCH_EXIT_CODE) {
                timings[w].failures++;
                continue;
            }
            if (round >= warmups) timings[w].ms.push_back(ms);
        }
    }
    return timings;
}

// Adds the rows of the start times: median, spread, ratio to the direct
// start and the goals (launcher within maxRatio of the direct start and
// within shimRatio of the last shim, launcher ahead of wrapper).
static void timeRows(std::string *rows, const char *platform, const std::vector<Way> &ways,
                      const std::vector<Timing> &timings, double maxRatio, double shimRatio)
{
    double direct = summarise(timings[0].ms).median;
    double launcher = summarise(timings[1].ms).median;
    double shim = summarise(timings.back().ms).median;
    for (size_t w = 0; w < ways.size(); w++) {
        Summary s = summarise(timings[w].ms);
        char measure[VEK_TEXT_SIZE], median[64], spread[128], ratio[64], goal[VEK_TEXT_SIZE];
        str_format(measure, sizeof measure, "start: %s", ways[w].label);
        str_format(median, sizeof median, "%.2f ms", s.median);
        str_format(spread, sizeof spread, "IQR %.2f-%.2f; range %.2f-%.2f", s.q1, s.q3, s.min, s.max);
        str_format(ratio, sizeof ratio, "%.2fx", direct > 0 ? s.median / direct : 0.0);
        goal[0] = '\0';
        if (ways[w].kind == WAY_LAUNCHER) {
            bool met = direct > 0 && s.median <= maxRatio * direct;
            bool nearShim = shim > 0 && s.median <= shimRatio * shim;
            str_format(goal, sizeof goal, "within %.1fx direct: %s; %.2fx the %s (goal %.2fx): %s", maxRatio,
                       met ? "**met**" : "**missed**", shim > 0 ? s.median / shim : 0.0, ways.back().label,
                       shimRatio, nearShim ? "**met**" : "**missed**");
        } else if (ways[w].kind == WAY_SH || ways[w].kind == WAY_CMD) {
            str_format(goal, sizeof goal, "launcher ahead (%.2f vs %.2f ms): %s", launcher, s.median,
                       launcher < s.median ? "**met**" : "**missed**");
        }
        if (timings[w].failures > 0 || timings[w].ms.empty()) {
            size_t used = strlen(goal);
            str_format(goal + used, sizeof goal - used, "%sFAILED runs: %d", used > 0 ? "; " : "",
                       timings[w].failures);
        }
        addRow(rows, platform, measure, median, spread, ratio, goal);
    }
}

// --- Log writer ------------------------------------------------------------------------

// The distinct whole records in the log file at path (a record line whose
// text ends with the filler), and in *damaged the lines that are not one.
static int wholeRecords(const std::string &path, int *damaged)
{
    std::set<std::string> seen;
    *damaged = 0;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        ts::LogRecord record;
        size_t fill = std::string::npos;
        if (ts::parseLogRecord(line, &record)) fill = record.text.rfind(BENCH_LOG_FILLER);
        if (fill != std::string::npos && fill + strlen(BENCH_LOG_FILLER) == record.text.size()) {
            seen.insert(record.text);
        } else {
            (*damaged)++;
        }
    }
    return (int)seen.size();
}

// Writes BENCH_LOG_LINES records through log_write into a new file; returns
// the lines per second, the whole records found in *found and the damaged
// lines in *damaged.
static double logInProcess(const std::string &path, int *found, int *damaged)
{
    LogContext *context = log_createContext(path.c_str(), "bench", "0", 0, 0, false);
    if (context == NULL) return 0;
    char text[VEK_TEXT_SIZE];
    auto start = std::chrono::steady_clock::now();
    for (int n = 1; n <= BENCH_LOG_LINES; n++) {
        str_format(text, sizeof text, "bench %d %s", n, BENCH_LOG_FILLER);
        log_write(context, LOG_LEVEL_INFO, text);
    }
    double ms = elapsedMs(start);
    log_destroyContext(context);
    *found = wholeRecords(path, damaged);
    return ms > 0 ? BENCH_LOG_LINES * 1000.0 / ms : 0;
}

// Starts BENCH_WRITERS log writer processes on one log file in folder, with
// the rotation limits given (0: none), and waits until each has left its
// marker; returns the milliseconds from the first start to the last marker
// (-1 on a failure or time-out), the whole records found in the live file in
// *found and its damaged lines in *damaged.
static double logMultiProcess(const std::string &folder, int maxFiles, int maxFileSize, int *found,
                              int *damaged)
{
    *found = 0;
    *damaged = 0;
    if (!ts::makeFolder(folder)) return -1;
    std::string logPath = ts::join(folder, "bench.log");
    std::string writer = ts::builtProgram("logwriter");
    std::vector<std::string> markers;
    std::vector<std::string> commands;
    for (int i = 1; i <= BENCH_WRITERS; i++) {
        markers.push_back(ts::join(folder, "done" + std::to_string(i)));
        commands.push_back(ts::commandLine(writer, {"many", logPath, std::to_string(BENCH_WRITER_LINES),
                                                    std::to_string(maxFiles), std::to_string(maxFileSize),
                                                    "p" + std::to_string(i), markers.back()}));
    }
    char errorText[VEK_TEXT_SIZE];
    auto start = std::chrono::steady_clock::now();
    for (std::string &command : commands) {
        std::vector<char> buffer(command.begin(), command.end());
        buffer.push_back('\0');
        win_executeCommand(buffer.data(), folder.c_str(), false, errorText);
        if (errorText[0] != '\0') return -1;
    }
    double ms = 0;
    for (;;) {
        ms = elapsedMs(start);
        bool done = true;
        for (const std::string &marker : markers) done = done && ts::fileExists(marker);
        if (done) break;
        if (ms > BENCH_WRITER_TIMEOUT_MS) return -1;
        win_sleep(1);
    }
    *found = wholeRecords(logPath, damaged);
    return ms;
}

// Appends a comma and n to list, or n alone to an empty one.
static void appendNumber(std::string *list, int n)
{
    if (!list->empty()) *list += ",";
    *list += std::to_string(n);
}

// Adds the rows of the log writer's throughput, with the whole records found
// and the damaged lines of each measured run.
static void logRows(std::string *rows, const char *platform, const std::string &work)
{
    std::vector<double> rates, times;
    std::string found1, damaged1, foundN, damagedN;
    int failedRuns = 0;
    // One warm-up of each, then the measured runs.
    for (int k = 0; k <= BENCH_LOG_REPEATS; k++) {
        int found = 0, damaged = 0;
        double rate = logInProcess(ts::join(work, "inprocess" + std::to_string(k) + ".log"), &found, &damaged);
        if (k == 0) continue;
        rates.push_back(rate);
        appendNumber(&found1, found);
        appendNumber(&damaged1, damaged);
    }
    for (int k = 0; k <= BENCH_LOG_REPEATS; k++) {
        int found = 0, damaged = 0;
        double ms = logMultiProcess(ts::join(work, "multi" + std::to_string(k)), 0, 0, &found, &damaged);
        if (k == 0) continue;
        if (ms >= 0) {
            times.push_back(ms);
        } else {
            failedRuns++;
        }
        appendNumber(&foundN, found);
        appendNumber(&damagedN, damaged);
    }

    char measure[VEK_TEXT_SIZE], median[64], spread[128], note[VEK_TEXT_SIZE];
    Summary s = summarise(rates);
    str_format(measure, sizeof measure, "log writer, one process: %d lines through log_write",
               (int)BENCH_LOG_LINES);
    str_format(median, sizeof median, "%.0f lines/s", s.median);
    str_format(spread, sizeof spread, "IQR %.0f-%.0f; range %.0f-%.0f", s.q1, s.q3, s.min, s.max);
    str_format(note, sizeof note, "lines found per run: %s of %d; damaged lines: %s", found1.c_str(),
               (int)BENCH_LOG_LINES, damaged1.c_str());
    addRow(rows, platform, measure, median, spread, "", note);

    s = summarise(times);
    int expected = BENCH_WRITERS * BENCH_WRITER_LINES;
    str_format(measure, sizeof measure, "log writer, %d processes x %d lines on one file (start to last done)",
               (int)BENCH_WRITERS, (int)BENCH_WRITER_LINES);
    str_format(median, sizeof median, "%.0f ms (%.0f lines/s)", s.median,
               s.median > 0 ? expected * 1000.0 / s.median : 0.0);
    str_format(spread, sizeof spread, "IQR %.0f-%.0f; range %.0f-%.0f ms", s.q1, s.q3, s.min, s.max);
    str_format(note, sizeof note, "lines found per run: %s of %d; damaged lines: %s%s", foundN.c_str(), expected,
               damagedN.c_str(), failedRuns > 0 ? "; FAILED runs (start or time-out)" : "");
    addRow(rows, platform, measure, median, spread, "", note);
}

// Adds the rows of rotation: the eight log writers on a log of
// BENCH_ROTATION_FILES files of BENCH_ROTATION_SIZE bytes (time, bytes kept
// against the (files - 1) full files that one writer alone keeps, smallest
// numbered file), and a rotating launch in a folder of BENCH_FOLDER_ENTRIES
// entries, each run with a live log past the limit.
static void rotationRows(std::string *rows, const char *platform, const std::string &work, int runs)
{
    std::vector<double> times;
    std::string keptList, smallestList;
    for (int k = 0; k <= BENCH_LOG_REPEATS; k++) {
        int found = 0, damaged = 0;
        std::string folder = ts::join(work, "rotation" + std::to_string(k));
        std::string log = ts::join(folder, "bench.log");
        double ms = logMultiProcess(folder, BENCH_ROTATION_FILES, BENCH_ROTATION_SIZE, &found, &damaged);
        if (k == 0 || ms < 0) continue;
        times.push_back(ms);
        size_t kept = ts::readFile(log).size(), smallest = 0;
        for (int n = 1; n < BENCH_ROTATION_FILES; n++) {
            size_t size = ts::readFile(log + "." + std::to_string(n)).size();
            kept += size;
            if (n == 1 || size < smallest) smallest = size;
        }
        appendNumber(&keptList, (int)kept);
        appendNumber(&smallestList, (int)smallest);
    }
    char measure[VEK_TEXT_SIZE], median[64], spread[128], note[VEK_TEXT_SIZE];
    Summary s = summarise(times);
    str_format(measure, sizeof measure, "log rotation, %d processes x %d lines, %d files of %d bytes",
               (int)BENCH_WRITERS, (int)BENCH_WRITER_LINES, (int)BENCH_ROTATION_FILES,
               (int)BENCH_ROTATION_SIZE);
    str_format(median, sizeof median, "%.0f ms", s.median);
    str_format(spread, sizeof spread, "IQR %.0f-%.0f; range %.0f-%.0f ms", s.q1, s.q3, s.min, s.max);
    str_format(note, sizeof note, "bytes kept per run: %s (goal at least %d); smallest numbered file: %s "
               "(goal %d)", keptList.c_str(), (BENCH_ROTATION_FILES - 1) * BENCH_ROTATION_SIZE * 8 / 10,
               smallestList.c_str(), BENCH_ROTATION_SIZE / 2);
    addRow(rows, platform, measure, median, spread, "", note);

    std::string big = ts::join(work, "bigfolder"), live = ts::join(big, "task.log");
    char timingScript[64], ini[128];
    str_format(timingScript, sizeof timingScript, "exit %d\n", (int)BENCH_EXIT_CODE);
    str_format(ini, sizeof ini, "[frascombe_a3x]\n$log_max_size=%d\n$log_max_files=%d\n",
               (int)BENCH_ROTATION_SIZE, (int)BENCH_FOLDER_FILES);
    bool laid = layTask(big, timingScript, ts::onWindows()) &&
                ts::writeFile(ts::join(big, "frascombe_a3x.ini"), ini);
    // Made by the runtime directly: each one through the platform layer would
    // itself search the folder for a name in another letter case.
    char native[VEK_TEXT_SIZE];
    laid = laid && win_toNativePath(big.c_str(), native, sizeof native);
    for (int i = 0; laid && i < BENCH_FOLDER_ENTRIES; i++) {
        FILE *entry = fopen((std::string(native) + "/" + std::to_string(i)).c_str(), "wb");
        laid = entry != NULL && fclose(entry) == 0;
    }
    std::vector<double> launches;
    int failed = 0;
    for (int k = 0; laid && k < runs; k++) {
        ts::writeFile(live, std::string(BENCH_ROTATION_SIZE + 1000, '.') + "\n");
        auto start = std::chrono::steady_clock::now();
        int code = run("\"" + ts::join(big, "task.exe") + "\" -q", big, work);
        launches.push_back(elapsedMs(start));
        failed += code != BENCH_EXIT_CODE || ts::readFile(live).size() > BENCH_ROTATION_SIZE;
    }
    s = summarise(launches);
    str_format(measure, sizeof measure, "rotating launch in a folder of %d entries (%d files)",
               (int)BENCH_FOLDER_ENTRIES, (int)BENCH_FOLDER_FILES);
    str_format(median, sizeof median, "%.0f ms", s.median);
    str_format(spread, sizeof spread, "IQR %.0f-%.0f; range %.0f-%.0f ms", s.q1, s.q3, s.min, s.max);
    str_format(note, sizeof note, "%s%s", laid ? "goal natively under 2000 ms" : "FAILED to lay out the folder",
               failed > 0 ? "; FAILED runs (exit code or no rotation)" : "");
    addRow(rows, platform, measure, median, spread, "", note);
}

// --- Argument fidelity -------------------------------------------------------------------

// True when the stand-in's report in folder shows exactly words after its
// program and script.
static bool reportHolds(const std::string &folder, const std::vector<std::string> &words)
{
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    if (!report.found || report.args.size() != words.size() + 2) return false;
    return std::equal(words.begin(), words.end(), report.args.begin() + 2);
}

// Adds one row per way: how many awkward words reach the script unchanged
// when each travels alone between "-q" and "end", which do not, and whether
// all of them at once on one command line arrive intact.
static void fidelityRows(std::string *rows, const char *platform, const std::vector<Way> &ways,
                          const std::string &work)
{
    for (const Way &way : ways) {
        std::string report = ts::join(way.folder, "r.txt");
        int intact = 0;
        std::string lost;
        std::vector<std::string> all = {"-q"};
        for (const AwkwardWord &awkward : AWKWARD_WORDS) {
            std::vector<std::string> words = {"-q", awkward.word, "end"};
            win_removeFile(report.c_str());
            run(commandFor(way, words), way.folder, work);
            if (reportHolds(way.folder, words)) {
                intact++;
            } else {
                lost += lost.empty() ? "changed: " : ", ";
                lost += awkward.label;
            }
            all.push_back(awkward.word);
        }
        all.push_back("end");
        win_removeFile(report.c_str());
        run(commandFor(way, all), way.folder, work);
        bool allIntact = reportHolds(way.folder, all);

        char measure[VEK_TEXT_SIZE], count[64], note[VEK_TEXT_SIZE];
        str_format(measure, sizeof measure, "argument fidelity: %s", way.label);
        str_format(count, sizeof count, "%d/%d unchanged", intact, AWKWARD_COUNT);
        str_format(note, sizeof note, "all %d on one line: %s%s%s", AWKWARD_COUNT, allIntact ? "intact" : "NOT intact",
                   lost.empty() ? "" : "; ", lost.c_str());
        addRow(rows, platform, measure, count, "", "", note);
    }
}

// --- The run -------------------------------------------------------------------------

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("usage: launcher_bench <work folder> <rows file> [runs] [warm-ups]\n", stderr);
        return 2;
    }
    std::string work = argv[1];
    const char *rowsPath = argv[2];
    int runs = argc > 3 ? atoi(argv[3]) : 30;
    int warmups = argc > 4 ? atoi(argv[4]) : 3;
    if (runs < 1 || warmups < 0) {
        fputs("launcher_bench: runs must be at least 1, warm-ups at least 0\n", stderr);
        return 2;
    }
    bool onWindows = ts::onWindows();
    const char *platform = onWindows ? "Wine" : "native";

    std::string plain = ts::join(work, "plain");
    std::string withIni = ts::join(work, "ini");
    std::string args = ts::join(work, "args");
    char timingScript[64];
    str_format(timingScript, sizeof timingScript, "exit %d\n", (int)BENCH_EXIT_CODE);
    std::string shimK = ts::join(work, "shim"), shimS = ts::join(work, "shimshlwapi");
    const char *shimName = onWindows ? "spawnshim_kernel32" : "spawnshim";
    if (!ts::makeFolder(work) || !layTask(plain, timingScript, onWindows) ||
        !layTask(shimK, timingScript, onWindows, shimName) ||
        (onWindows && !layTask(shimS, timingScript, onWindows, "spawnshim_shlwapi")) ||
        !layTask(withIni, timingScript, onWindows) || !layTask(args, "report r.txt\n", onWindows) ||
        !ts::writeFile(ts::join(withIni, "connettoreclient.ini"), "[frascombe_a3x]\n$debug_to_console=0\n")) {
        fprintf(stderr, "launcher_bench: cannot lay out the task folders in %s\n", work.c_str());
        return 1;
    }

    WayKind wrapper = onWindows ? WAY_CMD : WAY_SH;
    const char *wrapperLabel = onWindows ? ".cmd wrapper through cmd.exe" : "/bin/sh wrapper (exec)";
    const char *launcherLabel = onWindows ? "launcher.exe (no INI)" : "launcher (no INI)";
    const char *launcherIniLabel = onWindows ? "launcher.exe (connettoreclient.ini, echo off)"
                                             : "launcher (connettoreclient.ini, echo off)";
    std::vector<Way> timed = {{WAY_DIRECT, "stand-in started directly", plain, SPLIT_SPECIALS},
                              {WAY_LAUNCHER, launcherLabel, plain, SPLIT_SPECIALS},
                              {WAY_LAUNCHER, launcherIniLabel, withIni, SPLIT_SPECIALS},
                              {wrapper, wrapperLabel, plain, SPLIT_SPECIALS}};
    // The bare shims last: the launcher's goal is measured against the last.
    if (onWindows) {
        timed.push_back({WAY_SHIM, "bare shim, CreateProcessA, kernel32 only", shimK, SPLIT_SPECIALS});
        timed.push_back({WAY_SHIM, "bare shim, CreateProcessA, kernel32 and shlwapi", shimS, SPLIT_SPECIALS});
    } else {
        timed.push_back({WAY_SHIM, "bare shim, posix_spawn", shimK, SPLIT_SPECIALS});
    }
    // The words travel quoted for the launcher's splitting; the .cmd wrapper
    // also once with cmd.exe's operators quoted, as a careful caller would.
    std::vector<Way> carriers = {{WAY_DIRECT, "stand-in started directly (reference)", args, SPLIT_SPECIALS},
                                 {WAY_LAUNCHER, onWindows ? "launcher.exe" : "launcher", args, SPLIT_SPECIALS},
                                 {wrapper, onWindows ? ".cmd wrapper, words quoted as for the launcher" : wrapperLabel,
                                  args, SPLIT_SPECIALS}};
    if (onWindows) {
        carriers.push_back({WAY_CMD, ".cmd wrapper, words with & \\| < > ^ also quoted", args, CMD_SPECIALS});
    }

    std::string rows;
    std::vector<Timing> timings = timeWays(timed, work, runs, warmups);
    timeRows(&rows, platform, timed, timings, onWindows ? 2.2 : 2.3, onWindows ? 1.05 : 1.10);
    logRows(&rows, platform, work);
    rotationRows(&rows, platform, work, runs < 5 ? runs : 5);
    fidelityRows(&rows, platform, carriers, work);

    FILE *out = win_fopen(rowsPath, "wb");
    if (out == NULL) {
        fprintf(stderr, "launcher_bench: cannot write %s\n", rowsPath);
        return 1;
    }
    bool written = fwrite(rows.data(), 1, rows.size(), out) == rows.size();
    if (fclose(out) != 0 || !written) {
        fprintf(stderr, "launcher_bench: cannot write %s\n", rowsPath);
        return 1;
    }
    return 0;
}
