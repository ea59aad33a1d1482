#include "kNNgraphGenerator.h"

#include "Log.h"
#include "distanceFunctor.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Zelvo {

namespace {

// The k nearest candidates met so far, slot 0 the farthest kept, the last slot the nearest.
// A candidate enters an empty slot 0 or one strictly farther and sinks past empty and
// strictly farther slots, so among equal distances the one met first stays nearer the end.
// Empty slots take any distance but NaN, an infinite one (coordinates too far apart for a
// float) included.
class NearestSlots {
public:
    explicit NearestSlots(size_t size) : m_distance(size), m_index(size) {}

    void Reset()
    {
        std::fill(m_distance.begin(), m_distance.end(), std::numeric_limits<float>::infinity());
        std::fill(m_index.begin(), m_index.end(), -1);
    }

    void Offer(float d, int j)
    {
        if (std::isnan(d) || !(m_index[0] < 0 || d < m_distance[0])) return;
        m_distance[0] = d;
        m_index[0] = j;
        for (size_t s = 0; s + 1 < m_distance.size() && (m_index[s + 1] < 0 || m_distance[s + 1] > d); ++s) {
            std::swap(m_distance[s], m_distance[s + 1]);
            std::swap(m_index[s], m_index[s + 1]);
        }
    }

    // The last `count` slots, nearest first; slots that nothing entered are skipped.
    void AddEdges(GraphModel<float>& graph, int i, size_t count) const
    {
        const size_t size = m_distance.size();
        for (size_t s = size; s > size - count; --s) {
            if (m_index[s - 1] >= 0) graph.AddEdge(i, m_index[s - 1], m_distance[s - 1]);
        }
    }

private:
    std::vector<float> m_distance;
    std::vector<int> m_index;
};

// True when every point has `length` values.
bool SameLength(const std::vector<HDpoint<float>>& points, size_t length)
{
    return std::all_of(points.begin(), points.end(), [length](const HDpoint<float>& p) { return p.size() == length; });
}

}  // namespace

kNNgraphGenerator::kNNgraphGenerator(int k) : m_k(k) {}

kNNgraphGenerator::~kNNgraphGenerator() = default;

std::unique_ptr<GraphModel<float>> kNNgraphGenerator::GenerateNeighborhoodGraph(
    const std::vector<HDpoint<float>>& points, const std::vector<bool>& /*dimMask*/, distanceFunctor& distance)
{
    if (m_k < 1) {
        Log::Printf("Error: kNN graph needs k of at least 1 (k = %d)\n", m_k);
        return nullptr;
    }
    for (size_t i = 0; i < points.size(); ++i) {
        for (float value : points[i].values()) {
            if (!std::isfinite(value)) {
                Log::Printf("Error: kNN graph: node %zu has a coordinate that is not a finite number\n", i);
                return nullptr;
            }
        }
    }
    auto graph = std::make_unique<GraphModel<float>>();
    const size_t n = points.size();
    if (n < 2) return graph;

    // With k >= n the slots beyond n stay empty, so n slots behave the same.
    NearestSlots slots(std::min(size_t(m_k), n));
    const size_t edgesPerNode = std::min(size_t(m_k), n - 1);

    const size_t length = points[0].size();
    const bool sumsOfDifferences = (distance.type == DistanceEuclidean || distance.type == DistanceManhattan);
    if (!sumsOfDifferences || length == 0 || !SameLength(points, length)) {
        for (size_t i = 0; i < n; ++i) {
            slots.Reset();
            for (size_t j = 0; j < n; ++j)
                if (j != i) slots.Offer(distance(points[i], points[j]), int(j));
            slots.AddEdges(*graph, int(i), edgesPerNode);
        }
        return graph;
    }

    // Same sums as the functor, a whole row at a time: the selected coordinates laid out one
    // dimension after another, each pair still summing its float terms in double in coordinate
    // order. The first functor call settles the mask as it would for these points.
    distance(points[0], points[1]);
    std::vector<size_t> selected;
    for (size_t d = 0; d < length && d < distance.mask.size(); ++d)
        if (distance.mask[d]) selected.push_back(d);
    std::vector<float> byDimension(selected.size() * n);
    for (size_t s = 0; s < selected.size(); ++s)
        for (size_t j = 0; j < n; ++j) byDimension[s * n + j] = points[j][selected[s]];

    const bool euclidean = distance.type == DistanceEuclidean;
    std::vector<double> sums(n);
    for (size_t i = 0; i < n; ++i) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (size_t s = 0; s < selected.size(); ++s) {
            const float ci = points[i][selected[s]];
            const float* column = byDimension.data() + s * n;
            if (euclidean) {
                for (size_t j = 0; j < n; ++j) {
                    const float diff = column[j] - ci;
                    sums[j] += diff * diff;
                }
            } else {
                for (size_t j = 0; j < n; ++j) sums[j] += std::fabs(column[j] - ci);
            }
        }
        slots.Reset();
        for (size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            slots.Offer(euclidean ? static_cast<float>(std::sqrt(sums[j])) : static_cast<float>(sums[j]), int(j));
        }
        slots.AddEdges(*graph, int(i), edgesPerNode);
    }
    return graph;
}

}  // namespace Zelvo
