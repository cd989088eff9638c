// Fuzz target for the interpreter's command line. Any bytes, split into words,
// give at most 127 whole words and a null after them; any words, re-quoted
// into a parameter string and split again after a leading word, come back
// unchanged; running out of memory at any allocation leaves nothing behind.
//
// The input up to its first zero byte is the command line to split; the input
// cut at every zero byte is the word list to re-quote.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "autoit3.h"
#include "fuzzsupport.h"
#include "log.h"

static const char *const TARGET = "fuzz_split_quote";

// The words of line by the launcher's splitting rules, worked out with
// growing strings (no buffer that could cut a word), at most 127 of them.
static std::vector<std::string> _modelSplit(const char *p)
{
    std::vector<std::string> words;
    while (*p != '\0' && words.size() < AUTOIT3_MAX_WORDS) {
        while (*p == ' ' || *p == '\t') p++;
        std::string word;
        bool quoted = false;
        while (*p != '\0') {
            if (*p == '"' && !quoted) {
                quoted = true;
                p++;
            } else if (*p == '"' && p[1] == '"') {
                word += '"';
                p += 2;
            } else if (*p == '"') {
                p++;
                break;
            } else if (!quoted && (*p == ' ' || *p == '\t')) {
                break;
            } else {
                word += *p++;
            }
        }
        if (!word.empty()) words.push_back(word);
    }
    return words;
}

// The words of line as parseCommandLineAsAutoIt3 gives them, after checking
// the table's shape; the words are released before returning.
static std::vector<std::string> _split(const std::string &line)
{
    char *table[AUTOIT3_TABLE_SIZE];
    memset(table, 0xA5, sizeof table);  // a hole would not read as null
    int count = -1;
    if (!parseCommandLineAsAutoIt3(line.c_str(), &count, table)) {
        fuzz_fail(TARGET, "splitting failed without a memory limit: " + fuzz_printable(line));
    }
    if (count < 0 || count > AUTOIT3_MAX_WORDS || table[count] != NULL) {
        fuzz_fail(TARGET, "bad count or no null after the last word: " + fuzz_printable(line));
    }
    std::vector<std::string> words;
    for (int i = 0; i < count; i++) {
        if (table[i] == NULL || table[i][0] == '\0') {
            fuzz_fail(TARGET, "null or empty word below the count: " + fuzz_printable(line));
        }
        words.push_back(table[i]);
        free(table[i]);
    }
    return words;
}

// Splits the command line (the input up to its first zero byte) and checks
// the words against the rules, and against autoit3_nextWord.
static void _checkSplitting(const std::string &line)
{
    std::vector<std::string> words = _split(line);

    size_t total = 0;
    for (const std::string &word : words) total += word.size();
    if (total > line.size()) fuzz_fail(TARGET, "words longer than the line: " + fuzz_printable(line));
    if (words != _modelSplit(line.c_str())) {
        fuzz_fail(TARGET, "words differ from the splitting rules: " + fuzz_printable(line));
    }
    // One run of characters without blank, tab or quote is one word, whole,
    // however long.
    size_t first = line.find_first_not_of(" \t");
    size_t last = line.find_last_not_of(" \t");
    if (first != std::string::npos) {
        std::string run = line.substr(first, last - first + 1);
        if (run.find_first_of(" \t\"") == std::string::npos && (words.size() != 1 || words[0] != run)) {
            fuzz_fail(TARGET, "a single run was not kept whole: " + fuzz_printable(line));
        }
    }

    // The word-by-word interface gives the same words.
    const char *cursor = line.c_str();
    char *word = NULL;
    bool outOfMemory = false;
    size_t index = 0;
    while (index < AUTOIT3_MAX_WORDS && autoit3_nextWord(&cursor, &word, &outOfMemory)) {
        if (word == NULL) continue;
        if (index >= words.size() || words[index] != word) {
            fuzz_fail(TARGET, "autoit3_nextWord disagrees: " + fuzz_printable(line));
        }
        free(word);
        index++;
    }
    if (outOfMemory || index != words.size()) {
        fuzz_fail(TARGET, "autoit3_nextWord disagrees on the count: " + fuzz_printable(line));
    }

    // Memory running out at any copy: a clean failure, nothing left over
    // (the leak check sees any word that was not released).
    if (!words.empty()) {
        char *table[AUTOIT3_TABLE_SIZE];
        int count = -1;
        autoit3_setAllocationLimit((int)(total % words.size()));
        bool parsed = parseCommandLineAsAutoIt3(line.c_str(), &count, table);
        autoit3_setAllocationLimit(-1);
        if (parsed || count != 0 || table[0] != NULL) {
            fuzz_fail(TARGET, "out of memory not reported as a clean failure: " + fuzz_printable(line));
        }
    }
}

// Characters a piece adds for word: a blank and the word, bare or in quotes
// with its quotes doubled.
static size_t _pieceLength(const std::string &word)
{
    size_t quotes = 0;
    bool protect = false;
    for (char c : word) {
        if (c == '"') quotes++;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '"') protect = true;
    }
    return protect ? word.size() + quotes + 3 : word.size() + 1;
}

// Re-quotes the words (the input cut at zero bytes, empty pieces dropped),
// splits "x" and the parameter string, and wants the same words back.
static void _checkRoundTrip(const std::string &input)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\0', start);
        if (end == std::string::npos) end = input.size();
        if (end > start) words.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char *> table;
    table.push_back(const_cast<char *>("x"));
    size_t expected = 0;
    bool quoted = false;
    for (std::string &word : words) {
        table.push_back(&word[0]);
        expected += _pieceLength(word);
        if (word.find('"') != std::string::npos) quoted = true;
    }
    table.push_back(NULL);
    int argc = (int)words.size() + 1;

    char *params = buildCommandParamsForAutoIt3(argc, table.data());
    if (expected >= 2000) {
        if (params != NULL) fuzz_fail(TARGET, "a parameter string of 2000 or more was accepted");
    } else {
        if (params == NULL) fuzz_fail(TARGET, "a parameter string below 2000 was refused");
        if (strlen(params) != expected) fuzz_fail(TARGET, "the parameter string's length is not the pieces' sum");
        std::vector<std::string> back = _split(std::string("x") + params);
        size_t kept = words.size() < AUTOIT3_MAX_WORDS - 1 ? words.size() : AUTOIT3_MAX_WORDS - 1;
        bool same = back.size() == kept + 1 && back[0] == "x";
        for (size_t i = 0; same && i < kept; i++) same = back[i + 1] == words[i];
        if (!same) fuzz_fail(TARGET, std::string("words changed on the way: ") + fuzz_printable(params));
        free(params);

        // Out of memory for the parameter string, then for the first doubled copy.
        autoit3_setAllocationLimit(0);
        params = buildCommandParamsForAutoIt3(argc, table.data());
        autoit3_setAllocationLimit(quoted ? 1 : -1);
        char *quotedParams = quoted ? buildCommandParamsForAutoIt3(argc, table.data()) : NULL;
        autoit3_setAllocationLimit(-1);
        if (params != NULL || quotedParams != NULL) {
            fuzz_fail(TARGET, "out of memory while quoting was not reported");
        }
    }
    free(params);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The quoting logs every word; its lines go nowhere.
    log_setGlobalContext("Z:\\dev\\null", "fuzz", "1.1.7.0", 0, 0, false);
    if (globalLogContext == NULL) fuzz_fail(TARGET, "no log context on the null device");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, size);
    _checkSplitting(std::string(input.c_str()));
    _checkRoundTrip(input);
    return 0;
}
