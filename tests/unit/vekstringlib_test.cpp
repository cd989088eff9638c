// The string helpers: case-insensitive searches, the null-or-empty test, the
// bounded copy and the bounded formatter.
#include "vekstringlib.h"

#include <gtest/gtest.h>

#include <cstring>

// Offset of str_stristr (-1: null) and position of str_stringInStr (0: none).
// Only A to Z fold: accented code page 1252 letters compare unchanged.
TEST(StringSearch, CaseInsensitiveOffsetsAndPositions)
{
    const struct { const char *text, *needle; int offset, position; } cases[] = {
        {"QODVANTOR", "vantor", 3, 4},
        {"vant", "vantor", -1, 0},
        {"abc", "", 0, 1},
        {"xvantorvantor", "VANTOR", 1, 2},
        {"perch\xC8", "perch\xE8", -1, 0},
        {"perch\xE8", "PERCH\xE8", 0, 1},
    };
    for (const auto &c : cases) {
        const char *found = str_stristr(c.text, c.needle);
        EXPECT_EQ(found ? (int)(found - c.text) : -1, c.offset) << c.text << " / " << c.needle;
        EXPECT_EQ(str_stringInStr(c.text, c.needle), c.position) << c.text << " / " << c.needle;
    }
}

// A copy cut to the buffer and zero-filled after it; a formatted text cut,
// with the length the whole text would have had.
TEST(StringHelpers, NullOrEmptyBoundedCopyAndFormat)
{
    EXPECT_TRUE(stringIsNullOrEmpty(nullptr) && stringIsNullOrEmpty("") && !stringIsNullOrEmpty(" "));
    char dest[8];
    str_assign(dest, "0123456789", sizeof dest);
    EXPECT_STREQ(dest, "0123456");
    str_assign(dest, "abc", sizeof dest);
    EXPECT_EQ(memcmp(dest, "abc\0\0\0\0\0", sizeof dest), 0);
    EXPECT_EQ(str_format(dest, sizeof dest, "%s-%d", "abcdefg", 123), 11);
    EXPECT_STREQ(dest, "abcdefg");
}
