// Words re-quoted into an interpreter command line reach a real process
// unchanged; the interpreter stand-in ends with 97 when it has no script.
#include <cstdlib>

#include <gtest/gtest.h>

#include "autoit3.h"
#include "log.h"
#include "testsupport.h"
#include "vekstringlib.h"
#include "windows_helper.h"

using Words = std::vector<std::string>;

TEST(RoundTrip, AwkwardWordsReachTheScriptUnchanged)
{
    std::string folder = ts::makeWorkFolder("roundtrip"), longWord;
    ts::layTask(folder, "task.exe");
    ASSERT_TRUE(ts::writeFile(ts::join(folder, "script.a3x"), "report r.txt\n"));
    log_destroyContext(globalLogContext);  // the quoting's INFO records
    log_setGlobalContext(ts::join(folder, "quoting.log").c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, false);
    for (int i = 0; i < 1000; i++) longWord += "abcdefghij klm\xE8\""[i % 16];
    // What the stand-in reports after its own name: the script, then 120 words
    // with quotes, trailing backslashes, tabs, code page 1252 letters, a word
    // of 1000 characters, and plain fillers.
    Words words = {"script.a3x", "plain", "two words", "tab\there", "\"", "\"\"", "say \"hi\" twice",
                   "\"quoted at both ends\"", "trailing\\", "C:\\Program Files\\", "\\\\server\\share\\",
                   "back\\\"slash", "\\\"", "caf\xE8", "perch\xE9 s\xEC", "citt\xE0 \xE8 gi\xF9",
                   "\xC0\xC8\xCC\xD2\xD9", "%PATH%", "^&|<>", "a=b;c", "line\nfeed", longWord};
    while (words.size() < 121) words.push_back("w" + std::to_string(words.size()));
    std::vector<char *> table = {const_cast<char *>("task.exe")};
    for (size_t i = 1; i < words.size(); i++) table.push_back(&words[i][0]);
    char *params = buildCommandParamsForAutoIt3((int)table.size(), table.data());
    ASSERT_NE(params, nullptr);
    // The launcher's own form: the prefix, a blank, then the parameters,
    // which begin with a blank themselves.
    std::string command = "\"" + folder + "\\autoit3.exe\" script.a3x " + params, started = command;
    free(params);
    ASSERT_LE(command.size(), 1999u);
    char errorText[VEK_TEXT_SIZE];
    ASSERT_EQ(win_executeCommand(&started[0], folder.c_str(), true, errorText), 0) << errorText;
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    ASSERT_FALSE(report.args.empty());
    EXPECT_EQ(Words(report.args.begin() + 1, report.args.end()), words);
    // Natively the raw command line is rebuilt from the argument vector; on
    // Windows it is the very text that was started.
    if (ts::onWindows()) { EXPECT_EQ(report.commandLine, command); }
}

TEST(StandIn, WithoutAScriptEndsWith97)
{
    struct Case { const char *name; Words args; const char *message; } cases[] = {
        {"missing script", {"assente.a3x"}, "autoit3: impossibile leggere lo script 'assente.a3x'"},
        {"no script named", {}, "autoit3: impossibile leggere lo script ''"},
    };
    std::string folder = ts::makeWorkFolder("standin");
    ts::layTask(folder, "task.exe");
    for (const Case &c : cases) {
        ts::RunResult result = ts::run(ts::commandLine(ts::join(folder, "autoit3.exe"), c.args), folder);
        EXPECT_EQ(result.exitCode, 97) << c.name;
        EXPECT_EQ(ts::lf(result.out + result.err), std::string(c.message) + "\n") << c.name;
    }
}
