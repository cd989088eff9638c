// Many processes appending to one log file at once: every record arrives
// whole and exactly once, with and without rotation.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

const int WRITERS = 8, LINES = 500;

// Starts the logwriter processes on one log file without waiting, waits for
// each one's done marker, then reads back the live and numbered files, prints
// the figures of the run and checks that every record is there once and whole.
void checkWriters(const std::string &name, int maxFiles, int maxFileSize, int minFiles)
{
    std::string folder = ts::makeWorkFolder(name), log = ts::join(folder, "shared.log");
    std::map<std::string, int> copies;   // every expected record text, with the copies found
    auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < WRITERS; w++) {
        std::string tag = "w" + std::to_string(w), marker = ts::join(folder, "done" + std::to_string(w));
        for (int n = 1; n <= LINES; n++)
            copies[tag + " " + std::to_string(n) + " abcdefghijklmnopqrstuvwxyz0123456789"] = 0;
        std::string command = ts::commandLine(ts::builtProgram("logwriter"), {"many", log, std::to_string(LINES),
                                              std::to_string(maxFiles), std::to_string(maxFileSize), tag, marker});
        char errorText[VEK_TEXT_SIZE];
        ASSERT_EQ(win_executeCommand(&command[0], folder.c_str(), false, errorText), 0) << name << errorText;
    }
    int done = 0, found = 0, damaged = 0, duplicated = 0, files = 0, ms = 0;
    // Wine starts processes slowly and rotation renames are costly there.
    for (; done < WRITERS && ms < 540000; win_sleep(20)) {
        done = 0;
        for (int w = 0; w < WRITERS; w++) done += ts::fileExists(ts::join(folder, "done" + std::to_string(w))) ? 1 : 0;
        ms = (int)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                 .count();
    }
    std::map<std::string, std::string> processOf;   // writer tag -> the process field of its records
    for (int n = 0; n == 0 || n < maxFiles; n++) {
        std::string file = n == 0 ? log : log + "." + std::to_string(n);
        files += ts::fileExists(file) ? 1 : 0;
        for (const std::string &line : ts::lines(ts::readFile(file))) {
            ts::LogRecord r;
            bool good = ts::parseLogRecord(line, &r) && r.app == "logwriter" && r.version == "1.1.1.7" &&
                        r.label == "INFO" && copies.count(r.text) == 1 &&
                        processOf.emplace(r.text.substr(0, r.text.find(' ')), r.process).first->second == r.process;
            damaged += good ? 0 : 1;
            if (good && copies[r.text]++ == 0) found++;
            duplicated += good && copies[r.text] > 1 ? 1 : 0;
        }
    }
    printf("[ figures  ] %s (%s): %d processes x %d lines, %d lines found, %d damaged, %d duplicated, %d file(s), "
           "%d ms\n", name.c_str(), win_platformName(), WRITERS, LINES, found, damaged, duplicated, files, ms);
    EXPECT_EQ(done, WRITERS) << name << ": writers still running";
    EXPECT_TRUE(found == WRITERS * LINES && damaged == 0 && duplicated == 0) << name << ": see its figures";
    EXPECT_GE(files, minFiles) << name;
}

TEST(LogMultiProcess, EveryLineOnceAndWhole)
{
    checkWriters("log_multiprocess", 0, 0, 1);
}

// Rotation is not coordinated between the writers; with room for every file
// no line may go missing across the live and the numbered files.
TEST(LogMultiProcess, NoLineLostAcrossRotation)
{
    checkWriters("log_multiprocess_rotation", 1000, 16384, 11);
}

}  // namespace
