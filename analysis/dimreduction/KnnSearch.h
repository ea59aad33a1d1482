#pragma once

#include "distanceFunctor.h"

#include <vector>

namespace Zelvo {

// The exact k nearest neighbours of every point under a distance functor (Euclidean or
// Manhattan over its mask), found without the n x n distance matrix: through a kd-tree over
// a few coordinates, row by row over many (where a tree prunes nothing).
// Each distance is computed as the functor computes it, so the lists are those of a search
// over the functor's distances: nearest first, equal distances by index, never the point
// itself. The values are borrowed and must outlive the search.
class KnnSearch {
public:
    // values: n points of d floats, point after point.
    KnnSearch(const float* values, int n, int d, const distanceFunctor& functor);

    // False (nothing found, nothing printed) when the search cannot stand in for the functor:
    // another distance type, no selected coordinate, a value that is not finite or a distance
    // that would overflow; the caller then goes through the functor pair by pair.
    bool Find(int k, std::vector<std::vector<int>>& neighbors);
    // Whether Find(k) will find the neighbours, told without searching.
    bool CanFind(int k) const;

private:
    struct Node {
        int begin = 0;  // range of m_order
        int end = 0;
        int lower = -1;  // children; -1 in a leaf
        int upper = -1;
    };
    struct Query;

    bool m_usable() const;
    int m_build(int begin, int end);
    // Lower bound of the distance from q to the node's box (squared for Euclidean).
    double m_boxBound(int node, const float* q) const;
    float m_distance(const float* a, const float* b) const;
    void m_search(int node, int self, Query& query) const;
    void m_offer(float distance, int j, Query& query) const;
    void m_findByTree(int k, std::vector<std::vector<int>>& neighbors);
    void m_findByRows(int k, std::vector<std::vector<int>>& neighbors) const;

    const float* m_values;
    int m_n;
    int m_d;
    bool m_euclidean = true;
    bool m_supported = false;
    std::vector<int> m_selected;   // selected coordinates in dimension order
    std::vector<float> m_points;   // n x selected, point after point, original order
    std::vector<int> m_order;      // point indices, grouped by node
    std::vector<Node> m_nodes;
    std::vector<float> m_boxes;    // per node: lows then highs over the selected coordinates
};

}  // namespace Zelvo
