#include "RelativeNeighborGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ngl {

namespace {

// Sort key of a squared length: for values >= 0 the bit pattern orders like the value, and a NaN
// (whatever its sign bit) sorts after +infinity.
inline uint32_t OrderKey(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits & 0x7fffffffu;
}

// Orders `index` by `key` (ascending, stable): least-significant-digit radix sort, 11 bits a pass.
void RadixSortByKey(std::vector<uint32_t>& key, std::vector<unsigned int>& index, std::vector<uint32_t>& keyScratch,
                    std::vector<unsigned int>& indexScratch)
{
    const size_t count = key.size();
    keyScratch.resize(count);
    indexScratch.resize(count);
    for (int shift = 0; shift < 32; shift += 11) {
        size_t offsets[2049] = {};
        for (size_t i = 0; i < count; ++i) ++offsets[((key[i] >> shift) & 2047u) + 1];
        for (size_t b = 1; b <= 2048; ++b) offsets[b] += offsets[b - 1];
        for (size_t i = 0; i < count; ++i) {
            const size_t to = offsets[(key[i] >> shift) & 2047u]++;
            keyScratch[to] = key[i];
            indexScratch[to] = index[i];
        }
        key.swap(keyScratch);
        index.swap(indexScratch);
    }
}

}  // namespace

template <typename T>
void RelativeNeighborGraph(const NGLPointSet<T>& points, std::vector<unsigned int>& pairs, int& pairCount)
{
    static_assert(sizeof(T) == sizeof(uint32_t), "sort keys assume 32-bit values");
    pairs.clear();
    pairCount = 0;
    const size_t n = points.numPoints > 0 ? size_t(points.numPoints) : 0;
    const unsigned int D = Geometry<T>::D;
    if (n < 2) return;

    // Coordinates one dimension after another, so that a row of squared lengths is built with
    // straight runs over all other points; each entry still sums its terms in coordinate order.
    std::vector<T> byDimension(size_t(D) * n);
    for (size_t i = 0; i < n; ++i)
        for (unsigned int d = 0; d < D; ++d) byDimension[d * n + i] = points.points[i].coords[d];

    std::vector<T> len2(n * n, T(0));
    for (size_t i = 0; i < n; ++i) {
        T* row = len2.data() + i * n;
        for (unsigned int d = 0; d < D; ++d) {
            const T ci = points.points[i].coords[d];
            const T* column = byDimension.data() + size_t(d) * n;
            for (size_t j = 0; j < n; ++j) {
                const T diff = column[j] - ci;
                row[j] += diff * diff;
            }
        }
    }

    // Edges are symmetric, so each pair is decided once, from its lower end.
    std::vector<std::vector<unsigned int>> neighbours(n);
    std::vector<uint32_t> keys(n - 1), keyScratch;
    std::vector<unsigned int> nearestFirst(n - 1), indexScratch;
    for (size_t p = 0; p < n; ++p) {
        const T* rowP = len2.data() + p * n;
        size_t count = 0;
        for (size_t r = 0; r < n; ++r) {
            if (r == p) continue;
            keys[count] = OrderKey(rowP[r]);
            nearestFirst[count++] = unsigned(r);
        }
        RadixSortByKey(keys, nearestFirst, keyScratch, indexScratch);

        for (size_t q = p + 1; q < n; ++q) {
            const T pq = rowP[q];
            if (pq == T(0)) continue;  // coincident points are never neighbours
            const T* rowQ = len2.data() + q * n;
            bool blocked = false;
            for (size_t c = 0; c < count; ++c) {
                const unsigned int r = nearestFirst[c];
                // Farther from p than q (or NaN): neither r nor any later candidate can block.
                if (!(rowP[r] - pq <= T(0))) break;
                if (r == q) continue;
                if (rowQ[r] - pq <= T(0)) {
                    blocked = true;
                    break;
                }
            }
            if (!blocked) {
                neighbours[p].push_back(unsigned(q));
                neighbours[q].push_back(unsigned(p));
            }
        }
    }

    // Lower neighbours were recorded during earlier turns, higher ones in order: each list is sorted.
    for (size_t i = 0; i < n; ++i) {
        for (unsigned int j : neighbours[i]) {
            pairs.push_back(unsigned(i));
            pairs.push_back(j);
        }
    }
    pairCount = int(pairs.size() / 2);
}

template void RelativeNeighborGraph<float>(const NGLPointSet<float>&, std::vector<unsigned int>&, int&);

}  // namespace ngl
