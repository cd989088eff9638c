// Rotation of the launcher's own log, asked for in frascombe_a3x.ini: many
// launches of one task leave the live file and the numbered files the INI
// allows, each near the size limit; without both limits nothing is numbered.
#include "tasklaunch.h"

using namespace ts;

// Ten launches of about seven records each through a limit of 600 bytes and
// three files: task.log.1 and task.log.2 remain beside the live file, each
// past the limit by less than one record (300 bytes), and no task.log.3. (The exact
// boundary and the numbering are tested with the log.) A place that cannot
// take a file (task.log.2 a folder, or held open by another program) does not
// stop the rotation: the live file still moves on to task.log.1 and stays
// within the limit.
TEST(LogRotationFromIni, KeepsTheLiveFileAndTwoNumberedOnes)
{
    const Files INI = {{"frascombe_a3x.ini", "[frascombe_a3x]\n$log_max_size=600\n$log_max_files=3\n"}};
    const struct { const char *name, *second; } cases[] = {
        {"every place free", ""}, {"task.log.2 a folder", "folder"}, {"task.log.2 held", "held"},
    };
    for (const auto &c : cases) {
        if (c.second == std::string("held") && !ts::onWindows()) continue;   // POSIX holds no file
        std::string folder = ts::makeWorkFolder("rotation_on"), live = ts::join(folder, "task.log");
        std::string ready = ts::join(folder, "ready");
        ASSERT_TRUE(c.second != std::string("folder") || ts::makeFolder(live + ".2"));
        if (c.second == std::string("held")) {
            char errorText[VEK_TEXT_SIZE];
            auto holder = ts::commandLine(ts::builtProgram("holdfile"), {live + ".2", "60000", ready});
            ASSERT_EQ(win_executeCommand(&holder[0], folder.c_str(), false, errorText), 0) << errorText;
            for (int i = 0; i < 600 && !ts::fileExists(ready); i++) win_sleep(50);
        }
        const Task task{"task.exe", REPORT, true, INI};
        for (int i = 0; i < 10; i++) EXPECT_EQ(launch(task, {"-q"}, "", folder).exitCode, 0) << c.name << i;
        win_removeFile(ready.c_str());  // lets the holder go
        for (const char *numbered : {".1", ".2"}) {
            if (*c.second && numbered == std::string(".2")) continue;
            size_t size = ts::readFile(live + numbered).size();
            EXPECT_TRUE(size > 600 && size <= 900) << c.name << numbered << ": " << size << " bytes";
        }
        EXPECT_LE(ts::readFile(live).size(), 600u) << c.name;
        EXPECT_FALSE(ts::fileExists(live + ".3")) << c.name;
    }
}

// INI texts that leave rotation off, although one launch writes more than the
// 200 bytes they name: both launches' records stay in task.log. (Which values
// the INI reader takes as a limit is tested with the configuration; a junk or
// negative count reads as none, like a missing one.)
TEST(LogRotationFromIni, OffWithoutBothLimits)
{
    const struct { const char *name, *ini; } cases[] = {
        {"no keys", ""},
        {"a size without a count", "[frascombe_a3x]\n$log_max_size=200\n"},
        {"a count without a usable size", "[frascombe_a3x]\n$log_max_size=200 bytes\n$log_max_files=3\n"},
    };
    for (const auto &c : cases) {
        std::string folder = ts::makeWorkFolder("rotation_off");
        Task task{"task.exe", REPORT, true, {{"frascombe_a3x.ini", c.ini}}};
        launch(task, {"-q"}, "", folder);
        Texts log = launch(task, {"-q"}, "{F}\\task.log", folder).log;
        EXPECT_EQ(std::count(log.begin(), log.end(), "INFO wait: true"), 2) << c.name;
        EXPECT_FALSE(ts::fileExists(ts::join(folder, "task.log.1"))) << c.name;
    }
}
