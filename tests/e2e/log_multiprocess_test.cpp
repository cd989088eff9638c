// Many processes appending to one log file at once: every record arrives
// whole and exactly once, with and without rotation.
#include <chrono>
#include <cstdint>
#include <map>
#include <sstream>

#include "tasklaunch.h"

using Clock = std::chrono::steady_clock;
const int WRITERS = 8, LINES = 500;

// What logwriter writes after each record's tag and number: a filler makes
// the record long enough for a write to be split if appends were not atomic.
const std::string FILLER = " abcdefghijklmnopqrstuvwxyz0123456789";

// Starts the logwriter processes on log without waiting, then waits for each
// one's done marker. Wine starts processes slowly and rotation renames are
// costly there, hence the long time limit.
static void runWriters(const std::string &folder, const std::string &log, int maxFiles, int maxFileSize)
{
    char errorText[VEK_TEXT_SIZE];
    for (int w = 0; w < WRITERS; w++) {
        std::string tag = "w" + std::to_string(w);
        std::string command = ts::commandLine(ts::builtProgram("logwriter"),
            {"many", log, std::to_string(LINES), std::to_string(maxFiles), std::to_string(maxFileSize), tag,
             ts::join(folder, "done." + tag)});
        ASSERT_EQ(win_executeCommand(&command[0], folder.c_str(), false, errorText), 0) << errorText;
    }
    auto limit = Clock::now() + std::chrono::minutes(9);
    for (int w = 0; w < WRITERS; w++) {
        std::string marker = ts::join(folder, "done.w" + std::to_string(w));
        while (!ts::fileExists(marker) && Clock::now() < limit) win_sleep(20);
    }
}

// With room for every file no line may go missing across the live and the
// numbered files. numbered: how many numbered files the run must have filled
// at least (which numbers are taken at the end varies, a place may be empty
// for a moment; how many does not drop). Without room for them all (the
// bounded run) the oldest lines are dropped, but each overflow moves the
// files on once: what is kept is at least 80 % of what one writer alone
// keeps (maxFiles - 1 full files), and no numbered file is below half the
// limit, as it would be if a fresh live file were moved on again.
TEST(LogMultiProcess, EveryLineOnceAndWholeWithAndWithoutRotation)
{
    const struct { const char *name; int maxFiles, maxFileSize, numbered; bool bounded; } runs[] = {
        {"log_multiprocess", 0, 0, 0, false},
        {"log_multiprocess_rotation", 1000, 16384, 10, false},
        {"log_multiprocess_bounded", 30, 5000, 29, true},
    };
    for (const auto &run : runs) {
        std::string folder = ts::makeWorkFolder(run.name), log = ts::join(folder, "shared.log");
        std::map<std::string, int> copies;  // every record text written, with the copies found
        for (int w = 0; w < WRITERS; w++) {
            std::string tag = "w" + std::to_string(w) + " ";
            for (int n = 1; n <= LINES; n++) copies[tag + std::to_string(n) + FILLER] = 0;
        }
        auto start = Clock::now();
        runWriters(folder, log, run.maxFiles, run.maxFileSize);
        long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        int missing = 0, damaged = 0, duplicated = 0, numbered = 0;
        size_t kept = 0, smallest = SIZE_MAX;
        for (int n = 0; n == 0 || n < run.maxFiles; n++) {
            std::string path = n == 0 ? log : log + "." + std::to_string(n), bytes = ts::readFile(path);
            numbered += n > 0 && ts::fileExists(path);
            kept += bytes.size();
            if (n > 0 && ts::fileExists(path)) smallest = std::min(smallest, bytes.size());
            for (const std::string &line : ts::lines(bytes)) {
                ts::LogRecord r;
                bool whole = ts::parseLogRecord(line, &r) && r.app == "logwriter" && r.version == "1.1.1.7" &&
                             r.label == "INFO" && copies.count(r.text) == 1;
                damaged += !whole;
                if (whole) copies[r.text]++;
            }
        }
        for (const auto &record : copies) {
            missing += record.second == 0;
            duplicated += record.second > 1;
        }
        if (run.bounded) missing = 0;   // the oldest lines are dropped
        std::ostringstream figures;
        figures << missing << " missing, " << damaged << " damaged, " << duplicated << " duplicated";
        printf("[ figures  ] %s (%s): %d processes x %d lines, %s, %zu bytes kept, %lld ms\n", run.name,
               ts::onWindows() ? "win32" : "posix", WRITERS, LINES, figures.str().c_str(), kept, ms);
        EXPECT_EQ(figures.str(), "0 missing, 0 damaged, 0 duplicated") << run.name;
        EXPECT_GE(numbered, run.numbered) << run.name;
        if (!run.bounded) continue;
        EXPECT_GE(kept, (size_t)(run.maxFiles - 1) * run.maxFileSize * 8 / 10) << run.name;
        EXPECT_GE(smallest, (size_t)run.maxFileSize / 2) << run.name;
    }
}
