// autoit3: the interpreter's command line. Splits the launcher's raw command
// line into its argument table by the word rules of autoit3_words, and
// re-quotes words into the parameter string of the interpreter's command line
// so that the same rules read them back unchanged, logging each piece. Every
// word it returns is a heap string owned by the caller.
#pragma once

#include "autoit3_words.h"

enum {
    AUTOIT3_TABLE_SIZE = 128,   // entries of the argument table
    AUTOIT3_MAX_WORDS = 127     // words stored; the null takes the last entry
};

// Splits commandLine into argTable (AUTOIT3_TABLE_SIZE entries): at most
// AUTOIT3_MAX_WORDS heap-copied words and a null after the last, count in
// *argc. Returns false when a word could not be copied: every word already
// copied is released, *argc is 0 and argTable[0] is null.
bool parseCommandLineAsAutoIt3(const char *commandLine, int *argc, char **argTable);

// The parameter string for words 1 to argc - 1: each word as a blank and the
// word, bare or in protected form. A new heap string (owned by the caller), or
// null after a failure that has already been logged at ERROR.
char *buildCommandParamsForAutoIt3(int argc, char **argTable);
