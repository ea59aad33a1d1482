#include "KmUtils.h"

#include "Log.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

void __KMeansAssertionFailure(const char* file, int line, const char* expression)
{
    Zelvo::Log::Printf("ASSERTION FAILURE, %s line %d:\n  %s\n", file, line, expression);
}

std::size_t KmFirstNonFinite(const float* values, std::size_t count)
{
    // Blocks are checked without a branch per value; only a block with a bad value is searched.
    const std::size_t block = 1024;
    for (std::size_t start = 0; start < count; start += block) {
        const std::size_t end = start + block < count ? start + block : count;
        bool bad = false;
        for (std::size_t i = start; i < end; ++i) bad |= !(std::fabs(values[i]) <= FLT_MAX);
        if (!bad) continue;
        for (std::size_t i = start; i < end; ++i)
            if (!std::isfinite(values[i])) return i;
    }
    return count;
}

void KmMarkCentreInvalid(float* centre, int d)
{
    std::memset(centre, 0xFF, sizeof(float) * static_cast<std::size_t>(d));
}

bool KmIsCentreInvalid(const float* centre, int d)
{
    for (int j = 0; j < d; ++j) {
        std::uint32_t bits;
        std::memcpy(&bits, centre + j, sizeof bits);
        if (bits != 0xFFFFFFFFu) return false;
    }
    return true;
}

int KmDraw(const KmRandom& random)
{
    return random ? random() : std::rand();
}
