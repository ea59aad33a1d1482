#pragma once

// Small helpers shared by the k-means++ functions and KmTree.

#include <cstddef>
#include <functional>
#include <memory>
#include <new>

// Source of random draws for the seeding: values in 0..2147483647, like rand().
// An empty function means the process-wide std::rand() sequence.
using KmRandom = std::function<int()>;

// Writes "ASSERTION FAILURE, <file> line <line>:" and "  <expression>" on standard output.
// The caller then returns its failure result; the process goes on.
void __KMeansAssertionFailure(const char* file, int line, const char* expression);

// Heap arrays that report exhaustion as null instead of throwing.
template <typename T>
std::unique_ptr<T[]> KmNewArray(std::size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// Squared Euclidean distance, accumulated in float in dimension order.
inline float KmPointDistSq(const float* a, const float* b, int d)
{
    float result = 0;
    for (int j = 0; j < d; ++j) {
        const float diff = a[j] - b[j];
        result += diff * diff;
    }
    return result;
}

// Index of the first value that is not finite, or count when every one is.
std::size_t KmFirstNonFinite(const float* values, std::size_t count);

// An invalid centre (its cluster received no point) has every byte set to 0xFF.
void KmMarkCentreInvalid(float* centre, int d);
bool KmIsCentreInvalid(const float* centre, int d);

// Draws one value from the given source, or from std::rand() when it is empty.
int KmDraw(const KmRandom& random);
