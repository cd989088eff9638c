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

// How writing the parameters into the interpreter's command ended.
enum Autoit3Params {
    AUTOIT3_PARAMS_WRITTEN,
    AUTOIT3_PARAMS_FAILED,      // 2000 characters or more, or out of memory; logged at ERROR
    AUTOIT3_COMMAND_TOO_LONG    // the parameters fit alone, not after the prefix; logged at ERROR
};

// Appends to command (VEK_TEXT_SIZE characters, holding the command's prefix)
// a blank and the parameter string of words 1 to argc - 1, written straight
// in and logged as buildCommandParamsForAutoIt3 logs them. Nothing is
// appended when there is no word after the first, or when the result is not
// AUTOIT3_PARAMS_WRITTEN.
Autoit3Params autoit3_appendParams(char *command, int argc, char **argTable);
