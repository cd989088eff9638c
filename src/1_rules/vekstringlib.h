// vekstringlib: the string routines every module uses to test names and fill
// its fixed-size buffers, and the buffer sizes that the whole launcher shares.
// Stateless; callers own every buffer they pass in.
#pragma once

#include <cstddef>

// Buffer sizes in characters, terminator included.
enum {
    VEK_ENVIRONMENT_SIZE = 20,   // an Environment name: at most 19 characters
    VEK_PATH_SIZE = 260,         // a path (the Windows MAX_PATH)
    VEK_TEXT_SIZE = 2000         // an error text, a log message, a command line
};

// Pointer to the first case-insensitive occurrence of needle in text, or null.
// Only the letters A to Z are folded.
const char *str_stristr(const char *text, const char *needle);

// True when a and b are equal, ignoring the case of A to Z.
bool str_equalsIgnoringCase(const char *a, const char *b);

// True when s is null or empty.
bool stringIsNullOrEmpty(const char *s);

// Copies at most size - 1 bytes of src into dest, zero-fills the rest like
// strncpy, and always terminates dest. size must be at least 1.
void str_assign(char *dest, const char *src, size_t size);

// 1-based position of the first case-insensitive occurrence of pattern in
// text; 0 when there is none; -1 when memory for the working copies runs out.
int str_stringInStr(const char *text, const char *pattern);

// Bounded formatter: writes at most size - 1 characters of the formatted text
// into buf and always terminates it; a longer text is cut. Returns the length
// the whole text would have had (negative on an encoding error).
int str_format(char *buf, size_t size, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
