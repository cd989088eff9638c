// pathvectors: joins a fixed, generated set of (folder, file) pairs with
// win_combinePath and win_concatPaths and prints one line per pair:
//   index TAB folder TAB file TAB combined TAB concatenated   ("-" for a failure)
// The pairs are the same on every platform, so the native output and the
// output of the Windows build under Wine must be equal line by line.
//   pathvectors [count]                 prints count pairs (4000)
//   pathvectors --compare <a> <b>       compares two outputs (CR ignored) and
//                                       names the first pair that differs
#include "vekstringlib.h"
#include "windows_helper.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
    size_t count = draw(5);
    for (size_t i = 0; i < count; i++) {
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
    size_t target = 250 + draw(16);
    size_t have = dir->size() + file->size() + 1;
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

// The next line of in without its CR; false at the end.
bool nextLine(std::ifstream &in, std::string *line)
{
    if (!std::getline(in, *line)) return false;
    line->erase(std::remove(line->begin(), line->end(), '\r'), line->end());
    return true;
}

// 0 when both outputs hold the same lines (CR ignored), else 1 with the first
// difference.
int compare(const char *pathA, const char *pathB)
{
    std::ifstream a(pathA, std::ios::binary), b(pathB, std::ios::binary);
    std::string lineA, lineB;
    long pairs = 0;
    while (true) {
        bool gotA = nextLine(a, &lineA), gotB = nextLine(b, &lineB);
        if (!gotA && !gotB) break;
        if (!gotA || !gotB || lineA != lineB) {
            fprintf(stderr, "pathvectors: line %ld differs:\n  %s: %s\n  %s: %s\n", pairs + 1, pathA,
                    gotA ? lineA.c_str() : "(none)", pathB, gotB ? lineB.c_str() : "(none)");
            return 1;
        }
        pairs++;
    }
    if (pairs == 0) {
        fprintf(stderr, "pathvectors: %s and %s hold no lines\n", pathA, pathB);
        return 1;
    }
    printf("pathvectors: %ld pairs, all answers equal\n", pairs);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "--compare") == 0) return compare(argv[2], argv[3]);
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
