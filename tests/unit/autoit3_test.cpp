// Splitting of command lines into words and re-quoting of words into the
// interpreter's parameter string. (The round trip between the two is the fuzz
// target's, and a real launch's in Launcher.EveryInstallationKind.)
#include <cstdlib>

#include <gtest/gtest.h>

#include "autoit3.h"
#include "log.h"
#include "failing_malloc.h"
#include "testsupport.h"

using Words = std::vector<std::string>;

// The words of line as the launcher splits them, with the copy of word
// `failingCopy` (0: the first) failing for want of memory (negative: none),
// then "<failed>" when it reports a failure; {"<bad table>"} when the count is
// out of range or no null follows the last word.
static Words split(const std::string &line, int failingCopy = -1)
{
    std::vector<char *> table(AUTOIT3_TABLE_SIZE, const_cast<char *>("poison"));
    int count = -1;
    ts::failAllocation(failingCopy);
    bool copied = parseCommandLineAsAutoIt3(line.c_str(), &count, table.data());
    ts::failAllocation(-1);
    if (count < 0 || count > AUTOIT3_MAX_WORDS || table[count] != nullptr) return {"<bad table>"};
    Words words(table.begin(), table.begin() + count);
    for (int i = 0; i < count; i++) free(table[i]);
    if (!copied) words.push_back("<failed>");
    return words;
}

// Which allocation of the quoting runs out of memory.
enum class NoMemory { never, forTheString, forTheDoubledCopy };

// Allocations that writing one log record takes on this platform.
static long allocationsOfOneLogRecord()
{
    long before = ts::allocationCount();
    log_write(NULL, LOG_LEVEL_INFO, "measure");
    return ts::allocationCount() - before;
}

// The parameter string for words after a program name, or "<null>", made
// with memory running out where `noMemory` says: the string is the first
// allocation, and the doubled copy of a first word with quotes comes after the
// record of that word's length. Its log records go to *log, a line each as
// "LABEL text" (the lines of a text with line feeds as they are).
static std::string quote(const Words &words, NoMemory noMemory, std::string *log)
{
    std::string path = ts::join(ts::makeWorkFolder("autoit3_log"), "q.log");
    log_destroyContext(globalLogContext);
    log_setGlobalContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, false);
    std::vector<char *> table = {const_cast<char *>("p")};
    for (const std::string &word : words) table.push_back(const_cast<char *>(word.c_str()));
    long failing = noMemory == NoMemory::forTheString ? 0 : 1 + allocationsOfOneLogRecord();
    ts::writeFile(path, "");  // without the measuring record
    ts::failAllocation(noMemory == NoMemory::never ? -1 : (int)failing);
    char *params = buildCommandParamsForAutoIt3((int)table.size(), table.data());
    ts::failAllocation(-1);
    std::string result = params ? params : "<null>";
    free(params);
    ts::LogRecord record;
    for (const std::string &line : ts::lines(ts::readFile(path)))
        *log += (ts::parseLogRecord(line, &record) ? record.label + " " + record.text : line) + "\n";
    return result;
}

// The words of a command line: blanks and tabs separate them; a quote opens
// a quoted run, where a doubled quote stands for one and the next quote closes
// it, also ending the word; a failed copy leaves no words (ASan finds any copy
// that was not released). The bound of 127 words is met end to end: a launch
// with 200 arguments in LauncherFailure.EndsWithItsExitCodeAndMessage.
TEST(Autoit3Split, QuoteRulesAndFailedCopies)
{
    const struct { const char *name; std::string line; Words words; int failingCopy = -1; } cases[] = {
        {"\"\" alone", "x \"\" y", {"x", "y"}},
        {"doubled quote", "\"a\"\"b\"", {"a\"b"}},
        {"closing quote", "\"a\"\"\"b\"", {"a\"", "b"}},
        {"opening quote", "pq\"r s\"tu", {"pqr s", "tu"}},
        {"unclosed", "\"open to \t", {"open to \t"}},
        {"backslash", "a\\\"b d", {"a\\b d"}},
        {"only blank and tab separate", " \t x\t\ta\nb c\vd e\rf\t ", {"x", "a\nb", "c\vd", "e\rf"}},
        {"copy 3 fails", "a b c", {"<failed>"}, 2},
    };
    for (const auto &c : cases) EXPECT_EQ(split(c.line, c.failingCopy), c.words) << c.name;
}

// Each word becomes a piece: a blank and the word, bare, or in double quotes
// with its quotes doubled when it holds a blank, tab, line feed, vertical tab
// or quote. The word's records: the piece's length, then its class. The word
// alone is written into a buffer of just its size, and refused by one short.
TEST(Autoit3Quote, EachWordBareOrProtected)
{
    const struct { std::string word, piece; } cases[] = {
        {"C:\\dir\\", " C:\\dir\\"},
        {"caf\xE8", " caf\xE8"},
        {"a b", " \"a b\""},
        {"a\tb", " \"a\tb\""},
        {"a\nb", " \"a\nb\""},
        {"a\vb", " \"a\vb\""},
        {"x\"y", " \"x\"\"y\""},
    };
    for (const auto &c : cases) {
        std::string log, length = std::to_string(c.piece.size());
        EXPECT_EQ(quote({c.word}, NoMemory::never, &log), c.piece) << c.word;
        std::vector<char> out(c.piece.size(), 'z');
        EXPECT_FALSE(autoit3_writeProtectedWord(out.data(), out.size() - 1, c.word.c_str())) << c.word;
        EXPECT_EQ(out.front(), 'z') << c.word;
        EXPECT_TRUE(autoit3_writeProtectedWord(out.data(), out.size(), c.word.c_str())) << c.word;
        EXPECT_EQ(out.data(), c.piece.substr(1)) << c.word;
        std::string kind = c.piece[1] != '"' ? "NON necessita di protezione [" + c.word + "] "
                                             : "NECESSITA di protezione [" + c.word + "] > [" +
                                                   c.piece.substr(2, c.piece.size() - 3) + "]";
        EXPECT_EQ(log, "INFO Lunghezza necessaria per il parametro " + c.word + ": " + length + "\n" +
                       "INFO Parametro che " + kind + "\n") << c.word;
    }
}

// The string refused at 2000 characters, or when memory runs out, with its
// ERROR record the last. length: of the string made, 0 for none.
TEST(Autoit3Quote, BoundAndMemory)
{
    const std::string first(1000, 'f'), quoted = std::string(993, 'q') + "\"", w1998(1998, 'w');
    const char *TOO_LONG = "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.\n";
    const struct { const char *name; Words words; NoMemory noMemory; size_t length; std::string error; }
    cases[] = {
        {"bare word to 1999", {w1998}, NoMemory::never, 1999, ""},
        {"bare word to 2000", {w1998 + "w"}, NoMemory::never, 0, TOO_LONG},
        {"doubled quote to 1999", {first, quoted}, NoMemory::never, 1999, ""},
        {"doubled quote to 2000", {first, "q" + quoted}, NoMemory::never, 0, TOO_LONG},
        {"no memory for the string", {"x"}, NoMemory::forTheString, 0,
         "Errore durante l'allocazione di memoria per il comando.\n"},
        {"no memory for the doubled copy", {"x\"y"}, NoMemory::forTheDoubledCopy, 0,
         "Errore durante l'allocazione di memoria per il parametro protetto.\n\n"},
    };
    for (const auto &c : cases) {
        std::string log, params = quote(c.words, c.noMemory, &log);
        EXPECT_EQ(params == "<null>" ? 0 : params.size(), c.length) << c.name;
        size_t error = log.find("ERROR ");
        EXPECT_EQ(error == std::string::npos ? "" : log.substr(error + 6), c.error) << c.name;
    }
}
