// Splitting of command lines into words, re-quoting of words into the
// interpreter's parameter string, and the round trip between the two.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

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
// record of that word's length. Its log records go to the null device, or
// with log to a new file and back in *log, a line each as "LABEL text" (the
// lines of a text with line feeds as they are).
static std::string quote(const Words &words, NoMemory noMemory = NoMemory::never, std::string *log = nullptr)
{
    std::string path = log ? ts::join(ts::makeWorkFolder("autoit3_log"), "q.log") : "Z:\\dev\\null";
    log_destroyContext(globalLogContext);
    log_setGlobalContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, false);
    std::vector<char *> table = {const_cast<char *>("p")};
    for (const std::string &word : words) table.push_back(const_cast<char *>(word.c_str()));
    long failing = noMemory == NoMemory::forTheString ? 0
                 : noMemory == NoMemory::forTheDoubledCopy ? 1 + allocationsOfOneLogRecord() : -1;
    if (log != nullptr && failing > 0) ts::writeFile(path, "");  // the measuring record goes
    ts::failAllocation((int)failing);
    char *params = buildCommandParamsForAutoIt3((int)table.size(), table.data());
    ts::failAllocation(-1);
    std::string result = params ? params : "<null>";
    free(params);
    ts::LogRecord record;
    for (const std::string &line : ts::lines(log ? ts::readFile(path) : ""))
        *log += (ts::parseLogRecord(line, &record) ? record.label + " " + record.text : line) + "\n";
    return result;
}

TEST(Autoit3Split, QuoteRulesLimitsAndFailedCopies)
{
    struct Case { std::string name, line; Words words; int failingCopy = -1; };
    Case full{"127 words", "", {}};  // the most kept: a 128th word is dropped
    for (int i = 0; i < 127; i++) full.line += "w" + std::to_string(i) + " ";
    for (int i = 0; i < 127; i++) full.words.push_back("w" + std::to_string(i));
    const Case cases[] = {
        {"quoted program", "\"D:\\tasks\\task.exe\" -q", {"D:\\tasks\\task.exe", "-q"}}, {"empty", "", {}},
        {"\"\" alone", "x \"\" y", {"x", "y"}}, {"\"\" ends a word", "ab\"\"cd", {"ab", "cd"}},
        {"doubled quote", "\"a\"\"b\"", {"a\"b"}}, {"closing quote", "\"a\"\"\"b\"", {"a\"", "b"}},
        {"after closing", "\"pqr\"st", {"pqr", "st"}}, {"opening quote", "pq\"r s\"tu", {"pqr s", "tu"}},
        {"unclosed", "\"open to \t", {"open to \t"}}, {"backslash", "a\\\"b d", {"a\\b d"}}, full,
        {"only blank and tab separate", " \t x\t\ta\nb c\vd e\rf\t ", {"x", "a\nb", "c\vd", "e\rf"}},
        {"blanks only", " \t  \t", {}}, {"long word", std::string(5000, 'b'), {std::string(5000, 'b')}},
        {"copy 3 fails", "a b c", {"<failed>"}, 2}, {"128 words", full.line + "w127", full.words},
    };
    // A failed copy leaves no words: ASan finds any copy that was not released.
    for (const Case &c : cases) EXPECT_EQ(split(c.line, c.failingCopy), c.words) << c.name;
}

// Each word logs its piece's length, then its class or the error that ends
// the string: the bound of 1999 characters or memory that ran out.
TEST(Autoit3Quote, PiecesLogRecordsAndErrors)
{
    const char *tooLong = "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";
    const std::string first(1000, 'f'), quoted = std::string(993, 'q') + "\"", w1998(1998, 'w');
    struct Case { const char *name; Words words, pieces; const char *error{}; NoMemory noMemory{}; } cases[] = {
        {"bare, blank, tab, LF, VT", {"-q", "C:\\dir\\", "caf\xE8", "a b", "a\tb", "a\nb", "a\vb"},
         {" -q", " C:\\dir\\", " caf\xE8", " \"a b\"", " \"a\tb\"", " \"a\nb\"", " \"a\vb\""}},
        {"quotes, trailing backslash", {"x\"y", "\"", "\"ab\"", "a\"\"b\"c", "C:\\my dir\\"},
         {" \"x\"\"y\"", " \"\"\"\"", " \"\"\"ab\"\"\"", " \"a\"\"\"\"b\"\"c\"", " \"C:\\my dir\\\""}},
        {"bare word to 1999", {w1998}, {" " + w1998}}, {"bare word to 2000", {w1998 + "w"}, {" w" + w1998}, tooLong},
        {"doubled quote to 1999", {first, quoted}, {" " + first, " \"" + quoted + "\"\""}}, {"no parameter", {}, {}},
        {"doubled quote to 2000", {first, "q" + quoted}, {" " + first, " \"q" + quoted + "\"\""}, tooLong},
        {"no memory for the string", {}, {}, "Errore durante l'allocazione di memoria per il comando.",
         NoMemory::forTheString},
        {"no memory for the doubled copy", {"x\"y"}, {" \"x\"\"y\""},
         "Errore durante l'allocazione di memoria per il parametro protetto.\n", NoMemory::forTheDoubledCopy},
    };
    for (const Case &c : cases) {
        std::string log, expected, joined, params = quote(c.words, c.noMemory, &log);
        auto info = [&](const std::string &text) { expected += "INFO " + text.substr(0, 1999) + "\n"; };
        for (size_t i = 0; i < c.words.size(); i++) {
            const std::string &word = c.words[i], &piece = c.pieces[i], inner(piece, 2, piece.size() - 3);
            info("Lunghezza necessaria per il parametro " + word + ": " + std::to_string(piece.size()));
            if (c.error && i + 1 == c.words.size()) break;
            info(piece[1] != '"' ? "Parametro che NON necessita di protezione [" + word + "] "
                                 : "Parametro che NECESSITA di protezione [" + word + "] > [" + inner + "]");
            joined += piece;
        }
        if (c.error) expected += "ERROR " + std::string(c.error) + "\n";
        EXPECT_EQ(params + "\n" + log, (c.error ? "<null>" : joined) + "\n" + expected) << c.name;
    }
}

// Random words of awkward characters, quoted and split back, come out equal.
TEST(Autoit3Property, QuoteThenSplitGivesTheSameWords)
{
    const std::string awkward = " \t\"\"\\\\\n\v\raz-/";
    std::mt19937 rng(20240611u);
    std::clock_t started = std::clock();
    for (int n = 0; n < 3000; n++) {
        Words words(1 + rng() % 8);
        for (std::string &word : words)  // 1 to 24 awkward characters or bytes from 'A' to 0xFF
            for (size_t length = 1 + rng() % 24; word.size() < length;)
                word += rng() % 2 ? awkward[rng() % awkward.size()] : (char)(0x41 + rng() % 0xBF);
        ASSERT_EQ(split(quote(words)), words) << "case " << n;
    }
    printf("[ property ] 3000 cases, %.0f ms CPU\n", (std::clock() - started) * 1000.0 / CLOCKS_PER_SEC);
}
