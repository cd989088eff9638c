// Fuzz target for the interpreter's command line. The input cut at its zero
// bytes is a list of words, quoted into a parameter string and split again;
// the input with blanks for zero bytes is a command line to split. The leak
// check sees any word left behind. (Where the quoting refuses a string and how
// a split that runs out of memory ends are pinned by the unit tests,
// Autoit3Quote.BoundAndMemory and Autoit3Split.QuoteRulesAndFailedCopies.)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "autoit3.h"
#include "fuzzsupport.h"
#include "log.h"

using Words = std::vector<std::string>;

// The words of line split, after checking the table: at most 127 words, none
// null or empty, a null after the last. The copies are released.
static Words split(const std::string &line)
{
    char *table[AUTOIT3_TABLE_SIZE];
    memset(table, 0xA5, sizeof table);  // a hole would not read as null
    int count = -1;
    bool parsed = parseCommandLineAsAutoIt3(line.c_str(), &count, table);
    if (!parsed || count < 0 || count > AUTOIT3_MAX_WORDS || table[count] != NULL) ts::fail("bad table");
    Words words(table, table + count);  // a null or stray word crashes here
    for (int i = 0; i < count; i++) free(table[i]);
    if (std::count(words.begin(), words.end(), "") != 0) ts::fail("an empty word below the count");
    return words;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The quoting logs every word; its lines go nowhere.
    if (globalLogContext == NULL) log_setGlobalContext("Z:\\dev\\null", "fuzz", "1.1.7.0", 0, 0, false);
    std::string line((const char *)data, size);
    Words pieces;
    std::istringstream zeroCut(line);
    for (std::string piece; std::getline(zeroCut, piece, '\0');) {
        if (!piece.empty()) pieces.push_back(piece);
    }
    std::replace(line.begin(), line.end(), '\0', ' ');
    Words words = split(line);

    // A lone run without blank, tab or quote comes back whole, however long.
    std::string run = line;
    run.erase(run.find_last_not_of(" \t") + 1);  // all of it when there is no run
    run.erase(0, run.find_first_not_of(" \t"));
    if (!run.empty() && run.find_first_of(" \t\"") == std::string::npos && words != Words{run}) {
        ts::fail("a single run was not kept whole");
    }

    // Quoted behind "x" (a string that would reach 2000 characters is refused).
    std::vector<char *> quoting{const_cast<char *>("x")};
    for (std::string &piece : pieces) quoting.push_back(&piece[0]);
    char *params = buildCommandParamsForAutoIt3((int)quoting.size(), quoting.data());
    if (params == NULL) return 0;
    Words back = split(params);
    free(params);

    // Split again, the same pieces come back (the first 127).
    pieces.resize(std::min(pieces.size(), (size_t)AUTOIT3_MAX_WORDS));
    if (back != pieces) ts::fail("words changed on the way");
    return 0;
}
