// log: the log contexts, the record writer with its console echo, the
// "log.txt" fallback and the size-based rotation of the log file.
//
// Each record is appended with one append-only open, one write of the whole
// record and one close, so that several processes can log to one file at once
// without losing or mixing lines.
#include "log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "windows_helper.h"

LogContext *globalLogContext = NULL;

enum {
    LOG_OPEN_ATTEMPTS = 5,        // tries to open a file another process holds
    LOG_RETRY_PAUSE_MS = 1000,    // pause after each of those tries
    LOG_LOCK_WAIT_MS = 5000,      // longest wait for the append lock
    LOG_FALLBACK_MAX_FILES = 5,
    LOG_FALLBACK_MAX_SIZE = 1048576,
    LOG_RECORD_SIZE = VEK_TEXT_SIZE + 512   // a record that needs no heap
};

static const char *const LOG_VERSION_FIELD = "1.1.1.7";
static const char *const LOG_FALLBACK_PATH = "log.txt";

static const char *const MSG_NO_MEMORY = "Impossibile allocare la memoria per LogContext.\n";
static const char *const MSG_BAD_PATH = "Percorso del file di log non valido.\n";
static const char *const MSG_TRAILING_SEPARATOR =
    "Il percorso del file di log non pu\xF2 terminare con un carattere di separazione di "
    "cartelle.\n";
static const char *const MSG_IS_DIRECTORY =
    "Il percorso del file di log punta gi\xE0" " ad una directory esistente.\n";
static const char *const MSG_NO_FOLDER =
    "Impossibile creare la struttura delle directory per il file di log.\n";
static const char *const MSG_NO_CONTEXT = "Impossibile inizializzare il contesto di log.\n";
static const char *const MSG_NO_OPEN = "Impossibile aprire il file di log.\n";
static const char *const MSG_NO_WRITE = "Impossibile scrivere il file di log.\n";

// Set once a record has used up its waits for the log file (the open retries
// or the wait for the append lock); cleared by the next record that gets both
// at once. While it is set, each record tries once without pausing, so a log
// that another program holds costs a launch one wait, not one per record.
static bool waitsUsedUp = false;

// Writes a message to standard error as it is.
static void log_message(const char *message)
{
    fputs(message, stderr);
    fflush(stderr);
}

// Writes text and a line feed to stream and flushes it, so that the order of
// lines across standard output and standard error is kept.
static void log_echo(FILE *stream, const char *text)
{
    fputs(text, stream);
    fputc('\n', stream);
    fflush(stream);
}

// The refusal message for a log path, or null when the path is usable; makes
// sure the folder before the path's last backslash exists.
static const char *log_checkPath(const char *path)
{
    // A path that does not fit would name another file once cut.
    if (stringIsNullOrEmpty(path) || strlen(path) >= VEK_PATH_SIZE) return MSG_BAD_PATH;
    char last = path[strlen(path) - 1];
    if (last == '\\' || last == '/') return MSG_TRAILING_SEPARATOR;
    if (win_pathIsDirectory(path)) return MSG_IS_DIRECTORY;

    char folder[VEK_PATH_SIZE];
    str_assign(folder, path, sizeof folder);
    char *separator = strrchr(folder, '\\');
    if (separator != NULL) {
        *separator = '\0';
        // A path whose only backslash comes first leaves no folder to create.
        if (folder[0] == '\0' || !win_checkAndCreatePath(folder)) return MSG_NO_FOLDER;
    }
    return NULL;
}

LogContext *log_createContext(const char *path, const char *appName, const char *version,
                              int maxFiles, int maxFileSize, bool echoToConsole)
{
    LogContext *context = (LogContext *)malloc(sizeof(LogContext));
    if (context == NULL) {
        log_message(MSG_NO_MEMORY);
        return NULL;
    }
    context->maxFiles = maxFiles;
    context->maxFileSize = maxFileSize;
    context->echoToConsole = false;
    context->initialized = false;

    const char *refusal = log_checkPath(path);
    if (refusal != NULL) {
        log_message(refusal);
        free(context);
        return NULL;
    }
    str_assign(context->filePath, path, sizeof context->filePath);
    str_assign(context->appName, appName, sizeof context->appName);
    str_assign(context->appVersion, version, sizeof context->appVersion);
    context->echoToConsole = echoToConsole;
    context->initialized = true;
    return context;
}

void log_setGlobalContext(const char *path, const char *appName, const char *version,
                          int maxFiles, int maxFileSize, bool echoToConsole)
{
    globalLogContext = log_createContext(path, appName, version, maxFiles, maxFileSize,
                                         echoToConsole);
}

void log_destroyContext(LogContext *context)
{
    free(context);
}

// The file opened for appending, or null; retries while another process holds
// the file (EACCES or EAGAIN), pausing after each failed try, unless an
// earlier record has used up its waits: then it tries once.
static win_file *_openLogFile(const char *path)
{
    for (int attempt = 0; attempt < LOG_OPEN_ATTEMPTS; attempt++) {
        win_file *file = win_openAppend(path);
        if (file != NULL) return file;
        if (errno != EACCES && errno != EAGAIN) return NULL;
        if (waitsUsedUp) return NULL;
        win_sleep(LOG_RETRY_PAUSE_MS);
    }
    waitsUsedUp = true;
    return NULL;
}

// The size of the file in bytes, or -1 when it cannot be measured.
static long log_fileSize(const char *path)
{
    FILE *file = win_fopen(path, "rb");
    if (file == NULL) return -1;
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    fclose(file);
    return size;
}

// Renames from to to. Only the move into the last place replaces a file
// already there (dropping the oldest); every other move leaves such a file in
// place, in one step, so that two processes rotating at once never put two
// files into one place.
static void log_move(const char *from, const char *to, bool intoLastPlace)
{
    if (intoLastPlace) {
        win_renameReplace(from, to);
    } else {
        win_renameNoReplace(from, to);
    }
}

// True when the numbered name of the log file (path.number) fits in name.
static bool log_numberedName(char *name, const char *path, int number)
{
    int length = str_format(name, VEK_PATH_SIZE, "%s.%d", path, number);
    return length > 0 && length < VEK_PATH_SIZE;
}

// Moves the numbered files up one place and the live file to path.1 when the
// live file has grown past the context's limit. The move into the last place
// drops the oldest file; every other move leaves a file that is already in
// place alone. A failed move is left for the next write to retry.
static void log_rotate(const LogContext *context)
{
    if (context->maxFiles <= 0 || context->maxFileSize <= 0) return;
    long size = log_fileSize(context->filePath);
    if (size < 0 || size <= context->maxFileSize) return;

    char from[VEK_PATH_SIZE];
    char to[VEK_PATH_SIZE];
    int last = context->maxFiles - 1;
    for (int n = last; n >= 2; n--) {
        if (!log_numberedName(from, context->filePath, n - 1) ||
            !log_numberedName(to, context->filePath, n)) {
            return;
        }
        log_move(from, to, n == last);
    }
    if (log_numberedName(to, context->filePath, 1)) log_move(context->filePath, to, last <= 1);
}

// Appends one record to the context's file and rotates it when needed.
static void log_append(const LogContext *context, unsigned int level, const char *text)
{
    char stamp[32] = "";
    time_t now = time(NULL);
    const struct tm *local = localtime(&now);
    if (local == NULL || strftime(stamp, sizeof stamp, "%d/%m/%Y %H:%M:%S", local) == 0) {
        stamp[0] = '\0';
    }
    char process[10];
    str_format(process, sizeof process, "{%05lu}", win_getProcessId());
    const char *label = level == LOG_LEVEL_ERROR ? "ERROR" : level == LOG_LEVEL_INFO ? "INFO" : "";

    // The whole record, its line end included, goes out in one write. A text
    // too long for the fixed buffer gets a heap buffer; should that fail, the
    // record is cut but still ends its line.
    char fixedRecord[LOG_RECORD_SIZE];
    char *record = fixedRecord;
    int length = str_format(fixedRecord, sizeof fixedRecord, "%s %s %s %s [%s] %s\n", stamp,
                            context->appName, LOG_VERSION_FIELD, process, label, text);
    if (length < 0) return;
    if ((size_t)length >= sizeof fixedRecord) {
        char *heapRecord = (char *)malloc((size_t)length + 1);
        if (heapRecord != NULL) {
            record = heapRecord;
            str_format(record, (size_t)length + 1, "%s %s %s %s [%s] %s\n", stamp,
                       context->appName, LOG_VERSION_FIELD, process, label, text);
        } else {
            length = (int)sizeof fixedRecord - 1;
            fixedRecord[length - 1] = '\n';
        }
    }

    win_file *file = _openLogFile(context->filePath);
    if (file == NULL) {
        log_message(MSG_NO_OPEN);
    } else {
        // A lock that another program keeps past the wait does not cost the
        // record: it is written unguarded, which risks mixing it with one of
        // our own records only while that program holds the lock. (On Windows
        // such a lock mostly covers the end of the file as well, and the
        // write is refused: the record is lost with its message.) A lock the
        // file system cannot give is no wait.
        bool locked = win_lockAppend(file, waitsUsedUp ? 0 : LOG_LOCK_WAIT_MS);
        waitsUsedUp = !locked && errno == EACCES;
        bool written = win_appendRecord(file, record, (size_t)length);
        win_closeFile(file);
        if (written) {
            log_rotate(context);
        } else {
            log_message(MSG_NO_WRITE);
        }
    }
    if (record != fixedRecord) free(record);
}

void log_write(LogContext *context, unsigned int level, const char *text)
{
    if (text == NULL) text = "";
    // Errors reach the console first, whatever happens to the file.
    if (level <= 2) log_echo(stderr, text);

    LogContext *used = context != NULL ? context : globalLogContext;
    LogContext *fallback = NULL;
    if (used == NULL || !used->initialized) {
        fallback = log_createContext(LOG_FALLBACK_PATH, "?", "?", LOG_FALLBACK_MAX_FILES,
                                     LOG_FALLBACK_MAX_SIZE, true);
        if (fallback == NULL) {
            log_message(MSG_NO_CONTEXT);
            return;
        }
        used = fallback;
    }
    if (level > 2 && used->echoToConsole) log_echo(stdout, text);
    log_append(used, level, text);
    log_destroyContext(fallback);
}
