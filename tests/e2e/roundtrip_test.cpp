// Words re-quoted into an interpreter command line reach a real process
// unchanged; and the interpreter stand-in's own behaviour.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "autoit3.h"
#include "log.h"
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

namespace {

// A new work folder holding a copy of the interpreter stand-in.
std::string folderWithStandIn(const std::string &name)
{
    std::string folder = ts::makeWorkFolder(name);
    unsigned long error = 0;
    std::string target = ts::join(folder, "autoit3.exe");
    EXPECT_TRUE(win_copyFile(ts::builtProgram("autoit3").c_str(), target.c_str(), &error))
        << "error " << error;
    return folder;
}

// 120 words that are hard to pass on: quotes, trailing backslashes, tabs,
// code page 1252 letters, a word of 1000 characters, and plain fillers.
std::vector<std::string> awkwardWords()
{
    std::vector<std::string> words = {
        "plain", "two words", "tab\there", "\"", "\"\"", "say \"hi\" twice",
        "\"quoted at both ends\"", "trailing\\", "C:\\Program Files\\", "\\\\server\\share\\",
        "back\\\"slash", "\\\"", "caf\xE8", "perch\xE9 s\xEC", "citt\xE0 \xE8 gi\xF9",
        "\xC0\xC8\xCC\xD2\xD9", "-q", "cron", "%PATH%", "^&|<>", "a=b;c", "line\nfeed",
    };
    std::string long_word;
    for (int i = 0; i < 1000; i++) long_word += "abcdefghij klm\xE8\""[i % 16];
    words.push_back(long_word);
    while (words.size() < 120) words.push_back("w" + std::to_string(words.size()));
    return words;
}

}  // namespace

TEST(RoundTrip, AwkwardWordsReachTheScriptUnchanged)
{
    std::string folder = folderWithStandIn("roundtrip");
    ASSERT_TRUE(ts::writeFile(ts::join(folder, "script.a3x"), "report r.txt\n"));
    log_destroyContext(globalLogContext);
    log_setGlobalContext(ts::join(folder, "quoting.log").c_str(), "frascombe_a3x", "1.1.7.0", 0,
                         0, false);

    std::vector<std::string> words = awkwardWords();
    std::vector<char *> table;
    table.push_back(const_cast<char *>("task.exe"));
    for (const std::string &w : words) table.push_back(const_cast<char *>(w.c_str()));
    table.push_back(nullptr);
    char *params = buildCommandParamsForAutoIt3((int)words.size() + 1, table.data());
    ASSERT_NE(params, nullptr);
    // The launcher's own form: prefix, a blank, then the parameters, which
    // begin with a blank themselves.
    std::string command = "\"" + folder + "\\autoit3.exe\" script.a3x " + params;
    free(params);
    ASSERT_LE(command.size(), 1999u);

    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    char errorText[VEK_TEXT_SIZE];
    ASSERT_EQ(win_executeCommand(buffer.data(), folder.c_str(), true, errorText), 0) << errorText;

    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    ASSERT_TRUE(report.found);
    ASSERT_EQ(report.args.size(), words.size() + 2);
    EXPECT_EQ(report.args[1], "script.a3x");
    for (size_t i = 0; i < words.size(); i++) {
        EXPECT_EQ(report.args[i + 2], words[i]) << "word " << i;
    }
    // Natively the raw command line is rebuilt from the argument vector;
    // on Windows it is the very text that was started.
    if (ts::onWindows()) {
        EXPECT_EQ(report.commandLine, command);
    }
}

TEST(StandIn, ScriptLines)
{
    struct Case {
        const char *name;
        std::string script;  // empty: no script file at all
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> out, err;
    } cases[] = {
        {"missing script", "", {"assente.a3x"}, 97, {},
         {"autoit3: impossibile leggere lo script 'assente.a3x'"}},
        {"no script named", "", {}, 97, {}, {"autoit3: impossibile leggere lo script ''"}},
        {"lines in order, comments and blank lines skipped",
         "; comment\r\nprint one  two\r\n\r\nprinterr oops\nsleep 10\nexit 3\nprint never\n",
         {"s.a3x"}, 3, {"one  two"}, {"oops"}},
        {"end of script", "print caf\xE8", {"s.a3x"}, 0, {"caf\xE8"}, {}},
        {"hexadecimal exit code", "exit 0x10\n", {"s.a3x"}, 16, {}, {}},
        {"unknown command", "jump 3\n", {"s.a3x"}, 98, {}, {"autoit3: comando sconosciuto 'jump'"}},
    };
    for (const Case &c : cases) {
        std::string folder = folderWithStandIn("standin");
        if (!c.script.empty()) {
            ASSERT_TRUE(ts::writeFile(ts::join(folder, "s.a3x"), c.script));
        }
        ts::RunResult result =
            ts::run(ts::commandLine(ts::join(folder, "autoit3.exe"), c.args), folder);
        EXPECT_EQ(result.startError, "") << c.name;
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(ts::lines(result.out), c.out) << c.name;
        EXPECT_EQ(ts::lines(result.err), c.err) << c.name;
    }
}
