// The string helpers: case-insensitive searches, the null-or-empty test, the
// bounded copy and the bounded formatter.
#include "vekstringlib.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(StringSearch, CaseInsensitiveOffsetsAndPositions)
{
    // Offset of str_stristr (-1: null) and position of str_stringInStr (0: none).
    struct Case {
        const char *text, *needle;
        int offset, position;
    } cases[] = {
        {"QODVANTOR", "vantor", 3, 4},       {"Vantor", "vantor", 0, 1},        {"vant", "vantor", -1, 0},
        {"QuenbarodisFatture", "atture", 12, 13}, {"fatture", "FATTURE", 0, 1}, {"f2", "f24", -1, 0},
        {"", "", 0, 1},                      {"abc", "", 0, 1},                 {"xvantorvantor", "VANTOR", 1, 2},
        // Only A to Z fold: accented code page 1252 letters compare unchanged.
        {"perch\xC8", "perch\xE8", -1, 0},   {"perch\xE8", "PERCH\xE8", 0, 1},  {"\xC0\xE0", "\xE0", 1, 2},
    };
    for (const Case &c : cases) {
        const char *found = str_stristr(c.text, c.needle);
        EXPECT_EQ(c.offset, found ? (int)(found - c.text) : -1) << c.text << " / " << c.needle;
        EXPECT_EQ(c.position, str_stringInStr(c.text, c.needle)) << c.text << " / " << c.needle;
    }
}

TEST(StringHelpers, NullOrEmptyBoundedCopyAndFormat)
{
    EXPECT_TRUE(stringIsNullOrEmpty(nullptr) && stringIsNullOrEmpty(""));
    EXPECT_FALSE(stringIsNullOrEmpty(" "));

    char dest[20];
    memset(dest, 'Z', sizeof dest);
    str_assign(dest, "0123456789abcdefghijklmno", sizeof dest);
    EXPECT_STREQ("0123456789abcdefghi", dest);
    memset(dest, 'Z', sizeof dest);
    str_assign(dest, "abc", sizeof dest);
    EXPECT_EQ(0, memcmp(dest, "abc\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", sizeof dest)) << "zero-filled";

    char buf[8];
    EXPECT_EQ(11, str_format(buf, sizeof buf, "%s-%d", "abcdefg", 123));
    EXPECT_STREQ("abcdefg", buf);
}
