#include "KnnSearch.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace Zelvo {

namespace {

constexpr int kLeafSize = 12;
// Above this many coordinates a tree's boxes seldom exclude anything.
constexpr size_t kTreeCoordinates = 10;
// Margins that keep a pruned box's points strictly farther than the worst kept neighbour
// whatever the single-precision rounding of the functor's distances (a few units in the
// last place, plus the smallest subnormal per coordinate for squares that underflow).
constexpr double kRelativeMargin = 1e-6;
constexpr double kUnderflowMargin = 1e-45;

}  // namespace

struct KnnSearch::Query {
    const float* point = nullptr;
    int k = 0;
    std::vector<std::pair<float, int>> best;  // max-heap: the worst kept pair in front
};

KnnSearch::KnnSearch(const float* values, int n, int d, const distanceFunctor& functor)
    : m_values(values), m_n(n), m_d(d)
{
    if (functor.type != DistanceEuclidean && functor.type != DistanceManhattan) return;
    m_euclidean = functor.type == DistanceEuclidean;
    // The functor selects every coordinate when its mask has another length.
    for (int c = 0; c < d; ++c)
        if (functor.mask.size() != static_cast<size_t>(d) || functor.mask[c]) m_selected.push_back(c);
    m_supported = true;
}

bool KnnSearch::m_usable() const
{
    const size_t s = m_selected.size();
    if (!m_supported || s == 0 || m_n < 1 || !m_values) return false;
    // Finite values and a finite distance across the whole set: then every pair's distance
    // is finite too, since the functor's arithmetic grows with the differences.
    std::vector<float> lo(s, 0.0f), hi(s, 0.0f);
    for (int i = 0; i < m_n; ++i) {
        const float* row = m_values + static_cast<size_t>(i) * m_d;
        for (size_t c = 0; c < s; ++c) {
            const float v = row[m_selected[c]];
            if (!std::isfinite(v)) return false;
            if (i == 0 || v < lo[c]) lo[c] = v;
            if (i == 0 || v > hi[c]) hi[c] = v;
        }
    }
    return std::isfinite(m_distance(hi.data(), lo.data()));
}

float KnnSearch::m_distance(const float* a, const float* b) const
{
    // The functor's arithmetic: each term in float, summed in double in coordinate order.
    const size_t s = m_selected.size();
    double sum = 0.0;
    if (m_euclidean) {
        for (size_t c = 0; c < s; ++c) {
            const float diff = a[c] - b[c];
            sum += diff * diff;
        }
        return static_cast<float>(std::sqrt(sum));
    }
    for (size_t c = 0; c < s; ++c) sum += std::fabs(a[c] - b[c]);
    return static_cast<float>(sum);
}

int KnnSearch::m_build(int begin, int end)
{
    const size_t s = m_selected.size();
    const int index = static_cast<int>(m_nodes.size());
    m_nodes.push_back(Node{begin, end, -1, -1});
    m_boxes.resize(m_nodes.size() * 2 * s);
    float* lo = &m_boxes[static_cast<size_t>(index) * 2 * s];
    float* hi = lo + s;
    for (int pos = begin; pos < end; ++pos) {
        const float* p = &m_points[static_cast<size_t>(m_order[pos]) * s];
        for (size_t c = 0; c < s; ++c) {
            if (pos == begin || p[c] < lo[c]) lo[c] = p[c];
            if (pos == begin || p[c] > hi[c]) hi[c] = p[c];
        }
    }
    if (end - begin <= kLeafSize) return index;
    size_t widest = 0;
    for (size_t c = 1; c < s; ++c)
        if (hi[c] - lo[c] > hi[widest] - lo[widest]) widest = c;
    if (!(hi[widest] > lo[widest])) return index;  // all points equal

    const int middle = begin + (end - begin) / 2;
    const float* points = m_points.data();
    std::nth_element(m_order.begin() + begin, m_order.begin() + middle, m_order.begin() + end,
                     [points, s, widest](int a, int b) { return points[a * s + widest] < points[b * s + widest]; });
    const int lower = m_build(begin, middle);
    const int upper = m_build(middle, end);
    m_nodes[index].lower = lower;
    m_nodes[index].upper = upper;
    return index;
}

double KnnSearch::m_boxBound(int node, const float* q) const
{
    const size_t s = m_selected.size();
    const float* lo = &m_boxes[static_cast<size_t>(node) * 2 * s];
    const float* hi = lo + s;
    double bound = 0.0;
    for (size_t c = 0; c < s; ++c) {
        const double gap = std::max({static_cast<double>(lo[c]) - q[c], static_cast<double>(q[c]) - hi[c], 0.0});
        bound += m_euclidean ? gap * gap : gap;
    }
    return bound;
}

// Keeps the k smallest (distance, index) pairs: equal distances go by index.
void KnnSearch::m_offer(float distance, int j, Query& query) const
{
    const std::pair<float, int> candidate(distance, j);
    if (static_cast<int>(query.best.size()) < query.k) {
        query.best.push_back(candidate);
        std::push_heap(query.best.begin(), query.best.end());
    } else if (candidate < query.best.front()) {
        std::pop_heap(query.best.begin(), query.best.end());
        query.best.back() = candidate;
        std::push_heap(query.best.begin(), query.best.end());
    }
}

void KnnSearch::m_search(int node, int self, Query& query) const
{
    const Node& here = m_nodes[node];
    if (here.lower < 0) {
        const size_t s = m_selected.size();
        for (int pos = here.begin; pos < here.end; ++pos) {
            const int j = m_order[pos];
            if (j == self) continue;
            m_offer(m_distance(query.point, &m_points[static_cast<size_t>(j) * s]), j, query);
        }
        return;
    }
    const double lowerBound = m_boxBound(here.lower, query.point);
    const double upperBound = m_boxBound(here.upper, query.point);
    const bool lowerFirst = lowerBound <= upperBound;
    const int order[2] = {lowerFirst ? here.lower : here.upper, lowerFirst ? here.upper : here.lower};
    const double bounds[2] = {lowerFirst ? lowerBound : upperBound, lowerFirst ? upperBound : lowerBound};
    const double underflow = m_euclidean ? kUnderflowMargin * static_cast<double>(m_selected.size()) : 0.0;
    for (int c = 0; c < 2; ++c) {
        if (static_cast<int>(query.best.size()) == query.k) {
            // Pruned only when every point of the box is strictly farther than the worst kept.
            const double worst = query.best.front().first;
            const double limit = m_euclidean ? worst * worst : worst;
            if (bounds[c] * (1.0 - kRelativeMargin) - underflow > limit) continue;
        }
        m_search(order[c], self, query);
    }
}

bool KnnSearch::CanFind(int k) const
{
    return k >= 1 && k <= m_n - 1 && m_usable();
}

bool KnnSearch::Find(int k, std::vector<std::vector<int>>& neighbors)
{
    neighbors.clear();
    if (!CanFind(k)) return false;
    if (m_selected.size() <= kTreeCoordinates)
        m_findByTree(k, neighbors);
    else
        m_findByRows(k, neighbors);
    return true;
}

// Every distance of a row, one coordinate at a time over all points: the same terms in the
// same order as the functor's, with the points side by side so the sums run in parallel.
void KnnSearch::m_findByRows(int k, std::vector<std::vector<int>>& neighbors) const
{
    const size_t s = m_selected.size();
    const size_t n = static_cast<size_t>(m_n);
    std::vector<float> columns(s * n);
    for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < s; ++c) columns[c * n + i] = m_values[i * m_d + m_selected[c]];
    std::vector<double> sums(n);
    neighbors.resize(n);
    Query query;
    query.k = k;
    query.best.reserve(k + 1);
    for (size_t i = 0; i < n; ++i) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (size_t c = 0; c < s; ++c) {
            const float* column = &columns[c * n];
            const float q = column[i];
            if (m_euclidean) {
                for (size_t j = 0; j < n; ++j) {
                    const float diff = q - column[j];
                    sums[j] += diff * diff;
                }
            } else {
                for (size_t j = 0; j < n; ++j) sums[j] += std::fabs(q - column[j]);
            }
        }
        query.best.clear();
        for (size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            m_offer(static_cast<float>(m_euclidean ? std::sqrt(sums[j]) : sums[j]), static_cast<int>(j), query);
        }
        std::sort_heap(query.best.begin(), query.best.end());
        neighbors[i].resize(k);
        for (int c = 0; c < k; ++c) neighbors[i][c] = query.best[c].second;
    }
}

void KnnSearch::m_findByTree(int k, std::vector<std::vector<int>>& neighbors)
{
    // The selected coordinates side by side, and the tree over them.
    const size_t s = m_selected.size();
    m_points.resize(static_cast<size_t>(m_n) * s);
    for (int i = 0; i < m_n; ++i)
        for (size_t c = 0; c < s; ++c)
            m_points[static_cast<size_t>(i) * s + c] = m_values[static_cast<size_t>(i) * m_d + m_selected[c]];
    m_order.resize(m_n);
    std::iota(m_order.begin(), m_order.end(), 0);
    m_nodes.clear();
    m_boxes.clear();
    m_build(0, m_n);

    neighbors.resize(m_n);
    Query query;
    query.k = k;
    query.best.reserve(k + 1);
    for (int i = 0; i < m_n; ++i) {
        query.point = &m_points[static_cast<size_t>(i) * s];
        query.best.clear();
        m_search(0, i, query);
        std::sort_heap(query.best.begin(), query.best.end());
        neighbors[i].resize(k);
        for (int c = 0; c < k; ++c) neighbors[i][c] = query.best[c].second;
    }
}

}  // namespace Zelvo
