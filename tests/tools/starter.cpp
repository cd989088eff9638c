// starter: prints a line, starts the command written in command.txt of its
// working folder there and waits for it, then prints another line. Shows
// whether what a parent printed reaches the stream before its child's output.
#include "vekstringlib.h"
#include "windows_helper.h"

#include <cstdio>
#include <cstring>

int main()
{
    char command[VEK_TEXT_SIZE] = "";
    char folder[VEK_TEXT_SIZE] = "";
    char error[VEK_TEXT_SIZE];
    FILE *f = win_fopen("command.txt", "rb");
    if (f == NULL) return 2;
    size_t got = fread(command, 1, sizeof command - 1, f);
    fclose(f);
    command[got] = '\0';
    if (!win_getCurrentDirectory(folder, sizeof folder)) return 2;
    printf("before\n");
    int code = win_executeCommand(command, folder, true, error);
    printf("after %d\n", code);
    return 0;
}
