// starter: prints a line, starts "<working folder>\autoit3.exe task.a3x" there
// and waits for it, then prints another line. Shows whether what a parent
// printed reaches the stream before its child's output.
#include "vekstringlib.h"
#include "windows_helper.h"
#include "windows_helper_tools.h"

#include <cstdio>
#include <string>

int main()
{
    char folder[VEK_TEXT_SIZE], error[VEK_TEXT_SIZE];
    if (!win_getCurrentDirectory(folder, sizeof folder)) return 2;
    std::string command = "\"" + std::string(folder) + "\\autoit3.exe\" task.a3x";
    printf("before\n");
    int code = win_executeCommand(&command[0], folder, true, error);
    printf("after %d\n", code);
    return 0;
}
