#pragma once

namespace ngl {

// The number of coordinates of every point; set by the caller before building a graph.
template <typename T>
struct Geometry {
    static unsigned int D;
};

template <typename T>
unsigned int Geometry<T>::D = 0;

// Squared distance over the first D coordinates, accumulated in T from zero in coordinate order.
// Every squared length of the empty-region code goes through here so that all paths agree bit
// for bit.
template <typename T>
inline T SquaredDistance(const T* a, const T* b, unsigned int D)
{
    T sum = 0;
    for (unsigned int d = 0; d < D; ++d) {
        const T diff = a[d] - b[d];
        sum += diff * diff;
    }
    return sum;
}

}  // namespace ngl
