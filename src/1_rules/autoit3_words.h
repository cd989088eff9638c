// autoit3_words: the Windows rules for the words of a command line. A word
// ends at a blank or tab outside quotes; a double quote opens; inside quotes a
// doubled quote gives one quote and a single quote closes and ends the word;
// a backslash is an ordinary character; an empty word is dropped. A word that
// holds a blank, tab, line feed, vertical tab or double quote must be
// protected (quoted) to stand in a command line. Pure rules, used by the
// launcher and by the POSIX process start; every word returned is a heap
// string owned by the caller.
#pragma once

#include <cstddef>

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

// True when c cannot stand bare in a word of a command line: blank, tab, line
// feed, vertical tab or double quote.
bool autoit3_charNeedsProtection(char c);

// True when word holds a character for which autoit3_charNeedsProtection holds.
bool autoit3_needsProtection(const char *word);

// The number of characters word takes in double quotes, every inner double
// quote written twice.
size_t autoit3_quotedLength(const char *word);

// The number of characters word takes in a command line: autoit3_quotedLength
// when it needs protection, its own length otherwise.
size_t autoit3_protectedLength(const char *word);

// Writes word into out (size characters, terminator included) in double
// quotes with every inner double quote doubled. False, with nothing written,
// when autoit3_quotedLength(word) + 1 is more than size.
bool autoit3_writeQuotedWord(char *out, size_t size, const char *word);

// Writes word into out as it stands in a command line: quoted as above when
// it needs protection, bare otherwise. False, with nothing written, when
// autoit3_protectedLength(word) + 1 is more than size.
bool autoit3_writeProtectedWord(char *out, size_t size, const char *word);
