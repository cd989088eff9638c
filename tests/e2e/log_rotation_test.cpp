// Rotation of the launcher's own log, asked for in frascombe_a3x.ini: many
// launches of one task leave the live file and the numbered files the INI
// allows, each near the size limit; without both keys nothing is numbered.
#include <gtest/gtest.h>

#include "testsupport.h"

namespace {

const std::string FINAL_RECORD = "Ho finito il mio lavoro! - exitCode=0";

// Lays out a task "task.exe" with a script that ends at once and the INI text
// given, and launches it the given number of times, waiting each time. Returns
// the task folder.
std::string launchTimes(const std::string &name, const std::string &ini, int launches)
{
    std::string folder = ts::makeWorkFolder(name), exe = ts::layTask(folder, "task.exe");
    EXPECT_TRUE(ts::writeFile(ts::join(folder, "task.a3x"), "exit 0\n"));
    EXPECT_TRUE(ts::writeFile(ts::join(folder, "frascombe_a3x.ini"), ini));
    for (int i = 0; i < launches; i++) {
        ts::RunResult r = ts::run(ts::commandLine(exe, {"-q"}), folder);
        EXPECT_EQ(r.exitCode, 0) << name << " launch " << i << ": " << r.startError << r.err;
    }
    return folder;
}

// How many records of a log file end with text.
int countRecords(const std::string &path, const std::string &text)
{
    int count = 0;
    ts::LogRecord record;
    for (const std::string &line : ts::lines(ts::readFile(path))) {
        if (ts::parseLogRecord(line, &record) && record.text == text) count++;
    }
    return count;
}

}  // namespace

// Ten launches of about seven records each through a limit of 600 bytes and
// three files: task.log, task.log.1 and task.log.2 remain, the numbered ones
// each past the limit by less than one record. The live file is missing only
// when the very last record moved it away, which then closes task.log.1.
TEST(LogRotationFromIni, KeepsTheLiveFileAndTwoNumberedOnes)
{
    const int LIMIT = 600, LONGEST_RECORD = 300;
    const std::string INI = "[frascombe_a3x]\n$log_max_size=600\n$log_max_files=3\n";
    std::string folder = launchTimes("rotation_on", INI, 10);
    std::string live = ts::join(folder, "task.log");
    for (const char *numbered : {".1", ".2"}) {
        size_t size = ts::readFile(live + numbered).size();
        EXPECT_TRUE(size > LIMIT && size <= LIMIT + LONGEST_RECORD) << numbered << ": " << size << " bytes";
    }
    EXPECT_FALSE(ts::fileExists(live + ".3"));
    EXPECT_FALSE(ts::fileExists(live + ".0"));
    bool lastMovedAway = ts::lines(ts::readFile(live + ".1")).back().find(FINAL_RECORD) != std::string::npos;
    EXPECT_TRUE(ts::fileExists(live) || lastMovedAway);
    EXPECT_TRUE(!ts::fileExists(live) || ts::readFile(live).size() <= LIMIT) << ts::readFile(live).size();
}

// INI texts that leave rotation off, although one launch writes more than the
// 200 bytes some of them name: every record stays in task.log.
struct RotationOffRow {
    const char *name;
    const char *ini;
};

class LogRotationOff : public testing::TestWithParam<RotationOffRow> {};

TEST_P(LogRotationOff, KeepsEveryRecordInTheLiveFile)
{
    std::string folder = launchTimes(GetParam().name, GetParam().ini, 2), live = ts::join(folder, "task.log");
    EXPECT_EQ(countRecords(live, FINAL_RECORD), 2);
    EXPECT_FALSE(ts::fileExists(live + ".1"));
}

INSTANTIATE_TEST_SUITE_P(Ini, LogRotationOff, testing::Values(
    RotationOffRow{"NoKeys", ""},
    RotationOffRow{"SizeOnly", "[frascombe_a3x]\n$log_max_size=200\n"},
    RotationOffRow{"JunkSize", "[frascombe_a3x]\n$log_max_size=200 bytes\n$log_max_files=3\n"},
    RotationOffRow{"JunkFiles", "[frascombe_a3x]\n$log_max_size=200\n$log_max_files=three\n"},
    RotationOffRow{"NegativeFiles", "[frascombe_a3x]\n$log_max_size=200\n$log_max_files=-3\n"}),
    [](const testing::TestParamInfo<RotationOffRow> &info) { return std::string(info.param.name); });
