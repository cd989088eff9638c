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

// Logs the class of word: bare, or protected with its content (its inner
// double quotes doubled, without the enclosing quotes). False after the
// doubled copy could not be made, which is logged at ERROR.
static bool logClass(const char *word, size_t protectedLength)
{
    char message[VEK_TEXT_SIZE];
    if (!autoit3_needsProtection(word)) {
        str_format(message, sizeof message, "Parametro che NON necessita di protezione [%s] ", word);
    } else if (strchr(word, '"') == NULL) {
        str_format(message, sizeof message, "Parametro che NECESSITA di protezione [%s] > [%s]", word, word);
    } else {
        char *quoted = (char *)malloc(protectedLength + 1);
        if (quoted == NULL) {
            log_write(NULL, LOG_LEVEL_ERROR, AUTOIT3_MSG_NO_MEMORY_PROTECTED);
            return false;
        }
        autoit3_writeProtectedWord(quoted, protectedLength + 1, word);
        str_format(message, sizeof message, "Parametro che NECESSITA di protezione [%s] > [%.*s]", word,
                   (int)(protectedLength - 2), quoted + 1);
        free(quoted);
    }
    log_write(NULL, LOG_LEVEL_INFO, message);
    return true;
}

// Writes the pieces of words 1 to argc - 1 into out (room characters,
// terminator included), each a blank and the word bare or protected, and logs
// each word's length and class. Together the pieces stay under VEK_TEXT_SIZE
// characters: a piece that would reach it ends the writing (PARAMS_FAILED).
// Pieces that keep under that bound but not under room are logged all the
// same and the result is COMMAND_TOO_LONG. Both bounds log one message.
static Autoit3Params writePieces(char *out, size_t room, int argc, char **argTable)
{
    char message[VEK_TEXT_SIZE];
    size_t used = 0;
    bool tooLong = false;
    for (int i = 1; i < argc; i++) {
        const char *word = argTable[i];
        size_t length = autoit3_protectedLength(word), piece = length + 1;
        str_format(message, sizeof message, "Lunghezza necessaria per il parametro %s: %d", word, (int)piece);
        log_write(NULL, LOG_LEVEL_INFO, message);
        tooLong = used + piece >= VEK_TEXT_SIZE;
        if (tooLong) break;
        if (!logClass(word, length)) return AUTOIT3_PARAMS_FAILED;
        if (used + piece < room) {
            out[used] = ' ';
            autoit3_writeProtectedWord(out + used + 1, room - used - 1, word);
        }
        used += piece;
    }
    if (!tooLong && used < room) return AUTOIT3_PARAMS_WRITTEN;
    log_write(NULL, LOG_LEVEL_ERROR, AUTOIT3_MSG_TOO_LONG);
    return tooLong ? AUTOIT3_PARAMS_FAILED : AUTOIT3_COMMAND_TOO_LONG;
}

char *buildCommandParamsForAutoIt3(int argc, char **argTable)
{
    char *params = (char *)malloc(VEK_TEXT_SIZE);
    if (params == NULL) {
        log_write(NULL, LOG_LEVEL_ERROR, AUTOIT3_MSG_NO_MEMORY_COMMAND);
        return NULL;
    }
    params[0] = '\0';
    if (writePieces(params, VEK_TEXT_SIZE, argc, argTable) == AUTOIT3_PARAMS_WRITTEN) return params;
    free(params);
    return NULL;
}

Autoit3Params autoit3_appendParams(char *command, int argc, char **argTable)
{
    if (argc <= 1) return AUTOIT3_PARAMS_WRITTEN;
    // One blank after the prefix, then the pieces, each opening with its own.
    size_t start = strlen(command) + 1;
    Autoit3Params result = writePieces(command + start, VEK_TEXT_SIZE - start, argc, argTable);
    if (result == AUTOIT3_PARAMS_WRITTEN) command[start - 1] = ' ';
    return result;
}
