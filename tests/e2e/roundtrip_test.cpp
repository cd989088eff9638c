// Words re-quoted into an interpreter command line reach a real process
// unchanged. Before its script is written, the interpreter stand-in ends with
// 97 and says why.
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
    for (int i = 0; i < 1000; i++) longWord += "abcdefghij klm\xE8\""[i % 16];
    // What the stand-in reports: its own path, the script, then 120 words with
    // quotes, trailing backslashes, tabs, code page 1252 letters, a word of
    // 1000 characters, and plain fillers.
    Words words = {ts::join(folder, "autoit3.exe"), "script.a3x", "plain", "two words", "tab\there", "\"", "\"\"",
                   "say \"hi\" twice", "\"quoted at both ends\"", "trailing\\", "C:\\Program Files\\",
                   "\\\\server\\share\\", "back\\\"slash", "\\\"", "caf\xE8", "perch\xE9 s\xEC", "citt\xE0 \xE8 gi\xF9",
                   "\xC0\xC8\xCC\xD2\xD9", "%PATH%", "^&|<>", "a=b;c", "line\nfeed", longWord};
    while (words.size() < 122) words.push_back("w" + std::to_string(words.size()));
    ts::RunResult missing = ts::run(ts::commandLine(words[0], {"script.a3x"}), folder);
    EXPECT_EQ(missing.exitCode, 97) << "no script yet";
    EXPECT_EQ(ts::lf(missing.out + missing.err), "autoit3: impossibile leggere lo script 'script.a3x'\n");
    ASSERT_TRUE(ts::writeFile(ts::join(folder, "script.a3x"), "report r.txt\n"));
    // The quoting's INFO records go to a file of their own.
    log_setGlobalContext(ts::join(folder, "quoting.log").c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, false);
    std::vector<char *> table;  // the script's name stands first, where the quoting skips the program's name
    for (size_t i = 1; i < words.size(); i++) table.push_back(&words[i][0]);
    char *params = buildCommandParamsForAutoIt3((int)table.size(), table.data());
    ASSERT_NE(params, nullptr);
    // The launcher's own form: the prefix, a blank, then the parameters,
    // which begin with a blank themselves.
    std::string command = "\"" + words[0] + "\" script.a3x " + params, started = command;
    free(params);
    char errorText[VEK_TEXT_SIZE];
    ASSERT_EQ(win_executeCommand(&started[0], folder.c_str(), true, errorText), 0) << errorText;
    ts::Report report = ts::readReport(ts::join(folder, "r.txt"));
    EXPECT_EQ(report.args, words);
    // Natively the raw command line is rebuilt from the argument vector; on
    // Windows it is the very text that was started.
    if (ts::onWindows()) { EXPECT_EQ(report.commandLine, command); }
}
