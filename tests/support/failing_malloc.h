// failing_malloc: allocations that fail on demand, so that tests can reach the
// launcher's out-of-memory paths. A program that uses it is linked with the
// linker's --wrap=malloc (tests/CMakeLists.txt: test_fails_allocations), so
// every malloc its own code calls goes through this module; nothing changes
// until a test asks for a failure.
#pragma once

namespace ts {

// Makes one allocation fail: the one that comes after `index` more
// allocations (0: the very next). The ones before and after it succeed, as
// when memory runs short for a moment. A negative index clears the request.
void failAllocation(int index);

// How many allocations the program's own code has asked for so far.
long allocationCount();

}  // namespace ts
