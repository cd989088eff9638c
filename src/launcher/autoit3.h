// autoit3: the interpreter's command line. Splits a raw command line into
// words by the launcher's own quoting rules, and re-quotes words into the
// parameter string of the interpreter's command line so that the same rules
// read them back unchanged. Every word it returns is a heap string owned by
// the caller.
#pragma once

enum {
    AUTOIT3_TABLE_SIZE = 128,   // entries of the argument table
    AUTOIT3_MAX_WORDS = 127     // words stored; the null takes the last entry
};

// Takes the next word of a command line starting at *cursor: skips blanks and
// tabs, collects the word, and leaves *cursor after it. Sets *word to a new
// heap string, or to null when the word is empty (dropped). Returns false when
// the end of the line was reached before any word started, or when memory ran
// out (then *outOfMemory is set and *word is null).
bool autoit3_nextWord(const char **cursor, char **word, bool *outOfMemory);

// Splits commandLine into all its words, with no limit on their number: a new
// heap vector of heap words ending with a null, *count words in it. Null when
// memory ran out (nothing is left allocated then). Release with
// autoit3_freeWords.
char **autoit3_splitAll(const char *commandLine, int *count);

// Releases a vector made by autoit3_splitAll; ignores null.
void autoit3_freeWords(char **words);

// True when word cannot stand bare on the interpreter's command line: it holds
// a blank, tab, line feed, vertical tab or double quote.
bool autoit3_needsProtection(const char *word);

// Splits commandLine into argTable (AUTOIT3_TABLE_SIZE entries): at most
// AUTOIT3_MAX_WORDS heap-copied words and a null after the last, count in
// *argc. Returns false when a word could not be copied: every word already
// copied is released, *argc is 0 and argTable[0] is null.
bool parseCommandLineAsAutoIt3(const char *commandLine, int *argc, char **argTable);

// The parameter string for words 1 to argc - 1: each word as a blank and the
// word, bare or in protected form. A new heap string (owned by the caller), or
// null after a failure that has already been logged at ERROR.
char *buildCommandParamsForAutoIt3(int argc, char **argTable);

// For tests: after this many more successful allocations, every allocation of
// this module fails as if memory ran out; a negative number lifts the limit
// (the default).
void autoit3_setAllocationLimit(int allocations);
