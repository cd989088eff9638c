// configuration: loads the launcher's INI file through inih and keeps the two
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
static char _conf_emptyText[] = "";

static const char *const CONF_NULL_MESSAGE =
    "Il puntatore alla configurazione \xE8 NULL. Assicurati di aver caricato la "
    "configurazione correttamente.\n";

// Releases a record and its connector path unless that is the shared empty text.
static void _conf_release(Configuration *configuration)
{
    if (configuration == NULL) return;
    if (configuration->pathconnettore != _conf_emptyText) free(configuration->pathconnettore);
    free(configuration);
}

// A new heap copy of text, or null when memory runs out.
static char *_conf_copyText(const char *text)
{
    size_t length = strlen(text);
    char *copy = (char *)malloc(length + 1);
    if (copy == NULL) return NULL;
    memcpy(copy, text, length + 1);
    return copy;
}

// 1 when the entry is one of the two keys and was stored, 0 otherwise (inih
// then counts the line as an error, which the load ignores).
static int _conf_handler(void *user, const char *section, const char *key, const char *value)
{
    Configuration *configuration = (Configuration *)user;
    if (strcmp(section, "frascombe_a3x") == 0 && strcmp(key, "$debug_to_console") == 0) {
        configuration->debug_to_console = strcmp(value, "1") == 0;
        return 1;
    }
    if (strcmp(section, "main") == 0 && strcmp(key, "$pathconnettore") == 0) {
        // The last occurrence wins; the copy it replaces is released.
        if (configuration->pathconnettore != _conf_emptyText) free(configuration->pathconnettore);
        configuration->pathconnettore = _conf_copyText(value);
        return 1;
    }
    return 0;
}

bool conf_load_empty(void)
{
    // A record installed by an earlier load is released rather than orphaned.
    _conf_release(config);
    config = (Configuration *)malloc(sizeof(Configuration));
    if (config == NULL) return false;
    config->pathconnettore = _conf_emptyText;
    config->debug_to_console = false;
    return true;
}

bool conf_load(const char *path)
{
    if (!conf_load_empty()) return false;
    char nativePath[VEK_PATH_SIZE];
    int result = -1;
    // A folder is no file, although some runtimes open one for reading.
    if (path != NULL && !win_pathIsDirectory(path) &&
        win_toNativePath(path, nativePath, sizeof nativePath)) {
        result = ini_parse(nativePath, _conf_handler, config);
    }
    if (result < 0) {
        _conf_release(config);
        config = NULL;
        return false;
    }
    return true;
}

const Configuration *conf_get(void)
{
    static const Configuration default_configuration = {_conf_emptyText, false};
    if (config != NULL) return config;
    fputs(CONF_NULL_MESSAGE, stdout);
    fflush(stdout);
    return &default_configuration;
}
