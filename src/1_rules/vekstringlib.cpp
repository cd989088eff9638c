// vekstringlib: case-insensitive searches, the null-or-empty test, the
// bounded copy and the bounded formatter.
#include "vekstringlib.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The byte with A to Z folded to a to z; every other byte unchanged.
static unsigned char str_fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c - 'A' + 'a') : c;
}

// True when the n bytes at a and b are equal, ignoring the case of A to Z.
static bool str_equalFolded(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (str_fold((unsigned char)a[i]) != str_fold((unsigned char)b[i])) return false;
    }
    return true;
}

const char *str_stristr(const char *text, const char *needle)
{
    size_t n = strlen(needle);
    size_t t = strlen(text);
    if (n > t) return NULL;
    for (size_t i = 0; i + n <= t; i++) {
        if (str_equalFolded(text + i, needle, n)) return text + i;
    }
    return NULL;
}

bool str_equalsIgnoringCase(const char *a, const char *b)
{
    size_t n = strlen(a);
    return strlen(b) == n && str_equalFolded(a, b, n);
}

bool stringIsNullOrEmpty(const char *s)
{
    return s == NULL || s[0] == '\0';
}

void str_assign(char *dest, const char *src, size_t size)
{
    size_t i = 0;
    for (; i + 1 < size && src[i] != '\0'; i++) dest[i] = src[i];
    for (; i + 1 < size; i++) dest[i] = '\0';
    dest[size - 1] = '\0';
}

// A new heap copy of s with A to Z lowered, or null when memory runs out.
static char *str_lowerCopy(const char *s, size_t len)
{
    char *copy = (char *)malloc(len + 1);
    if (copy == NULL) return NULL;
    for (size_t i = 0; i < len; i++) copy[i] = (char)str_fold((unsigned char)s[i]);
    copy[len] = '\0';
    return copy;
}

int str_stringInStr(const char *text, const char *pattern)
{
    size_t t = strlen(text);
    size_t p = strlen(pattern);
    if (p > t) return 0;
    char *lowText = str_lowerCopy(text, t);
    char *lowPattern = str_lowerCopy(pattern, p);
    if (lowText == NULL || lowPattern == NULL) {
        free(lowText);
        free(lowPattern);
        return -1;
    }
    const char *found = strstr(lowText, lowPattern);
    int position = found ? (int)(found - lowText) + 1 : 0;
    free(lowText);
    free(lowPattern);
    return position;
}

int str_format(char *buf, size_t size, const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    int wanted = vsnprintf(buf, size, fmt, args);
    va_end(args);
    if (size > 0) {
        if (wanted < 0) buf[0] = '\0';
        buf[size - 1] = '\0';
    }
    return wanted;
}
