// Many processes appending to one log file at once: every record arrives
// whole and exactly once, with and without rotation.
#include <chrono>
#include <cstdint>
#include <map>

#include "tasklaunch.h"

const int WRITERS = 8, LINES = 500;

// The text of each writer's records before their number: a filler makes the
// record long enough for a write to be split if appends were not atomic.
static std::string textOf(int writer)
{
    return "w" + std::to_string(writer) + " abcdefghijklmnopqrstuvwxyz0123456789";
}

// The logwriter processes are started on one log without waiting; then each
// one's done marker is waited for (Wine starts processes slowly and rotation
// renames are costly there, hence the long time limit). With room for every
// file no line may go missing across the live and the numbered files.
// numbered: how many numbered files the run must have filled at least (which
// numbers are taken at the end varies, a place may be empty for a moment; how
// many does not drop). Without room for them all (the bounded run) the oldest
// lines are dropped, but each overflow moves the files on once: what is kept
// is at least 80 % of what one writer alone keeps (maxFiles - 1 full files),
// and no numbered file is below half the limit, as it would be if a fresh live
// file were moved on again.
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
        char errorText[VEK_TEXT_SIZE];
        for (int w = 0; w < WRITERS; w++) {
            for (int n = 1; n <= LINES; n++) copies[textOf(w) + " " + std::to_string(n)] = 0;
            std::string command = ts::commandLine(ts::builtProgram("logwriter"),
                {"many", log, std::to_string(LINES), std::to_string(run.maxFiles),
                 std::to_string(run.maxFileSize), textOf(w), ts::join(folder, "done" + std::to_string(w))});
            ASSERT_EQ(win_executeCommand(&command[0], folder.c_str(), false, errorText), 0) << errorText;
        }
        auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(9);
        for (int w = 0; w < WRITERS; w++) {
            std::string marker = ts::join(folder, "done" + std::to_string(w));
            while (!ts::fileExists(marker) && std::chrono::steady_clock::now() < limit) win_sleep(20);
        }
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
            missing += record.second == 0 && !run.bounded;   // the bounded run drops the oldest lines
            duplicated += record.second > 1;
        }
        std::string figures = std::to_string(missing) + " missing, " + std::to_string(damaged) +
                              " damaged, " + std::to_string(duplicated) + " duplicated";
        EXPECT_EQ(figures, "0 missing, 0 damaged, 0 duplicated") << run.name;
        EXPECT_GE(numbered, run.numbered) << run.name;
        if (!run.bounded) continue;
        EXPECT_GE(kept, (size_t)(run.maxFiles - 1) * run.maxFileSize * 8 / 10) << run.name;
        EXPECT_GE(smallest, (size_t)run.maxFileSize / 2) << run.name;
    }
}
