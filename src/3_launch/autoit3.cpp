// autoit3: the launcher's argument table from its raw command line, and the
// re-quoting of the words into the parameter string of the interpreter's
// command line.
#include "autoit3.h"

#include <cstdlib>
#include <cstring>

#include "log.h"
#include "vekstringlib.h"

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

// --- Quoting ---------------------------------------------------------------

static const char *const AUTOIT3_MSG_NO_MEMORY_COMMAND =
    "Errore durante l'allocazione di memoria per il comando.";
static const char *const AUTOIT3_MSG_TOO_LONG =
    "Errore: la dimensione massima del buffer 'command' \xE8 stata superata.";
static const char *const AUTOIT3_MSG_NO_MEMORY_PROTECTED =
    "Errore durante l'allocazione di memoria per il parametro protetto.\n";

// A new heap copy of word with every double quote doubled (quotes of them
// counted beforehand), or null when memory ran out.
static char *autoit3_doubleQuotes(const char *word, size_t length, size_t quotes)
{
    char *copy = (char *)malloc(length + quotes + 1);
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
    char *params = (char *)malloc(VEK_TEXT_SIZE);
    if (params == NULL) {
        log_write(NULL, LOG_LEVEL_ERROR, AUTOIT3_MSG_NO_MEMORY_COMMAND);
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
            if (autoit3_charNeedsProtection(word[k])) protect = true;
        }
        // Exactly what the piece adds: a blank and the word, bare or in
        // quotes with its inner quotes doubled.
        size_t piece = protect ? length + quotes + 3 : length + 1;
        str_format(message, sizeof message, "Lunghezza necessaria per il parametro %s: %d",
                   word, (int)piece);
        log_write(NULL, LOG_LEVEL_INFO, message);
        if (used + piece >= VEK_TEXT_SIZE) {
            log_write(NULL, LOG_LEVEL_ERROR, AUTOIT3_MSG_TOO_LONG);
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
                doubled = autoit3_doubleQuotes(word, length, quotes);
                if (doubled == NULL) {
                    log_write(NULL, LOG_LEVEL_ERROR, AUTOIT3_MSG_NO_MEMORY_PROTECTED);
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
