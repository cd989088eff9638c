// Splitting of command lines into words, re-quoting of words into the
// interpreter's parameter string, and the round trip between the two.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "autoit3.h"
#include "log.h"
#include "testsupport.h"

namespace {

using Words = std::vector<std::string>;

// Splits line with the launcher's rules and checks the table's shape: the
// count in range, a null after the last word, no empty word.
Words split(const std::string &line, int *countOut = nullptr)
{
    char *table[AUTOIT3_TABLE_SIZE];
    for (char *&entry : table) entry = reinterpret_cast<char *>(1);  // poison
    int count = -1;
    EXPECT_TRUE(parseCommandLineAsAutoIt3(line.c_str(), &count, table));
    Words words;
    EXPECT_GE(count, 0);
    EXPECT_LE(count, AUTOIT3_MAX_WORDS);
    if (count < 0 || count > AUTOIT3_MAX_WORDS) return words;
    EXPECT_EQ(table[count], nullptr);
    for (int i = 0; i < count; i++) {
        EXPECT_NE(table[i][0], '\0');
        words.push_back(table[i]);
        free(table[i]);
    }
    if (countOut) *countOut = count;
    return words;
}

// The parameter string for words after a program name, or "<null>".
std::string quote(const Words &words)
{
    std::vector<char *> table;
    table.push_back(const_cast<char *>("task.exe"));
    for (const std::string &w : words) table.push_back(const_cast<char *>(w.c_str()));
    table.push_back(nullptr);
    char *params = buildCommandParamsForAutoIt3((int)words.size() + 1, table.data());
    if (params == nullptr) return "<null>";
    std::string result = params;
    free(params);
    return result;
}

// A fresh global log on path; previous contexts are released.
void installLog(const std::string &path)
{
    log_destroyContext(globalLogContext);
    globalLogContext = nullptr;
    log_setGlobalContext(path.c_str(), "frascombe_a3x", "1.1.7.0", 0, 0, false);
    ASSERT_NE(globalLogContext, nullptr);
}

// Reads back the records appended to a log file since the capture began, each
// as "LABEL text"; a text holding line feeds spans several lines of the file.
struct LogCapture {
    std::string path;
    size_t start = 0;

    void begin()
    {
        if (path.empty()) {
            path = ts::join(ts::makeWorkFolder("autoit3_log"), "quoting.log");
        }
        installLog(path);
        start = ts::readFile(path).size();
    }

    Words records() const
    {
        std::string text = ts::readFile(path).substr(start);
        Words lines;
        size_t from = 0;
        while (from < text.size()) {
            size_t end = text.find('\n', from);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(from, end - from);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            from = end + 1;
        }
        Words result;
        for (const std::string &line : lines) {
            ts::LogRecord record;
            if (ts::parseLogRecord(line, &record)) {
                result.push_back(record.label + " " + record.text);
            } else if (!result.empty()) {
                result.back() += "\n" + line;
            } else {
                ADD_FAILURE() << "not a record: " << line;
            }
        }
        return result;
    }
};

const char *const TOO_LONG =
    "ERROR Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";

// The expected INFO records of one word; each text is cut at 1999 characters.
std::string info(const std::string &text)
{
    return "INFO " + text.substr(0, 1999);
}
std::string lengthLine(const std::string &word, size_t length)
{
    return info("Lunghezza necessaria per il parametro " + word + ": " + std::to_string(length));
}
std::string bareLine(const std::string &word)
{
    return info("Parametro che NON necessita di protezione [" + word + "] ");
}
std::string protectedLine(const std::string &word, const std::string &content)
{
    return info("Parametro che NECESSITA di protezione [" + word + "] > [" + content + "]");
}

}  // namespace

// --- Splitting ---------------------------------------------------------------

TEST(Autoit3Split, QuoteRules)
{
    struct Case {
        const char *name;
        const char *line;
        Words words;
    } cases[] = {
        {"quoted program", "\"D:\\tasks\\task.exe\" -q", {"D:\\tasks\\task.exe", "-q"}},
        {"empty quotes between words", "x \"\" y", {"x", "y"}},
        {"two quotes end a bare word", "x ab\"\"cd", {"x", "ab", "cd"}},
        {"doubled quote inside quotes", "x \"a\"\"b\"", {"x", "a\"b"}},
        {"four quotes give one quote", "x \"\"\"\"", {"x", "\""}},
        {"three quotes open with a quote", "x \"\"\"pqr\"", {"x", "\"pqr"}},
        {"closing quote ends the word", "x \"a\"\"\"b\"", {"x", "a\"", "b"}},
        {"text after closing quote", "x \"pqr\"st", {"x", "pqr", "st"}},
        {"opening quote inside a word", "x pq\"r s\"tu", {"x", "pqr s", "tu"}},
        {"unclosed quote runs to the end", "x \"open to the end", {"x", "open to the end"}},
        {"unclosed quote keeps trailing blanks", "x \"a \t", {"x", "a \t"}},
        {"backslash is ordinary", "x a\\\"b d", {"x", "a\\b d"}},
        {"backslash before closing quote", "x \"C:\\my dir\\\" y", {"x", "C:\\my dir\\", "y"}},
        {"blanks and tabs around", " \t x \t\t y\t ", {"x", "y"}},
        {"quoted tab", "x \"\t\"", {"x", "\t"}},
        {"line feed, vertical tab, CR are word characters", "x a\nb c\vd e\rf",
         {"x", "a\nb", "c\vd", "e\rf"}},
        {"bytes above 127", "x caf\xE8 \"perch\xE9 s\xEC\"", {"x", "caf\xE8", "perch\xE9 s\xEC"}},
        {"lone quote pairs give no word", "\"\" x \"\"\t\"\"", {"x"}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(split(c.line), c.words) << c.name;
    }
}

TEST(Autoit3Split, EmptyAndBlankLines)
{
    const char *lines[] = {"", " ", " \t  \t", "\"\"", " \"\" \"\" "};
    for (const char *line : lines) {
        int count = -1;
        EXPECT_TRUE(split(line, &count).empty()) << "[" << line << "]";
        EXPECT_EQ(count, 0) << "[" << line << "]";
    }
}

TEST(Autoit3Split, StopsAt127Words)
{
    struct Case {
        int words;
        int expected;
    } cases[] = {{126, 126}, {127, 127}, {128, 127}, {200, 127}};
    for (const Case &c : cases) {
        std::string line;
        for (int i = 0; i < c.words; i++) line += "w" + std::to_string(i) + " ";
        int count = -1;
        Words words = split(line, &count);
        EXPECT_EQ(count, c.expected) << c.words << " words";
        ASSERT_EQ((int)words.size(), c.expected);
        EXPECT_EQ(words.back(), "w" + std::to_string(c.expected - 1)) << c.words << " words";
    }
}

TEST(Autoit3Split, LongWordsArriveWhole)
{
    for (size_t length : {249u, 250u, 5000u}) {
        std::string bare(length, 'b');
        std::string blanks;
        for (size_t i = 0; i < length; i++) blanks += (i % 7 == 3) ? ' ' : (char)('a' + i % 26);
        EXPECT_EQ(split("p " + bare + " q"), (Words{"p", bare, "q"})) << length << " bare";
        EXPECT_EQ(split("p \"" + blanks + "\" q"), (Words{"p", blanks, "q"})) << length << " quoted";
    }
}

TEST(Autoit3Split, NextWordHasNoCountLimit)
{
    std::string line = "\"\" ";
    for (int i = 0; i < 300; i++) line += "w" + std::to_string(i) + " ";
    const char *cursor = line.c_str();
    char *word = nullptr;
    bool outOfMemory = true;
    // The leading empty word is reported as a word that was dropped.
    ASSERT_TRUE(autoit3_nextWord(&cursor, &word, &outOfMemory));
    EXPECT_EQ(word, nullptr);
    EXPECT_FALSE(outOfMemory);
    int count = 0;
    while (autoit3_nextWord(&cursor, &word, &outOfMemory)) {
        ASSERT_NE(word, nullptr);
        EXPECT_EQ(std::string(word), "w" + std::to_string(count));
        free(word);
        count++;
    }
    EXPECT_FALSE(outOfMemory);
    EXPECT_EQ(count, 300);
    EXPECT_EQ(*cursor, '\0');
}

TEST(Autoit3Split, FailedCopyReleasesEverything)
{
    for (int allowed = 0; allowed < 4; allowed++) {
        char *table[AUTOIT3_TABLE_SIZE];
        int count = -1;
        autoit3_setAllocationLimit(allowed);
        bool ok = parseCommandLineAsAutoIt3("a b c d", &count, table);
        autoit3_setAllocationLimit(-1);
        EXPECT_FALSE(ok) << allowed;
        EXPECT_EQ(count, 0) << allowed;
        EXPECT_EQ(table[0], nullptr) << allowed;  // copies made so far: leak check under ASan
    }
    const char *cursor = "word";
    char *word = reinterpret_cast<char *>(1);
    bool outOfMemory = false;
    autoit3_setAllocationLimit(0);
    EXPECT_FALSE(autoit3_nextWord(&cursor, &word, &outOfMemory));
    autoit3_setAllocationLimit(-1);
    EXPECT_TRUE(outOfMemory);
    EXPECT_EQ(word, nullptr);
}

// --- Quoting -------------------------------------------------------------------

TEST(Autoit3Quote, PiecesAndLogLines)
{
    struct Case {
        const char *name;
        Words words;
        std::string params;
        Words log;
    } cases[] = {
        {"no parameter", {}, "", {}},
        {"plain words", {"-q", "C:\\dir\\", "caf\xE8"}, " -q C:\\dir\\ caf\xE8",
         {lengthLine("-q", 3), bareLine("-q"), lengthLine("C:\\dir\\", 8), bareLine("C:\\dir\\"),
          lengthLine("caf\xE8", 5), bareLine("caf\xE8")}},
        {"blank, tab, line feed, vertical tab", {"a b", "a\tb", "a\nb", "a\vb"},
         " \"a b\" \"a\tb\" \"a\nb\" \"a\vb\"",
         {lengthLine("a b", 6), protectedLine("a b", "a b"), lengthLine("a\tb", 6),
          protectedLine("a\tb", "a\tb"), lengthLine("a\nb", 6), protectedLine("a\nb", "a\nb"),
          lengthLine("a\vb", 6), protectedLine("a\vb", "a\vb")}},
        {"quote inside", {"x\"y"}, " \"x\"\"y\"", {lengthLine("x\"y", 7), protectedLine("x\"y", "x\"\"y")}},
        {"one quote alone", {"\""}, " \"\"\"\"", {lengthLine("\"", 5), protectedLine("\"", "\"\"")}},
        {"quotes at the ends and several", {"\"ab\"", "a\"\"b\"c"}, " \"\"\"ab\"\"\" \"a\"\"\"\"b\"\"c\"",
         {lengthLine("\"ab\"", 9), protectedLine("\"ab\"", "\"\"ab\"\""), lengthLine("a\"\"b\"c", 12),
          protectedLine("a\"\"b\"c", "a\"\"\"\"b\"\"c")}},
        {"trailing backslash stays before the closing quote", {"C:\\my dir\\"}, " \"C:\\my dir\\\"",
         {lengthLine("C:\\my dir\\", 13), protectedLine("C:\\my dir\\", "C:\\my dir\\")}},
        {"accented word with a blank", {"perch\xE9 s\xEC"}, " \"perch\xE9 s\xEC\"",
         {lengthLine("perch\xE9 s\xEC", 12), protectedLine("perch\xE9 s\xEC", "perch\xE9 s\xEC")}},
        {"mixed", {"-q", "a b", "x\"y"}, " -q \"a b\" \"x\"\"y\"",
         {lengthLine("-q", 3), bareLine("-q"), lengthLine("a b", 6), protectedLine("a b", "a b"),
          lengthLine("x\"y", 7), protectedLine("x\"y", "x\"\"y")}},
        {"empty word adds a lone blank", {""}, " ", {lengthLine("", 1), bareLine("")}},
    };
    LogCapture capture;
    for (const Case &c : cases) {
        capture.begin();
        EXPECT_EQ(quote(c.words), c.params) << c.name;
        EXPECT_EQ(capture.records(), c.log) << c.name;
        if (c.words.size() == 1 && c.words[0].empty()) continue;  // vanishes when split
        Words back = split("task.exe" + c.params);
        back.erase(back.begin());
        EXPECT_EQ(back, c.words) << c.name;
    }
}

TEST(Autoit3Quote, LimitOf1999Characters)
{
    // Pieces: 1001 for the bare word, L + 3 or L + Q + 3 for the second word.
    std::string first(1000, 'f');
    std::string blank995 = std::string(994, 'b') + " ";
    std::string blank996 = std::string(995, 'b') + " ";
    std::string quoted994 = std::string(993, 'q') + "\"";  // 994 + 1 + 3 = 998
    std::string quoted995 = std::string(994, 'q') + "\"";
    std::string bare1998(1998, 'w'), bare1999(1999, 'w');  // their log lines are cut
    struct Case {
        const char *name;
        Words words;
        bool accepted;
        Words log;
    } cases[] = {
        {"one bare word of 1998", {bare1998}, true, {lengthLine(bare1998, 1999), bareLine(bare1998)}},
        {"one bare word of 1999", {bare1999}, false, {lengthLine(bare1999, 2000), TOO_LONG}},
        {"protected word reaching 1999", {first, blank995}, true,
         {lengthLine(first, 1001), bareLine(first), lengthLine(blank995, 998),
          protectedLine(blank995, blank995)}},
        {"protected word reaching 2000", {first, blank996}, false,
         {lengthLine(first, 1001), bareLine(first), lengthLine(blank996, 999), TOO_LONG}},
        {"doubled quote reaching 1999", {first, quoted994}, true,
         {lengthLine(first, 1001), bareLine(first), lengthLine(quoted994, 998),
          protectedLine(quoted994, quoted994 + "\"")}},
        {"doubled quote reaching 2000", {first, quoted995}, false,
         {lengthLine(first, 1001), bareLine(first), lengthLine(quoted995, 999), TOO_LONG}},
    };
    LogCapture capture;
    for (const Case &c : cases) {
        capture.begin();
        std::string params = quote(c.words);
        Words log = capture.records();
        if (c.accepted) {
            EXPECT_EQ(params.size(), 1999u) << c.name;
            Words back = split("task.exe" + params);
            back.erase(back.begin());
            EXPECT_EQ(back, c.words) << c.name;
        } else {
            EXPECT_EQ(params, "<null>") << c.name;
        }
        EXPECT_EQ(log, c.log) << c.name;
    }
}

TEST(Autoit3Quote, AllocationFailuresAreLogged)
{
    struct Case {
        const char *name;
        int allowed;
        Words words;
        Words log;
    } cases[] = {
        {"parameter string", 0, {"a"},
         {"ERROR Errore durante l'allocazione di memoria per il comando."}},
        {"doubled copy", 1, {"ok", "x\"y"},
         {lengthLine("ok", 3), bareLine("ok"), lengthLine("x\"y", 7),
          "ERROR Errore durante l'allocazione di memoria per il parametro protetto.\n"}},
    };
    LogCapture capture;
    for (const Case &c : cases) {
        capture.begin();
        autoit3_setAllocationLimit(c.allowed);
        std::string params = quote(c.words);
        autoit3_setAllocationLimit(-1);
        EXPECT_EQ(params, "<null>") << c.name;
        EXPECT_EQ(capture.records(), c.log) << c.name;
    }
}

// --- Round trip ----------------------------------------------------------------

// Random words of awkward characters, quoted and split back, come out equal.
TEST(Autoit3Property, QuoteThenSplitGivesTheSameWords)
{
    // The INFO lines of thousands of words go to the null device.
    installLog(ts::onWindows() ? "NUL" : "Z:\\dev\\null");
    const char alphabet[] = {' ', '\t', '"', '"', '\\', '\\', '\n', '\v', '\r', 'a', 'z', '-', '/'};
    std::mt19937 rng(20240611u);
    const int cases = 3000;
    int wordCount = 0;
    auto started = std::chrono::steady_clock::now();
    for (int n = 0; n < cases; n++) {
        Words words(1 + rng() % 8);
        for (std::string &word : words) {
            size_t length = 1 + rng() % 24;
            for (size_t i = 0; i < length; i++) {
                unsigned pick = rng() % 20;
                if (pick < sizeof alphabet) {
                    word += alphabet[pick];
                } else if (pick < 16) {
                    word += (char)(0x80 + rng() % 0x80);
                } else {
                    word += (char)('A' + rng() % 26);
                }
            }
        }
        wordCount += (int)words.size();
        std::string params = quote(words);
        ASSERT_NE(params, "<null>") << "case " << n;
        Words back = split("p" + params);
        ASSERT_FALSE(back.empty());
        back.erase(back.begin());
        ASSERT_EQ(back, words) << "case " << n;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    printf("[ property ] %d cases, %d words quoted and split back in %.0f ms\n", cases, wordCount, ms);
}
