// pathvectors: joins a fixed, generated set of (folder, file) pairs with
// win_combinePath and win_concatPaths and prints one line per pair:
//   index TAB folder TAB file TAB combined TAB concatenated   ("-" for a failure)
// The pairs are the same on every platform, so the native output and the
// output of the Windows build under Wine must be equal line by line
// (path_differential.cmake compares them).
//   pathvectors [count]                 prints count pairs (4000)
#include "vekstringlib.h"
#include "windows_helper.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A small fixed generator, so both platforms draw the same pairs.
unsigned long long state = 0x9E3779B97F4A7C15ull;

// The next number below bound.
size_t draw(size_t bound)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return (size_t)(state % bound);
}

const char *const ROOTS[] = {
    "", "", "", "C:", "C:\\", "c:\\", "Z:\\", "\\", "\\\\", "\\\\srv", "\\\\srv\\share", "\\\\srv\\share\\",
    "\\\\srv\\\\", "\\\\?\\C:\\", "\\\\?\\C:", "\\\\?\\UNC\\srv\\share", "\\\\?\\x", "1:", "..", ".", "...",
};
const char *const SEGMENTS[] = {
    ".", "..", "..", "...", "a", "Dir", "LOGS", "dir.", "name ", " lead", "x.log", "a b", ".hidden", "d:",
    "..x", "x..", "", "a/b", "tail. .", "e\xE8",
};

// One path: a root, then up to four segments joined by backslashes, and
// sometimes a trailing backslash.
std::string makePath()
{
    std::string path = ROOTS[draw(sizeof ROOTS / sizeof ROOTS[0])];
    for (size_t i = 0, count = draw(5); i < count; i++) {
        if (!path.empty() && path.back() != '\\') path += '\\';
        path += SEGMENTS[draw(sizeof SEGMENTS / sizeof SEGMENTS[0])];
    }
    if (draw(6) == 0) path += '\\';
    return path;
}

// A pair; one in four is padded so that the joined text lands near 259/260.
void makePair(std::string *dir, std::string *file)
{
    *dir = makePath();
    *file = makePath();
    if (draw(4) != 0) return;
    size_t target = 250 + draw(16), have = dir->size() + file->size() + 1;
    if (have >= target) return;
    if (!dir->empty() && dir->back() != '\\') *dir += '\\';
    *dir += std::string(target - have, 'p');
}

// Zeroes the stack below the caller. Some joins make the system's own
// canonicalization read past the end of its text; with zeros there it stops
// at the end, as ours does, instead of reading what an earlier call left.
void scrubStack()
{
    static void *(*volatile clear)(void *, int, size_t) = memset;
    char area[32768];
    clear(area, 0, sizeof area);
}

}  // namespace

int main(int argc, char **argv)
{
    long count = argc > 1 ? atol(argv[1]) : 4000;
    for (long i = 0; i < count; i++) {
        std::string dir, file;
        makePair(&dir, &file);
        char combined[VEK_PATH_SIZE];
        scrubStack();
        bool ok = win_combinePath(combined, dir.c_str(), file.c_str());
        scrubStack();
        char *joined = win_concatPaths(dir.c_str(), file.c_str());
        printf("%ld\t%s\t%s\t%s\t%s\n", i, dir.c_str(), file.c_str(), ok ? combined : "-",
               joined ? joined : "-");
        free(joined);
    }
    return 0;
}
