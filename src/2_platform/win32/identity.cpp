// windows_helper, Win32 backend, identity: the launcher's own path without
// best-fit characters, its roaming application-data folder (the shell loaded
// from the system folder only when asked), and the computer and user names.
#include "windows_helper.h"
#include "windows_helper_messages.h"

#include "vekstringlib.h"

#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

enum {
    WIN_COMPUTER_NAME_SIZE = 16,   // MAX_COMPUTERNAME_LENGTH + 1
    WIN_USER_NAME_SIZE = 257       // UNLEN + 1
};

static char computerName[WIN_COMPUTER_NAME_SIZE];

static char userName[WIN_USER_NAME_SIZE];

// The known folder of the user's roaming application data.
static const GUID folderRoamingAppData = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};

// The shell's known-folder lookup and the COM allocator's release.
typedef HRESULT(WINAPI *KnownFolderFn)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR *);

typedef void(WINAPI *TaskMemFreeFn)(LPVOID);

// The ANSI form of a wide path, which the ...A path functions take, as a new
// heap string; null when memory runs out or when the path holds a character
// the code page cannot represent (it would name a folder nobody can find).
static char *ansiPath(const WCHAR *wide)
{
    // The UTF-8 code page takes neither flags nor a used-default pointer:
    // every character has its bytes there, so only an unpaired surrogate,
    // refused by WC_ERR_INVALID_CHARS, is a path that cannot be represented.
    UINT codePage = GetACP();
    bool utf8 = codePage == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL *usedDefault = utf8 ? NULL : &lossy;
    int size = WideCharToMultiByte(codePage, flags, wide, -1, NULL, 0, NULL, usedDefault);
    char *path = (size > 0 && !lossy) ? (char *)malloc((size_t)size) : NULL;
    if (path != NULL &&
        (WideCharToMultiByte(codePage, flags, wide, -1, path, size, NULL, usedDefault) == 0 || lossy)) {
        free(path);
        path = NULL;
    }
    return path;
}

void win_getExeInfo(char *exePath, char *exeFolder, char *exeBaseName, char *errorText)
{
    errorText[0] = '\0';
    // The wide path, converted without best-fit characters: the ANSI path of
    // a folder outside the code page would name another folder, with another
    // program and script in it. A result that fills the buffer is a cut path.
    WCHAR wide[VEK_PATH_SIZE];
    DWORD n = GetModuleFileNameW(NULL, wide, VEK_PATH_SIZE);
    char *path = (n > 0 && n < VEK_PATH_SIZE) ? ansiPath(wide) : NULL;
    bool fits = path != NULL && strlen(path) < VEK_PATH_SIZE;
    if (fits) str_assign(exePath, path, VEK_PATH_SIZE);
    free(path);
    if (!fits) {
        str_assign(errorText, WIN_MSG_NO_OWN_PATH, VEK_TEXT_SIZE);
        return;
    }
    str_assign(exeFolder, exePath, VEK_PATH_SIZE);
    PathRemoveFileSpecA(exeFolder);
    str_assign(exeBaseName, exePath, VEK_PATH_SIZE);
    PathStripPathA(exeBaseName);
    PathRemoveExtensionA(exeBaseName);
}

// A system DLL loaded from the system folder only, never from the
// executable's own folder, where anyone who may write there could put a DLL
// of the same name; null when it cannot be loaded. Vista and 7 without the
// update that brought LOAD_LIBRARY_SEARCH_SYSTEM32 refuse the flag as an
// invalid parameter: there the DLL is named by its full path in the system
// folder, and its own imports are looked for beside it first.
static HMODULE loadSystemLibrary(const char *name)
{
    HMODULE module = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != NULL || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char path[VEK_PATH_SIZE];
    UINT n = GetSystemDirectoryA(path, VEK_PATH_SIZE);
    if (n == 0 || n >= VEK_PATH_SIZE) return NULL;
    int wanted = str_format(path + n, VEK_PATH_SIZE - n, "\\%s", name);
    if (wanted < 0 || (size_t)wanted >= VEK_PATH_SIZE - n) return NULL;
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

char *win_getAppDataPath(void)
{
    // shell32 and ole32 are loaded here, when the folder is asked for, not at
    // every start: loading the shell is a large part of a start's cost.
    HMODULE shell = loadSystemLibrary("shell32.dll");
    HMODULE ole = loadSystemLibrary("ole32.dll");
    KnownFolderFn knownFolder =
        shell ? (KnownFolderFn)(void *)GetProcAddress(shell, "SHGetKnownFolderPath") : NULL;
    TaskMemFreeFn taskMemFree = ole ? (TaskMemFreeFn)(void *)GetProcAddress(ole, "CoTaskMemFree") : NULL;
    PWSTR wide = NULL;
    char *path = NULL;
    if (knownFolder != NULL && taskMemFree != NULL) {
        // The folder path is the caller's to release whatever the result.
        if (SUCCEEDED(knownFolder(folderRoamingAppData, 0, NULL, &wide))) path = ansiPath(wide);
        taskMemFree(wide);
    }
    if (ole != NULL) FreeLibrary(ole);
    if (shell != NULL) FreeLibrary(shell);
    if (path == NULL) return NULL;
    size_t len = strlen(path);
    if (len > 0 && path[len - 1] == '\\') path[len - 1] = '\0';
    return path;
}

const char *win_getComputerName(void)
{
    DWORD size = sizeof computerName;
    return GetComputerNameA(computerName, &size) ? computerName : NULL;
}

const char *win_getCurrentUserName(void)
{
    DWORD size = sizeof userName;
    return GetUserNameA(userName, &size) ? userName : NULL;
}
