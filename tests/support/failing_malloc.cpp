// failing_malloc: the malloc that the linker's --wrap=malloc puts in place of
// the real one. The two names with leading underscores are the linker's, not
// ours: --wrap sends every call to malloc to __wrap_malloc and makes
// __real_malloc the original.
#include "failing_malloc.h"

#include <cstddef>

extern "C" void *__real_malloc(size_t size);

// Allocations to let through before the one that fails; negative: none fails.
static int allocationsBeforeFailure = -1;
static long allocationsMade = 0;

void ts::failAllocation(int index)
{
    allocationsBeforeFailure = index;
}

long ts::allocationCount()
{
    return allocationsMade;
}

extern "C" void *__wrap_malloc(size_t size)
{
    allocationsMade++;
    // The countdown reaches the failing allocation at 0 and stops at -1.
    if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0) return nullptr;
    return __real_malloc(size);
}
