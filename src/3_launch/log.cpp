// log: the log contexts, the record writer with its console echo, the
// "log.txt" fallback and the size-based rotation of the log file.
//
// Each record is appended with one append-only open, one write of the whole
// record and one close, so that several processes can log to one file at once
// without losing or mixing lines. A record that finds the file held is kept
// in memory and written before the next one that gets through, or at the end
// of the run.
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
    LOG_RECORD_SIZE = VEK_TEXT_SIZE + 512,  // a record that needs no heap
    LOG_HELD_MOST_RECORDS = 1000,  // records kept back for a held log, at most...
    LOG_HELD_MOST_BYTES = 1048576, // ...and their bytes at most (a launch writes a few KiB)
    LOG_END_WAIT_MS = 5000,        // the last wait for a held log, at the end of the run...
    LOG_END_PAUSE_MS = 250         // ...trying again after each such pause
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
static const char *const MSG_NO_MOVE = "Impossibile spostare il file di log in %s.\n";

// Set once a record has used up its waits for the log file (the open retries
// or the wait for the append lock); cleared by the next record that gets both
// at once. While it is set, each record tries once without pausing, so a log
// that another program holds costs a launch one wait, not one per record.
static bool waitsUsedUp = false;

// A record that could not be written yet, with the file and limits it is for.
struct HeldRecord {
    HeldRecord *next;
    char path[VEK_PATH_SIZE];
    int maxFiles;
    int maxFileSize;
    size_t length;
    char text[1];   // length bytes follow
};

// The records held back, oldest first, with their number and bytes.
static HeldRecord *heldFirst = NULL;
static HeldRecord *heldLast = NULL;
static int heldCount = 0;
static size_t heldBytes = 0;
static bool heldAtExit = false;   // log_writeHeld is registered with atexit

// Writes a message to standard error as it is, after what standard output
// holds, so that the order of the lines across both streams is kept.
static void log_message(const char *message)
{
    fflush(stdout);
    fputs(message, stderr);
    fflush(stderr);
}

// Writes text and a line feed to stream and flushes it, so that the order of
// lines across standard output and standard error is kept.
static void log_echo(FILE *stream, const char *text)
{
    if (stream == stderr) fflush(stdout);
    fputs(text, stream);
    fputc('\n', stream);
    fflush(stream);
}

// True unless the path's last component holds a character that no Windows
// file name can hold ("*:<>?| or a control character); a drive prefix of a
// path without separators ("C:log.txt") is not part of the name.
static bool log_nameCanBeAFile(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p != '\0'; p++) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    if (name == path && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':') name += 2;
    for (const char *p = name; *p != '\0'; p++) {
        if ((unsigned char)*p < 32 || strchr("\"*:<>?|", *p) != NULL) return false;
    }
    return true;
}

// The refusal message for a log path, or null when the path is usable; makes
// sure the folder before the path's last backslash exists.
static const char *log_checkPath(const char *path)
{
    // A path that does not fit would name another file once cut.
    if (stringIsNullOrEmpty(path) || strlen(path) >= VEK_PATH_SIZE || !log_nameCanBeAFile(path)) {
        return MSG_BAD_PATH;
    }
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
    errno = EACCES;
    return NULL;
}

// True when the numbered name of the log file (path.number) fits in name.
static bool log_numberedName(char *name, const char *path, int number)
{
    int length = str_format(name, VEK_PATH_SIZE, "%s.%d", path, number);
    return length > 0 && length < VEK_PATH_SIZE;
}

// Says on standard error that the live file cannot move to its numbered name.
static void log_cannotMove(const char *path, int number)
{
    char text[2 * VEK_PATH_SIZE + 64];
    char name[VEK_PATH_SIZE + 16];
    str_format(name, sizeof name, "%s.%d", path, number);
    str_format(text, sizeof text, MSG_NO_MOVE, name);
    log_message(text);
}

// Moves the numbered files up one place and the live file to path.1, as
// replacing renames do: only files that exist are moved, a place that holds
// a folder (or a file that cannot be replaced) is skipped, and the file that
// could not move up is replaced by the next move, as the oldest file is by the
// move into the last place. Should the live file itself not move, a message
// says so.
static void log_shift(const char *path, int maxFiles)
{
    int last = maxFiles - 1;
    int count = last >= 2 ? last + 1 : 2;
    char from[VEK_PATH_SIZE];
    char to[VEK_PATH_SIZE];
    win_place *places = (win_place *)malloc((size_t)count * sizeof *places);
    if (places == NULL || !log_numberedName(to, path, count - 1)) {
        free(places);
        log_cannotMove(path, 1);
        return;
    }
    win_numberedPlaces(path, count, places);
    for (int n = last; n >= 2; n--) {
        if (places[n - 1] != WIN_PLACE_FILE || places[n] == WIN_PLACE_OTHER) continue;
        log_numberedName(from, path, n - 1);
        log_numberedName(to, path, n);
        bool moved = places[n] == WIN_PLACE_FREE ? win_renameToFree(from, to) : win_renameReplace(from, to);
        if (moved) {
            places[n] = WIN_PLACE_FILE;
            places[n - 1] = WIN_PLACE_FREE;
        }
    }
    log_numberedName(to, path, 1);
    bool moved = places[1] != WIN_PLACE_OTHER &&
                 (places[1] == WIN_PLACE_FREE ? win_renameToFree(path, to) : win_renameReplace(path, to));
    free(places);
    if (!moved) log_cannotMove(path, 1);
}

// Rotates the file just appended to when it has grown past the limits. One
// process at a time decides, under the rotation lock: the file must still be
// the one at the path and still too large, so that a file that another
// process has just moved on is not moved on again; the others append to the
// new live file. A rotation lock that another process keeps past the wait
// leaves the decision to it.
static void log_rotate(const char *path, int maxFiles, int maxFileSize, win_file *file)
{
    if (maxFiles <= 0 || maxFileSize <= 0) return;
    long long size = 0;
    if (!win_fileSize(file, &size) || size <= maxFileSize) return;
    bool locked = win_lockRotation(file, waitsUsedUp ? 0 : LOG_LOCK_WAIT_MS);
    if (!locked && errno == EACCES) return;
    if (win_isFileAtPath(file, path) && win_fileSize(file, &size) && size > maxFileSize) {
        log_shift(path, maxFiles);
    }
    if (locked) win_unlockRotation(file);
}

// Keeps a record that could not be written, in order, while the bound allows;
// beyond it the record is lost.
static void log_hold(const char *path, int maxFiles, int maxFileSize, const char *record, size_t length)
{
    if (heldCount >= LOG_HELD_MOST_RECORDS || heldBytes + length > LOG_HELD_MOST_BYTES) return;
    HeldRecord *held = (HeldRecord *)malloc(sizeof(HeldRecord) + length);
    if (held == NULL) return;
    held->next = NULL;
    str_assign(held->path, path, sizeof held->path);
    held->maxFiles = maxFiles;
    held->maxFileSize = maxFileSize;
    held->length = length;
    memcpy(held->text, record, length);
    if (heldLast != NULL) {
        heldLast->next = held;
    } else {
        heldFirst = held;
    }
    heldLast = held;
    heldCount++;
    heldBytes += length;
    // The end of the run writes what is still held.
    if (!heldAtExit) heldAtExit = atexit(log_writeHeld) == 0;
}

// Releases the held records of path.
static void log_dropHeld(const char *path)
{
    HeldRecord **link = &heldFirst;
    heldLast = NULL;
    while (*link != NULL) {
        HeldRecord *held = *link;
        if (strcmp(held->path, path) != 0) {
            heldLast = held;
            link = &held->next;
            continue;
        }
        *link = held->next;
        heldCount--;
        heldBytes -= held->length;
        free(held);
    }
}

// The held records of path followed by record, as one new heap string of
// *total bytes; null when none is held for path or memory runs out.
static char *log_batch(const char *path, const char *record, size_t length, size_t *total)
{
    size_t size = length;
    for (const HeldRecord *held = heldFirst; held != NULL; held = held->next) {
        if (strcmp(held->path, path) == 0) size += held->length;
    }
    if (size == length) return NULL;
    char *batch = (char *)malloc(size);
    if (batch == NULL) return NULL;
    size_t at = 0;
    for (const HeldRecord *held = heldFirst; held != NULL; held = held->next) {
        if (strcmp(held->path, path) != 0) continue;
        memcpy(batch + at, held->text, held->length);
        at += held->length;
    }
    if (length > 0) memcpy(batch + at, record, length);
    *total = size;
    return batch;
}

// Writes the records held for path and then record (length 0: none) to the
// open file, in one write, and rotates it when needed; true when written.
static bool log_writeOpen(win_file *file, const char *path, int maxFiles, int maxFileSize, const char *record,
                          size_t length)
{
    size_t total = 0;
    char *batch = log_batch(path, record, length, &total);
    bool written = false;
    if (batch != NULL) {
        written = win_appendRecord(file, batch, total);
        if (written) log_dropHeld(path);
        free(batch);
    } else if (length > 0) {
        written = win_appendRecord(file, record, length);
    }
    if (written) log_rotate(path, maxFiles, maxFileSize, file);
    return written;
}

void log_writeHeld(void)
{
    unsigned long waited = 0;
    while (heldFirst != NULL) {
        char path[VEK_PATH_SIZE];
        str_assign(path, heldFirst->path, sizeof path);
        win_file *file = win_openAppend(path);
        while (file == NULL && (errno == EACCES || errno == EAGAIN) && waited < LOG_END_WAIT_MS) {
            win_sleep(LOG_END_PAUSE_MS);
            waited += LOG_END_PAUSE_MS;
            file = win_openAppend(path);
        }
        if (file == NULL) {
            log_message(MSG_NO_OPEN);
        } else {
            if (!win_lockAppend(file, LOG_END_WAIT_MS - waited) && errno == EACCES) waited = LOG_END_WAIT_MS;
            if (!log_writeOpen(file, path, heldFirst->maxFiles, heldFirst->maxFileSize, NULL, 0)) {
                log_message(MSG_NO_WRITE);
            }
            win_closeFile(file);
        }
        log_dropHeld(path);
    }
}

// Appends one record to the context's file (the records held for it first)
// and rotates it when needed; a record that finds the file held is kept back.
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

    const char *path = context->filePath;
    win_file *file = _openLogFile(path);
    if (file == NULL) {
        bool held = errno == EACCES || errno == EAGAIN;
        log_message(MSG_NO_OPEN);
        if (held) log_hold(path, context->maxFiles, context->maxFileSize, record, (size_t)length);
    } else {
        // A lock that another program keeps past the wait does not cost the
        // record: it is written unguarded, which risks mixing it with one of
        // our own records only while that program holds the lock. (On Windows
        // such a lock mostly covers the end of the file as well, and the
        // write is refused: the record is kept back.) A lock the file system
        // cannot give is no wait.
        bool locked = win_lockAppend(file, waitsUsedUp ? 0 : LOG_LOCK_WAIT_MS);
        waitsUsedUp = !locked && errno == EACCES;
        if (!log_writeOpen(file, path, context->maxFiles, context->maxFileSize, record, (size_t)length)) {
            log_message(MSG_NO_WRITE);
            log_hold(path, context->maxFiles, context->maxFileSize, record, (size_t)length);
        }
        win_closeFile(file);
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
