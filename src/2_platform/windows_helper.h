// windows_helper: the launcher's only door to the operating system.
//
// Every question the launcher asks of the system (its own path, the raw
// command line, paths, folders, files, names, processes, pauses) goes through
// a win_ function declared here. Two backends implement the same functions,
// cut by job into the same four files: paths, identity, process and files.
// win32/ makes the real Win32 calls; posix/ gives a Linux process the answers
// a Windows process would get. Paths are Windows-form 8-bit strings on both.
//
// Heap strings returned here belong to the caller (release with free); the
// computer and user names live in static buffers owned by this module.
#pragma once

#include <cstddef>
#include <cstdio>

// Sets up the process as a Windows process finds itself: called once, first
// thing in the launch. On POSIX a write to a closed pipe then fails instead of
// ending the process, and a child can be waited for even when SIGCHLD was
// inherited as ignored; a child started later gets the dispositions this
// process received. Nothing to do on Windows.
void win_initProcess(void);

// --- Identity, paths and folders -------------------------------------------

// Fills the executable path, its folder (no trailing backslash, except for a
// drive root) and its base name (file name without its last extension); each
// buffer holds VEK_PATH_SIZE characters. errorText (VEK_TEXT_SIZE) is emptied
// on entry and holds a message when the path cannot be had.
void win_getExeInfo(char *exePath, char *exeFolder, char *exeBaseName, char *errorText);

// True when the path exists, as a file or as a folder.
bool win_fileExists(const char *path);

// True when the path names an existing folder.
bool win_pathIsDirectory(const char *path);

// The user's roaming application-data folder without a trailing backslash, a
// new heap string in the ANSI code page; null when it cannot be had.
char *win_getAppDataPath(void);

// True when the folder exists afterwards; creates one level only.
bool win_checkAndCreatePath(const char *path);

// Joins a folder and a file part by the Windows path-combining rules into a
// new heap string; null when the result would not fit in VEK_PATH_SIZE.
char *win_concatPaths(const char *dir, const char *file);

// The same join into a caller's buffer of VEK_PATH_SIZE characters; false (and
// dest empty) when it cannot be formed.
bool win_combinePath(char *dest, const char *dir, const char *file);

// The computer name (at most 15 characters) or null; a static buffer.
const char *win_getComputerName(void);

// The user name (at most 256 characters) or null; a static buffer.
const char *win_getCurrentUserName(void);

// --- Processes ---------------------------------------------------------------

// The raw command line of this process. Owned by the module.
const char *win_getCommandLine(void);

// Starts the command line in folder; when wait is true waits for the child
// and returns its exit code, otherwise returns 0 once it has started. A child
// that cannot be started gives 1 and a message in errorText (VEK_TEXT_SIZE),
// which is emptied on entry. The launcher's standard streams are flushed
// before the child starts.
int win_executeCommand(char *command, const char *folder, bool wait, char *errorText);

// The id of this process.
unsigned long win_getProcessId(void);

// Pauses the calling thread for the given milliseconds.
void win_sleep(unsigned long milliseconds);

// --- Files ---------------------------------------------------------------------

// Opens a file by path with the runtime's fopen modes; null with errno set.
// Only a regular file is opened: a folder, FIFO or device is refused and
// never waited on.
FILE *win_fopen(const char *path, const char *mode);

// A file opened for appending records; every write lands whole at its end,
// also when other processes append to the same file at the same time.
struct win_file;

// Opens (creating it when missing) path for appending, shared with other
// readers and writers, wherever the runtime's fopen(path, "a") could open it
// (also beside a holder that shares writing only). null on failure with errno
// set: EACCES when another process holds the file, ENOENT when its folder is
// missing.
win_file *win_openAppend(const char *path);

// Takes the append lock of a file opened with win_openAppend, trying again
// for at most waitMs milliseconds while another holder has it (0: one try).
// Our own appenders hold it while they write, so that their records never mix
// where an append is not one step by itself (Wine). True when it is held,
// always on POSIX, where every O_APPEND write is one step; win_appendRecord
// releases it. False with errno set: EACCES when another holder kept it for
// the whole wait. Without it a record is still appended, only unguarded.
bool win_lockAppend(win_file *file, unsigned long waitMs);

// Takes the rotation lock of a file opened with win_openAppend, trying again
// for at most waitMs milliseconds while another of our processes has it, so
// that one process at a time decides whether the file moves on; released by
// win_unlockRotation or with the file. False with errno set: EACCES when it
// stayed taken, EINVAL when the file system or the handle cannot give it.
bool win_lockRotation(win_file *file, unsigned long waitMs);
void win_unlockRotation(win_file *file);

// The size in bytes of an open file, 64-bit on every platform; false when it
// cannot be had.
bool win_fileSize(win_file *file, long long *size);

// True when path names the very file that is open (not another file that has
// taken its name since it was opened).
bool win_isFileAtPath(win_file *file, const char *path);

// What lies under each numbered name path.1 to path.(count - 1), by the
// letter-case rules of Windows names, into places[1] to places[count - 1].
enum win_place { WIN_PLACE_FREE, WIN_PLACE_FILE, WIN_PLACE_OTHER };
void win_numberedPlaces(const char *path, int count, win_place *places);

// Appends len bytes in one write and releases the append lock when it is
// held; each "\n" becomes the platform's line end (CRLF on Windows, LF
// elsewhere). True when every byte was written.
bool win_appendRecord(win_file *file, const char *text, size_t len);

// Closes a file opened with win_openAppend; ignores null.
void win_closeFile(win_file *file);

// Renames from to to, replacing a file already present under to, in one step.
bool win_renameReplace(const char *from, const char *to);

// win_renameReplace for a target known to be free: its name is taken as
// given, without looking for one that differs only in letter case.
bool win_renameToFree(const char *from, const char *to);

// Copies src to dst, replacing dst: the copy goes to "<dst>.<process id>.tmp"
// beside dst and is moved over it, so a reader never sees half a file. Where
// no file can be created in dst's folder, dst is written in place. Fails,
// before anything is written, when src and dst are one file; fails and leaves
// dst as it was when dst is in use. Temporaries of killed copies beside dst are
// removed first, never one whose process still runs. On failure *errorCode
// holds the system's error number and no temporary is left.
bool win_copyFile(const char *src, const char *dst, unsigned long *errorCode);

// The system's own text for an error number, a new string released with
// win_freeSystemMessage; null when the system has none.
char *win_getSystemMessage(unsigned long errorCode);
void win_freeSystemMessage(char *message);
