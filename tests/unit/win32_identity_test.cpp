// The Win32 backend's identity where Wine cannot show what Windows does: own
// paths that Wine would not start, Vista and 7 without the system-folder
// search flag, the UTF-8 system code page, a failed known-folder lookup.
// mingw calls every imported function through its import slot (__imp_ name);
// the linker's --wrap of a slot makes the calls go through a slot of ours
// holding a stand-in, and the __real_ name is the system's own slot. Nothing
// of the launcher changes for the tests.
#ifdef _WIN32
#include "vekstringlib.h"
#include "windows_helper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

extern decltype(&LoadLibraryExA) realLoadLibraryExA __asm__("__real___imp_LoadLibraryExA");
extern decltype(&WideCharToMultiByte) realWideCharToMultiByte __asm__("__real___imp_WideCharToMultiByte");
extern decltype(&GetACP) realGetACP __asm__("__real___imp_GetACP");
extern decltype(&GetProcAddress) realGetProcAddress __asm__("__real___imp_GetProcAddress");
extern decltype(&GetModuleFileNameW) realGetModuleFileNameW __asm__("__real___imp_GetModuleFileNameW");

namespace {

// What the stand-ins do; with every field off, the system answers.
struct Fakes {
    bool oldLoader = false;           // LOAD_LIBRARY_SEARCH_SYSTEM32 is refused, as on Vista and 7
    bool utf8 = false;                // the system code page is UTF-8, with Windows' rules for it
    bool folderFails = false;         // the known-folder lookup fails, handing out a path all the same
    const wchar_t *ownPath = nullptr; // the module path GetModuleFileNameW gives
    std::vector<std::string> loaded;  // every name LoadLibraryExA was given
    std::vector<void *> released;     // every pointer the COM release was given
};
Fakes fakes;

// The path a failed known-folder lookup hands out.
wchar_t handedOut[] = L"C:\\x";

HMODULE WINAPI loadLibraryEx(LPCSTR name, HANDLE file, DWORD flags)
{
    fakes.loaded.push_back(name);
    if (fakes.oldLoader && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    return realLoadLibraryExA(name, file, flags);
}

UINT WINAPI getAcp(void)
{
    return fakes.utf8 ? CP_UTF8 : realGetACP();
}

// The conversion, refusing for UTF-8 what Windows refuses: any flag but
// WC_ERR_INVALID_CHARS, a default character or a used-default pointer.
int WINAPI wideCharToMultiByte(UINT page, DWORD flags, LPCWCH wide, int wideLength, LPSTR out, int size,
                               LPCCH defaultChar, LPBOOL usedDefault)
{
    if (fakes.utf8 && (page == CP_ACP || page == CP_UTF8)) {
        if ((flags & ~(DWORD)WC_ERR_INVALID_CHARS) != 0 || defaultChar != NULL || usedDefault != NULL) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        page = CP_UTF8;
    }
    return realWideCharToMultiByte(page, flags, wide, wideLength, out, size, defaultChar, usedDefault);
}

HRESULT WINAPI failingKnownFolder(REFGUID, DWORD, HANDLE, PWSTR *path)
{
    *path = handedOut;
    return E_FAIL;
}

void WINAPI recordingRelease(LPVOID pointer)
{
    fakes.released.push_back(pointer);
}

FARPROC WINAPI getProcAddress(HMODULE module, LPCSTR name)
{
    const std::string wanted = fakes.folderFails ? name : "";
    if (wanted == "SHGetKnownFolderPath") return (FARPROC)(void *)failingKnownFolder;
    if (wanted == "CoTaskMemFree") return (FARPROC)(void *)recordingRelease;
    return realGetProcAddress(module, name);
}

// The module path as Windows gives it: cut to the buffer, whose size is then
// the result, when it does not fit.
DWORD WINAPI getModuleFileNameW(HMODULE module, LPWSTR out, DWORD size)
{
    if (fakes.ownPath == nullptr) return realGetModuleFileNameW(module, out, size);
    DWORD length = (DWORD)wcslen(fakes.ownPath), copied = length < size ? length : size - 1;
    wmemcpy(out, fakes.ownPath, copied);
    out[copied] = L'\0';
    return length < size ? length : size;
}

// What win_getExeInfo gives for the module path: the path, or "refused" with
// the own-path message.
std::string ownPathOf(const std::wstring &modulePath)
{
    char path[VEK_PATH_SIZE], folder[VEK_PATH_SIZE], base[VEK_PATH_SIZE], error[VEK_TEXT_SIZE];
    fakes.ownPath = modulePath.c_str();
    win_getExeInfo(path, folder, base, error);
    fakes.ownPath = nullptr;
    const std::string refusal = "Errore durante l'ottenimento del percorso dell'eseguibile.";
    if (error[0] == '\0') return path;
    return error == refusal ? "refused" : error;
}

}  // namespace

decltype(&LoadLibraryExA) wrapLoadLibraryExA __asm__("__wrap___imp_LoadLibraryExA") = loadLibraryEx;
decltype(&WideCharToMultiByte) wrapWideCharToMultiByte __asm__("__wrap___imp_WideCharToMultiByte") =
    wideCharToMultiByte;
decltype(&GetACP) wrapGetACP __asm__("__wrap___imp_GetACP") = getAcp;
decltype(&GetProcAddress) wrapGetProcAddress __asm__("__wrap___imp_GetProcAddress") = getProcAddress;
decltype(&GetModuleFileNameW) wrapGetModuleFileNameW __asm__("__wrap___imp_GetModuleFileNameW") =
    getModuleFileNameW;

// The ANSI code page is 1252 (Wine's default for these tests): a character
// outside it refuses the path, instead of a best-fit one naming a sibling
// folder; the path's length is bounded by the 260-character buffer. With the
// UTF-8 system code page the path is UTF-8 and always representable.
TEST(Win32Identity, OwnPathInTheAnsiCodePage)
{
    if (GetACP() != 1252) GTEST_SKIP() << "the rows are written for code page 1252, not " << GetACP();
    const std::wstring deep = L"C:\\" + std::wstring(240, L'd') + L"\\";
    const std::wstring polish = L"C:\\za\u017C\u00F3\u0142\u0107\\task.exe";
    const struct { const char *name; bool utf8; std::wstring modulePath; std::string own; } cases[] = {
        {"accent in the code page", false, L"C:\\caf\u00E9\\task.exe", "C:\\caf\xE9\\task.exe"},
        {"letters outside it", false, polish, "refused"},
        {"259 characters", false, deep + std::wstring(259 - deep.size() - 4, L'n') + L".exe",
         "C:\\" + std::string(240, 'd') + "\\" + std::string(259 - deep.size() - 4, 'n') + ".exe"},
        {"260 characters, cut by the system", false,
         deep + std::wstring(260 - deep.size() - 4, L'n') + L".exe", "refused"},
        {"UTF-8 system code page", true, polish, "C:\\za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\\task.exe"},
    };
    for (const auto &c : cases) {
        fakes.utf8 = c.utf8;
        EXPECT_EQ(ownPathOf(c.modulePath), c.own) << c.name;
        fakes.utf8 = false;
    }
}

// The roaming folder with a stand-in on: where the search flag is refused each
// DLL is loaded again by its full path in the system folder; a failed lookup
// gives no folder, and the path it handed out is released. (Its conversion
// under the UTF-8 code page is the own path's: OwnPathInTheAnsiCodePage.)
TEST(Win32Identity, RoamingFolderUnderEachStandIn)
{
    const char *roaming = getenv("APPDATA");
    ASSERT_NE(roaming, nullptr) << "Wine gives the roaming folder as APPDATA";
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    const std::string folder = system, shell = folder + "\\shell32.dll", ole = folder + "\\ole32.dll";
    const struct { const char *name; bool Fakes::*fake; std::string roaming; std::vector<std::string> loaded;
                   std::vector<void *> released; } cases[] = {
        {"search flag refused", &Fakes::oldLoader, roaming, {"shell32.dll", shell, "ole32.dll", ole}, {}},
        {"failed lookup", &Fakes::folderFails, "null", {"shell32.dll", "ole32.dll"}, {handedOut}},
    };
    for (const auto &c : cases) {
        fakes.loaded.clear();
        fakes.released.clear();
        fakes.*c.fake = true;
        char *path = win_getAppDataPath();
        fakes.*c.fake = false;
        EXPECT_EQ(path != nullptr ? path : "null", c.roaming) << c.name;
        EXPECT_EQ(fakes.loaded, c.loaded) << c.name;
        EXPECT_EQ(fakes.released, c.released) << c.name;
        free(path);
    }
}

#endif
