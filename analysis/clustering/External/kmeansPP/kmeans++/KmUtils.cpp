#include "KmUtils.h"

#include "Log.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

void __KMeansAssertionFailure(const char* file, int line, const char* expression)
{
    Zelvo::Log::Printf("ASSERTION FAILURE, %s line %d:\n  %s\n", file, line, expression);
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
