/* spawnshim: the least a launcher can do, as the benchmark's floor. It starts
 * autoit3.exe beside itself with the script named after itself (name.a3x) and
 * its own arguments, in its own folder, waits and returns the exit code.
 * Natively with posix_spawn; on Windows with CreateProcessA, importing
 * kernel32 alone, or, built with SHIM_SHLWAPI, also shlwapi for the path
 * calls the launcher makes. No runtime library on Windows: nothing is
 * imported but the DLLs named. */
#ifdef _WIN32
#include <windows.h>
#ifdef SHIM_SHLWAPI
#include <shlwapi.h>
#endif

/* Copies text to the end of buffer (size 2000) at *used; no terminator. */
static void put(char *buffer, int *used, const char *text)
{
    while (*text != '\0' && *used < 1999) buffer[(*used)++] = *text++;
}

void shimStart(void)
{
    char self[MAX_PATH], folder[MAX_PATH], program[MAX_PATH], line[2000];
    char *name = self, *dot = NULL;
    int used = 0;
    DWORD code = 1;
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    const char *rest = GetCommandLineA();
    DWORD length = GetModuleFileNameA(NULL, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) ExitProcess(1);
    lstrcpyA(folder, self);
#ifdef SHIM_SHLWAPI
    PathRemoveFileSpecA(folder);
    if (PathCombineA(program, folder, "autoit3.exe") == NULL) ExitProcess(1);
    name = PathFindFileNameA(self);
#else
    for (char *p = self; *p != '\0'; p++) {
        if (*p == '\\') name = p + 1;
    }
    folder[name - self - 1] = '\0';
    lstrcpyA(program, folder);
    lstrcatA(program, "\\autoit3.exe");
#endif
    for (char *p = name; *p != '\0'; p++) {
        if (*p == '.') dot = p;
    }
    if (dot != NULL) *dot = '\0';
    /* The arguments: the command line after the program's own word. */
    if (*rest == '"') {
        for (rest++; *rest != '\0' && *rest != '"'; rest++) {
        }
        if (*rest == '"') rest++;
    } else {
        while (*rest != '\0' && *rest != ' ' && *rest != '\t') rest++;
    }
    put(line, &used, "\"");
    put(line, &used, program);
    put(line, &used, "\" ");
    put(line, &used, name);
    put(line, &used, ".a3x");
    put(line, &used, rest);
    line[used] = '\0';
    SecureZeroMemory(&startup, sizeof startup);
    SecureZeroMemory(&process, sizeof process);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process)) ExitProcess(1);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    ExitProcess(code);
}
#else
#include <limits.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

int main(int argc, char **argv)
{
    char self[PATH_MAX], script[PATH_MAX];
    char *args[256];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0 || argc > 250) return 1;
    self[length] = '\0';
    char *slash = strrchr(self, '/');
    *slash = '\0';
    char *dot = strrchr(slash + 1, '.');
    if (dot != NULL) *dot = '\0';
    if (chdir(self) != 0 || strlen(slash + 1) + 5 > sizeof script) return 1;
    strcpy(script, slash + 1);
    strcat(script, ".a3x");
    args[0] = "autoit3.exe";
    args[1] = script;
    for (int i = 1; i <= argc; i++) args[i + 1] = argv[i];
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, "autoit3.exe", NULL, NULL, args, environ) != 0) return 1;
    if (waitpid(pid, &status, 0) < 0) return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif
