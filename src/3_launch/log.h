// log: the launcher's log. Owns the global log context and appends one
// time-stamped record per call to the context's file, echoes records to the
// console, falls back to "log.txt" when no context is usable, and rotates the
// file by size when the context asks for it.
#pragma once

#include "vekstringlib.h"

enum {
    LOG_LEVEL_ERROR = 1,
    LOG_LEVEL_INFO = 3
};

struct LogContext {
    char filePath[VEK_PATH_SIZE];
    char appName[VEK_PATH_SIZE];
    char appVersion[VEK_ENVIRONMENT_SIZE];
    int maxFiles;          // rotation keeps this many files; 0 or less: off
    int maxFileSize;       // rotation threshold in bytes; 0 or less: off
    bool echoToConsole;    // echo levels above 2 to standard output
    bool initialized;      // true only in a completed context
};

// The process-wide context, or null.
extern LogContext *globalLogContext;

// A new context owned by the caller, or null after a message on standard error.
LogContext *log_createContext(const char *path, const char *appName, const char *version,
                              int maxFiles, int maxFileSize, bool echoToConsole);

// Installs a new context (or null when it cannot be made) as the global one.
void log_setGlobalContext(const char *path, const char *appName, const char *version,
                          int maxFiles, int maxFileSize, bool echoToConsole);

// Releases a context; ignores null.
void log_destroyContext(LogContext *context);

// Appends one record with level and text to the context's file (null: the
// global context), with console echo and rotation.
void log_write(LogContext *context, unsigned int level, const char *text);

// Writes the records that a held log kept back, waiting for the log at most
// five seconds in all, and releases them; the messages of the records still
// lost go to standard error. Registered with atexit by the first record kept
// back, so that every way out of the run writes them.
void log_writeHeld(void);
