// autoit3: splitting of a raw command line into words, and re-quoting of the
// words into the parameter string of the interpreter's command line.
#include "autoit3.h"

#include <cstdlib>
#include <cstring>

#include "log.h"
#include "vekstringlib.h"

// Allocations the module may still make before they fail; negative: no limit.
static int _autoit3_allocationsLeft = -1;

void autoit3_setAllocationLimit(int allocations)
{
    _autoit3_allocationsLeft = allocations;
}

// A new heap block of size bytes, or null when memory (or the test limit) ran out.
static char *_autoit3_alloc(size_t size)
{
    if (_autoit3_allocationsLeft == 0) return NULL;
    if (_autoit3_allocationsLeft > 0) _autoit3_allocationsLeft--;
    return (char *)malloc(size);
}

// --- Splitting -------------------------------------------------------------

// The position right after the word that starts at p (p is on its first
// character, not on a separator); the word's characters go to out when out is
// not null, and their number to *length. Blanks and tabs end a word outside
// quotes; a quote opens; inside quotes a doubled quote gives one quote and a
// single quote closes and ends the word; a backslash is an ordinary character.
static const char *_autoit3_scanWord(const char *p, char *out, size_t *length)
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
    const char *end = _autoit3_scanWord(p, NULL, &length);
    *cursor = end;
    if (length == 0) return true;
    char *copy = _autoit3_alloc(length + 1);
    if (copy == NULL) {
        *outOfMemory = true;
        return false;
    }
    _autoit3_scanWord(p, copy, &length);
    copy[length] = '\0';
    *word = copy;
    return true;
}

bool parseCommandLineAsAutoIt3(const char *commandLine, int *argc, char **argTable)
{
    const char *cursor = commandLine ? commandLine : "";
    int count = 0;
    char *word = NULL;
    bool outOfMemory = false;
    while (count < AUTOIT3_MAX_WORDS && autoit3_nextWord(&cursor, &word, &outOfMemory)) {
        if (word != NULL) argTable[count++] = word;
    }
    if (outOfMemory) {
        // Never hand out a table with a hole: release what was copied.
        for (int i = 0; i < count; i++) {
            free(argTable[i]);
            argTable[i] = NULL;
        }
        count = 0;
    }
    argTable[count] = NULL;
    *argc = count;
    return !outOfMemory;
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

// --- Quoting ---------------------------------------------------------------

static const char *const _AUTOIT3_MSG_NO_MEMORY_COMMAND =
    "Errore durante l'allocazione di memoria per il comando.";
static const char *const _AUTOIT3_MSG_TOO_LONG =
    "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";
static const char *const _AUTOIT3_MSG_NO_MEMORY_PROTECTED =
    "Errore durante l'allocazione di memoria per il parametro protetto.\n";

// True when c must not stand bare in a word: blank, tab, line feed, vertical
// tab or double quote.
static bool _autoit3_needsProtection(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '"';
}

bool autoit3_needsProtection(const char *word)
{
    for (; *word != '\0'; word++) {
        if (_autoit3_needsProtection(*word)) return true;
    }
    return false;
}

// A new heap copy of word with every double quote doubled (quotes of them
// counted beforehand), or null when memory ran out.
static char *_autoit3_doubleQuotes(const char *word, size_t length, size_t quotes)
{
    char *copy = _autoit3_alloc(length + quotes + 1);
    if (copy == NULL) return NULL;
    size_t n = 0;
    for (size_t i = 0; i < length; i++) {
        copy[n++] = word[i];
        if (word[i] == '"') copy[n++] = '"';
    }
    copy[n] = '\0';
    return copy;
}

char *buildCommandParamsForAutoIt3(int argc, char **argTable)
{
    char message[VEK_TEXT_SIZE];
    char *params = _autoit3_alloc(VEK_TEXT_SIZE);
    if (params == NULL) {
        log_write(NULL, LOG_LEVEL_ERROR, _AUTOIT3_MSG_NO_MEMORY_COMMAND);
        return NULL;
    }
    params[0] = '\0';
    size_t used = 0;
    for (int i = 1; i < argc; i++) {
        const char *word = argTable[i];
        size_t length = strlen(word);
        size_t quotes = 0;
        bool protect = false;
        for (size_t k = 0; k < length; k++) {
            if (word[k] == '"') quotes++;
            if (_autoit3_needsProtection(word[k])) protect = true;
        }
        // Exactly what the piece adds: a blank and the word, bare or in
        // quotes with its inner quotes doubled.
        size_t piece = protect ? length + quotes + 3 : length + 1;
        str_format(message, sizeof message, "Lunghezza necessaria per il parametro %s: %d",
                   word, (int)piece);
        log_write(NULL, LOG_LEVEL_INFO, message);
        if (used + piece >= VEK_TEXT_SIZE) {
            log_write(NULL, LOG_LEVEL_ERROR, _AUTOIT3_MSG_TOO_LONG);
            free(params);
            return NULL;
        }
        if (!protect) {
            str_format(message, sizeof message, "Parametro che NON necessita di protezione [%s] ",
                       word);
            log_write(NULL, LOG_LEVEL_INFO, message);
            str_format(params + used, VEK_TEXT_SIZE - used, " %s", word);
        } else {
            char *doubled = NULL;
            if (quotes > 0) {
                doubled = _autoit3_doubleQuotes(word, length, quotes);
                if (doubled == NULL) {
                    log_write(NULL, LOG_LEVEL_ERROR, _AUTOIT3_MSG_NO_MEMORY_PROTECTED);
                    free(params);
                    return NULL;
                }
            }
            const char *content = doubled ? doubled : word;
            str_format(message, sizeof message,
                       "Parametro che NECESSITA di protezione [%s] > [%s]", word, content);
            log_write(NULL, LOG_LEVEL_INFO, message);
            str_format(params + used, VEK_TEXT_SIZE - used, " \"%s\"", content);
            free(doubled);
        }
        used += piece;
    }
    return params;
}
