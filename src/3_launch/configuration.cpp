// configuration: loads the launcher's INI file through inih and keeps the
// values it reads in the record that config points to.
#include "configuration.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <ini.h>

#include "vekstringlib.h"
#include "windows_helper.h"

Configuration *config = NULL;

// The shared empty connector path; never released and never written.
static char conf_emptyText[] = "";

static const char *const CONF_NULL_MESSAGE =
    "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la "
    "configurazione correttamente.\n";

// Releases a record and its connector path unless that is the shared empty text.
static void conf_release(Configuration *configuration)
{
    if (configuration == NULL) return;
    if (configuration->pathconnettore != conf_emptyText) free(configuration->pathconnettore);
    free(configuration);
}

// A new heap copy of text, or null when memory runs out.
static char *conf_copyText(const char *text)
{
    size_t length = strlen(text);
    char *copy = (char *)malloc(length + 1);
    if (copy == NULL) return NULL;
    memcpy(copy, text, length + 1);
    return copy;
}

// The value of a rotation key: decimal digits only, taken up to bound; empty,
// non-numeric, signed or zero gives 0, which means no rotation.
static int parseLimit(const char *value, int bound)
{
    if (value == NULL || value[0] == '\0') return 0;
    long long number = 0;
    for (const char *c = value; *c != '\0'; c++) {
        if (*c < '0' || *c > '9') return 0;
        // Digits past the bound only keep it there: the number never overflows.
        if (number < bound) number = number * 10 + (*c - '0');
    }
    return number > bound ? bound : (int)number;
}

// 1 when the entry is one of the keys and was stored, 0 otherwise (inih then
// counts the line as an error, which the load ignores).
static int _conf_handler(void *user, const char *section, const char *key, const char *value)
{
    Configuration *configuration = (Configuration *)user;
    if (strcmp(section, "frascombe_a3x") == 0 && strcmp(key, "$debug_to_console") == 0) {
        configuration->debug_to_console = strcmp(value, "1") == 0;
        return 1;
    }
    if (strcmp(section, "frascombe_a3x") == 0 && strcmp(key, "$log_max_size") == 0) {
        configuration->log_max_size = parseLimit(value, CONF_LOG_MAX_SIZE_BOUND);
        return 1;
    }
    if (strcmp(section, "frascombe_a3x") == 0 && strcmp(key, "$log_max_files") == 0) {
        configuration->log_max_files = parseLimit(value, CONF_LOG_MAX_FILES_BOUND);
        return 1;
    }
    if (strcmp(section, "main") == 0 && strcmp(key, "$pathconnettore") == 0) {
        // The last occurrence wins; the copy it replaces is released.
        if (configuration->pathconnettore != conf_emptyText) free(configuration->pathconnettore);
        configuration->pathconnettore = conf_copyText(value);
        return 1;
    }
    return 0;
}

// The stream inih reads the INI file from, and whether it has ended.
struct IniStream {
    FILE *file;
    bool ended;
};

// The Ctrl-Z byte, with which the Windows runtime's text mode ends a file.
static const int CONF_END_OF_FILE_BYTE = 0x1A;

// The next line of the INI stream into line (at most size - 1 bytes, its line
// feed kept), as fgets reads it; null at the end. A Ctrl-Z ends the file, as
// the Windows runtime reads it in text mode, so that an INI gives the same
// values on every platform.
static char *readIniLine(char *line, int size, void *user)
{
    IniStream *stream = (IniStream *)user;
    int n = 0;
    while (!stream->ended && n < size - 1) {
        int c = getc(stream->file);
        if (c == EOF || c == CONF_END_OF_FILE_BYTE) {
            stream->ended = true;
            break;
        }
        line[n++] = (char)c;
        if (c == '\n') break;
    }
    if (n == 0) return NULL;
    line[n] = '\0';
    return line;
}

bool conf_load_empty(void)
{
    // A record installed by an earlier load is released rather than orphaned.
    conf_release(config);
    config = (Configuration *)malloc(sizeof(Configuration));
    if (config == NULL) return false;
    config->pathconnettore = conf_emptyText;
    config->debug_to_console = false;
    config->log_max_size = 0;
    config->log_max_files = 0;
    return true;
}

bool conf_load(const char *path)
{
    if (!conf_load_empty()) return false;
    int result = -1;
    // A folder is no file, although some runtimes open one for reading. The
    // file is opened in text mode, as inih's own ini_parse opens it.
    FILE *file = (path != NULL && !win_pathIsDirectory(path)) ? win_fopen(path, "r") : NULL;
    if (file != NULL) {
        IniStream stream = {file, false};
        result = ini_parse_stream(readIniLine, &stream, _conf_handler, config);
        fclose(file);
    }
    if (result < 0) {
        conf_release(config);
        config = NULL;
        return false;
    }
    return true;
}

const Configuration *conf_get(void)
{
    static const Configuration default_configuration = {conf_emptyText, false, 0, 0};
    if (config != NULL) return config;
    fputs(CONF_NULL_MESSAGE, stdout);
    fflush(stdout);
    return &default_configuration;
}
