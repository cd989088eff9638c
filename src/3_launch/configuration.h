// configuration: the launcher's INI configuration. Loads the file once with
// inih and hands out the values the launcher reads. Owns the record that
// config points to, which lives until the process ends.
#pragma once

struct Configuration {
    char *pathconnettore;    // connector folder; shared empty text or heap copy
    bool debug_to_console;   // console echo
    int log_max_size;        // rotation threshold of the launcher's log in bytes; 0: no rotation
    int log_max_files;       // files its rotation keeps, the live one included; 0: no rotation
};

// Upper bounds of the two rotation values; a larger number counts as the bound.
enum {
    CONF_LOG_MAX_SIZE_BOUND = 2147483647,   // the log writer's limits are 32-bit
    CONF_LOG_MAX_FILES_BOUND = 100
};

// The configuration in force; null before a load and after a failed one.
extern Configuration *config;

// Loads the INI file at path (Windows form). True when the file was read.
bool conf_load(const char *path);

// Installs a new record holding the defaults. False when it cannot be had.
bool conf_load_empty(void);

// The configuration in force, or the defaults with a warning line on standard
// output when nothing is loaded. Never null.
const Configuration *conf_get(void);
