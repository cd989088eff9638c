// Many processes appending to one log file at once: every record arrives
// whole and exactly once, with and without rotation.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

// Starts the logwriter processes on one log file without waiting, waits for
// each one's done marker, then reads back the live and numbered files, prints
// the figures of the run and checks that every record is there once and whole.
// Rotation is not coordinated between the writers; with room for every file
// no line may go missing across the live and the numbered files.
TEST(LogMultiProcess, EveryLineOnceAndWholeWithAndWithoutRotation)
{
    using Clock = std::chrono::steady_clock;
    const int WRITERS = 8, LINES = 500;
    const std::string FILLER = " abcdefghijklmnopqrstuvwxyz0123456789";   // what logwriter puts after "<tag> <n>"
    // numbered: how many numbered files the run must have filled at least. The
    // writers rotate uncoordinated, so which numbers are taken at the end
    // varies (a place may be empty for a moment); how many does not drop.
    const struct { const char *name; int numbered, maxFiles, maxFileSize; } runs[] = {
        {"log_multiprocess", 0, 0, 0}, {"log_multiprocess_rotation", 10, 1000, 16384}};
    for (const auto &run : runs) {
        std::string folder = ts::makeWorkFolder(run.name), log = ts::join(folder, "shared.log");
        std::map<std::string, int> copies;   // every expected record text, with the copies found
        char errorText[VEK_TEXT_SIZE];
        auto start = Clock::now();
        for (int w = 0; w < WRITERS; w++) {
            std::string tag = "w" + std::to_string(w), command = ts::commandLine(ts::builtProgram("logwriter"),
                {"many", log, std::to_string(LINES), std::to_string(run.maxFiles), std::to_string(run.maxFileSize),
                 tag, ts::join(folder, "done." + tag)});
            ASSERT_EQ(win_executeCommand(&command[0], folder.c_str(), false, errorText), 0) << run.name << errorText;
            for (int n = 1; n <= LINES; n++) copies[tag + " " + std::to_string(n) + FILLER];
        }
        // Wine starts processes slowly and rotation renames are costly there.
        for (int w = 0; w < WRITERS; w++)
            while (!ts::fileExists(ts::join(folder, "done.w" + std::to_string(w))) &&
                   Clock::now() < start + std::chrono::minutes(9))
                win_sleep(20);
        long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        int found = 0, damaged = 0, duplicated = 0, numbered = 0;
        for (int n = 0; n == 0 || n < run.maxFiles; n++) {
            numbered += n > 0 && ts::fileExists(log + "." + std::to_string(n));
            for (const std::string &line : ts::lines(ts::readFile(n == 0 ? log : log + "." + std::to_string(n)))) {
                ts::LogRecord r;
                bool good = ts::parseLogRecord(line, &r) && r.app == "logwriter" && r.version == "1.1.1.7" &&
                            r.label == "INFO" && copies.count(r.text) == 1;
                damaged += !good;
                found += good && copies[r.text]++ == 0;
                duplicated += good && copies[r.text] > 1;
            }
        }
        printf("[ figures  ] %s (%s): %d processes x %d lines, %d lines found, %d damaged, %d duplicated, %lld ms\n",
               run.name, ts::onWindows() ? "win32" : "posix", WRITERS, LINES, found, damaged, duplicated, ms);
        EXPECT_TRUE(found == WRITERS * LINES && !damaged && !duplicated && numbered >= run.numbered) << run.name;
    }
}
