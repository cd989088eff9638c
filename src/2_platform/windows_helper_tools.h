// windows_helper_tools: the few platform calls that the interpreter stand-in,
// the tests and the benchmark make beyond what the launch asks of the system.
// The backends implement them beside the door's own functions; the launch
// code never includes this header.
#pragma once

#include <cstddef>

// The current folder in Windows form, into buf; false when it does not fit.
bool win_getCurrentDirectory(char *buf, size_t size);

// Removes a file.
bool win_removeFile(const char *path);

// The path in the form the runtime's file functions take on this platform
// (unchanged on Windows); false when it cannot be mapped or does not fit, and
// on POSIX when it names an existing FIFO, device or socket.
bool win_toNativePath(const char *path, char *out, size_t size);
