// configuration: the launcher's INI configuration. Loads the file once with
// inih and hands out the two values the launcher reads. Owns the record that
// config points to, which lives until the process ends.
#pragma once

struct Configuration {
    char *pathconnettore;    // connector folder; shared empty text or heap copy
    bool debug_to_console;   // console echo
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
