#pragma once

#include <cstddef>

namespace Zelvo {

// How much memory one computation may take for data that grows with the square of the point
// count (a distance or rank matrix, a measure's working blocks): a quarter of the physical
// memory, unless a limit was set (tests set a small one instead of allocating gigabytes).
class MemoryBudget {
public:
    static size_t Bytes();
    // The largest matrix worth keeping between computations instead of making it anew each
    // time: a sixteenth of the budget, at most 256 MB.
    static size_t KeepBytes();
    // 0 goes back to a quarter of the physical memory.
    static void SetLimit(size_t bytes);
    // True when bytes fit the budget; otherwise prints
    // "Error: <what> needs <MB> MB of memory, more than the <MB> MB allowed" and returns false.
    static bool Allows(const char* what, double bytes);
};

}  // namespace Zelvo
