// Many processes appending to one log file at once: every record arrives
// whole and exactly once, with and without rotation.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

const int WRITERS = 8;
const int LINES_PER_WRITER = 500;
const char *const FILLER = " abcdefghijklmnopqrstuvwxyz0123456789";

struct Figures {
    int found = 0;        // distinct expected records present
    int damaged = 0;      // lines that are not a well-formed expected record
    int duplicated = 0;   // extra copies of a record
    int files = 0;        // log files read (live and numbered)
    long ms = 0;          // from the first start to the last writer done
    bool finished = false;
};

// Starts the writers without waiting, waits for each one's done marker, then
// reads back every file of the log and counts its records.
Figures runWriters(const std::string &name, int maxFiles, int maxFileSize)
{
    Figures figures;
    std::string folder = ts::makeWorkFolder(name);
    std::string logPath = ts::join(folder, "shared.log");
    std::vector<std::string> markers;

    auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < WRITERS; w++) {
        markers.push_back(ts::join(folder, "done" + std::to_string(w)));
        std::string command = ts::commandLine(
            ts::builtProgram("logwriter"),
            {"many", logPath, std::to_string(LINES_PER_WRITER), std::to_string(maxFiles),
             std::to_string(maxFileSize), "w" + std::to_string(w), markers.back()});
        std::vector<char> buffer(command.begin(), command.end());
        buffer.push_back('\0');
        char errorText[VEK_TEXT_SIZE];
        EXPECT_EQ(win_executeCommand(buffer.data(), folder.c_str(), false, errorText), 0) << errorText;
    }
    // Wine starts processes slowly and rotation renames are costly there.
    const long limitMs = 540000;
    for (;;) {
        int done = 0;
        for (const std::string &marker : markers) done += ts::fileExists(marker) ? 1 : 0;
        figures.ms = (long)std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
        if (done == WRITERS) {
            figures.finished = true;
            break;
        }
        if (figures.ms > limitMs) break;
        win_sleep(20);
    }

    std::vector<std::string> files = {logPath};
    for (int n = 1; n < maxFiles; n++) files.push_back(logPath + "." + std::to_string(n));
    std::map<std::string, int> seen;
    std::map<std::string, std::string> processOfWriter;
    for (const std::string &file : files) {
        if (!ts::fileExists(file)) continue;
        figures.files++;
        for (const std::string &line : ts::lines(ts::readFile(file))) {
            ts::LogRecord record;
            std::string tag, number;
            bool good = ts::parseLogRecord(line, &record) && record.app == "logwriter" &&
                        record.version == "1.1.1.7" && record.label == "INFO";
            size_t blank = record.text.find(' ');
            size_t filler = record.text.find(FILLER);
            good = good && blank != std::string::npos && filler != std::string::npos &&
                   record.text.substr(filler) == FILLER;
            if (good) {
                tag = record.text.substr(0, blank);
                number = record.text.substr(blank + 1, filler - blank - 1);
                int n = atoi(number.c_str());
                good = n >= 1 && n <= LINES_PER_WRITER && std::to_string(n) == number;
                // One writer, one process id on all its records.
                auto known = processOfWriter.emplace(tag, record.process);
                good = good && known.first->second == record.process;
            }
            if (!good) {
                figures.damaged++;
                continue;
            }
            if (seen[record.text]++ > 0) figures.duplicated++;
        }
    }
    for (int w = 0; w < WRITERS; w++) {
        for (int n = 1; n <= LINES_PER_WRITER; n++) {
            if (seen.count("w" + std::to_string(w) + " " + std::to_string(n) + FILLER)) figures.found++;
        }
    }
    printf("[ figures  ] %s (%s): %d processes x %d lines, %d lines found, %d damaged, %d duplicated, "
           "%d missing, %d file(s), %ld ms\n",
           name.c_str(), win_platformName(), WRITERS, LINES_PER_WRITER, figures.found, figures.damaged,
           figures.duplicated, WRITERS * LINES_PER_WRITER - figures.found, figures.files, figures.ms);
    fflush(stdout);
    return figures;
}

TEST(LogMultiProcess, EveryLineOnceAndWhole)
{
    Figures figures = runWriters("log_multiprocess", 0, 0);
    EXPECT_TRUE(figures.finished);
    EXPECT_EQ(figures.found, WRITERS * LINES_PER_WRITER);
    EXPECT_EQ(figures.damaged, 0);
    EXPECT_EQ(figures.duplicated, 0);
    EXPECT_EQ(figures.files, 1);
}

// Rotation is not coordinated between the writers; with room for every file
// no line may go missing across the live and the numbered files.
TEST(LogMultiProcess, NoLineLostAcrossRotation)
{
    Figures figures = runWriters("log_multiprocess_rotation", 1000, 16384);
    EXPECT_TRUE(figures.finished);
    EXPECT_EQ(figures.found, WRITERS * LINES_PER_WRITER);
    EXPECT_EQ(figures.damaged, 0);
    EXPECT_EQ(figures.duplicated, 0);
    EXPECT_GT(figures.files, 10);
}

}  // namespace
