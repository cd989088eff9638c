// autoit3_words: the Windows rules by which a command line splits into
// words and by which a word must be protected to stand in one. Pure rules: no
// system calls and no logging, so that the launcher and the POSIX process
// start read command lines the same way.
#include "autoit3_words.h"

#include <cstdlib>
#include <cstring>

// --- Splitting -------------------------------------------------------------

// The position right after the word that starts at p (p is on its first
// character, not on a separator); the word's characters go to out when out is
// not null, and their number to *length. Blanks and tabs end a word outside
// quotes; a quote opens; inside quotes a doubled quote gives one quote and a
// single quote closes and ends the word; a backslash is an ordinary character.
static const char *autoit3_scanWord(const char *p, char *out, size_t *length)
{
    bool inQuotes = false;
    size_t n = 0;
    while (*p != '\0') {
        char c = *p;
        if (c == '"') {
            if (!inQuotes) {
                inQuotes = true;
                p++;
                continue;
            }
            if (p[1] == '"') {
                if (out) out[n] = '"';
                n++;
                p += 2;
                continue;
            }
            p++;  // the closing quote ends the word, whatever follows
            break;
        }
        if ((c == ' ' || c == '\t') && !inQuotes) break;
        if (out) out[n] = c;
        n++;
        p++;
    }
    *length = n;
    return p;
}

bool autoit3_nextWord(const char **cursor, char **word, bool *outOfMemory)
{
    const char *p = *cursor;
    *word = NULL;
    *outOfMemory = false;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '\0') {
        *cursor = p;
        return false;
    }
    // Measure first, then copy into a block of exactly the word's size: a
    // word of any length reaches the caller whole.
    size_t length = 0;
    const char *end = autoit3_scanWord(p, NULL, &length);
    *cursor = end;
    if (length == 0) return true;
    char *copy = (char *)malloc(length + 1);
    if (copy == NULL) {
        *outOfMemory = true;
        return false;
    }
    autoit3_scanWord(p, copy, &length);
    copy[length] = '\0';
    *word = copy;
    return true;
}

char **autoit3_splitAll(const char *commandLine, int *count)
{
    const char *cursor = commandLine ? commandLine : "";
    char **words = (char **)malloc(sizeof *words);
    int n = 0;
    char *word = NULL;
    bool outOfMemory = words == NULL;
    while (!outOfMemory && autoit3_nextWord(&cursor, &word, &outOfMemory)) {
        if (word == NULL) continue;
        char **grown = (char **)realloc(words, (size_t)(n + 2) * sizeof *words);
        if (grown == NULL) {
            free(word);
            outOfMemory = true;
            break;
        }
        words = grown;
        words[n++] = word;
    }
    if (words != NULL) words[n] = NULL;
    *count = outOfMemory ? 0 : n;
    if (!outOfMemory) return words;
    autoit3_freeWords(words);
    return NULL;
}

void autoit3_freeWords(char **words)
{
    if (words == NULL) return;
    for (int i = 0; words[i] != NULL; i++) free(words[i]);
    free(words);
}

// --- Protection ------------------------------------------------------------

bool autoit3_charNeedsProtection(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '"';
}

bool autoit3_needsProtection(const char *word)
{
    for (; *word != '\0'; word++) {
        if (autoit3_charNeedsProtection(*word)) return true;
    }
    return false;
}

size_t autoit3_quotedLength(const char *word)
{
    size_t length = 2;
    for (; *word != '\0'; word++) length += *word == '"' ? 2 : 1;
    return length;
}

size_t autoit3_protectedLength(const char *word)
{
    return autoit3_needsProtection(word) ? autoit3_quotedLength(word) : strlen(word);
}

bool autoit3_writeQuotedWord(char *out, size_t size, const char *word)
{
    if (autoit3_quotedLength(word) >= size) return false;
    size_t n = 0;
    out[n++] = '"';
    for (; *word != '\0'; word++) {
        out[n++] = *word;
        if (*word == '"') out[n++] = '"';
    }
    out[n++] = '"';
    out[n] = '\0';
    return true;
}

bool autoit3_writeProtectedWord(char *out, size_t size, const char *word)
{
    if (autoit3_needsProtection(word)) return autoit3_writeQuotedWord(out, size, word);
    size_t length = strlen(word);
    if (length >= size) return false;
    memcpy(out, word, length + 1);
    return true;
}
