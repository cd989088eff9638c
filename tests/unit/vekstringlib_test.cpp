// The case-insensitive searches of the string helpers, where letters outside
// A to Z meet. (The searches are also at work in the Environment keywords and
// the staging prefix, main_test; the bounded copy in the log's version field
// and the bounded formatter in its long records, log_test; the null-or-empty
// test in WaitDecision's "-p" rows and the launches without a connector folder.)
#include "vekstringlib.h"

#include <gtest/gtest.h>

// Offset of str_stristr (-1: null) and position of str_stringInStr (0: none).
// Only A to Z fold: accented code page 1252 letters compare unchanged.
TEST(StringSearch, CaseInsensitiveOffsetsAndPositions)
{
    const struct { const char *text, *needle; int offset, position; } cases[] = {
        {"vant", "vantor", -1, 0},
        {"perch\xC8", "perch\xE8", -1, 0},
        {"perch\xE8", "PERCH\xE8", 0, 1},
    };
    for (const auto &c : cases) {
        const char *found = str_stristr(c.text, c.needle);
        EXPECT_EQ(found ? (int)(found - c.text) : -1, c.offset) << c.text << " / " << c.needle;
        EXPECT_EQ(str_stringInStr(c.text, c.needle), c.position) << c.text << " / " << c.needle;
    }
}
