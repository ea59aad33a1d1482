#include "EmbeddingNeighbors.h"

#include "Log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>

namespace tapkee {

bool PairwiseDistances(int n, const DistanceCallback& distance, Eigen::MatrixXf& distances)
{
    distances.resize(n, n);
    // Fill the lower triangle column by column, then mirror it in cache-sized tiles.
    for (int i = 0; i < n; ++i) {
        float* column = distances.col(i).data();
        column[i] = 0.0f;
        for (int j = i + 1; j < n; ++j) {
            const float d = distance(i, j);
            if (!std::isfinite(d) || d < 0) {
                Zelvo::Log::Printf("Error: distance %f between points %d and %d is no distance\n", d, i, j);
                distances.resize(0, 0);
                return false;
            }
            column[j] = d;
        }
    }
    const int tile = 64;
    for (int first = 0; first < n; first += tile)
        for (int row = first; row < n; row += tile)
            for (int c = first; c < std::min(first + tile, n); ++c)
                for (int r = std::max(row, c + 1); r < std::min(row + tile, n); ++r) distances(c, r) = distances(r, c);
    return true;
}

std::vector<std::vector<int>> NearestNeighbors(const Eigen::MatrixXf& distances, int k)
{
    const int n = static_cast<int>(distances.rows());
    std::vector<std::vector<int>> nearest(n);
    // A max-heap of the k best (distance, index) pairs seen so far. Points come in
    // index order, so a newcomer displaces the worst kept one only when strictly
    // nearer: equal distances stay in index order.
    std::vector<std::pair<float, int>> best;
    best.reserve(k + 1);
    for (int i = 0; i < n; ++i) {
        best.clear();
        const float* column = distances.col(i).data();
        int j = 0;
        for (; static_cast<int>(best.size()) < k; ++j) {
            if (j == i) continue;
            best.emplace_back(column[j], j);
            std::push_heap(best.begin(), best.end());
        }
        float worst = best.front().first;
        for (; j < n; ++j) {
            if (column[j] < worst && j != i) {
                std::pop_heap(best.begin(), best.end());
                best.back() = std::pair<float, int>(column[j], j);
                std::push_heap(best.begin(), best.end());
                worst = best.front().first;
            }
        }
        std::sort_heap(best.begin(), best.end());
        nearest[i].resize(k);
        for (int c = 0; c < k; ++c) nearest[i][c] = best[c].second;
    }
    return nearest;
}

std::vector<std::vector<int>> MutualNeighbors(const std::vector<std::vector<int>>& nearest)
{
    const int n = static_cast<int>(nearest.size());
    std::vector<std::vector<int>> sorted(nearest);
    for (auto& list : sorted) std::sort(list.begin(), list.end());
    std::vector<std::vector<int>> mutual(n);
    for (int i = 0; i < n; ++i)
        for (int j : sorted[i])
            if (std::binary_search(sorted[j].begin(), sorted[j].end(), i)) mutual[i].push_back(j);
    return mutual;
}

int64_t ProductEntries(const std::vector<std::vector<int>>& neighbors)
{
    const int n = static_cast<int>(neighbors.size());
    // The points of each row r, r itself and its list, in increasing order.
    std::vector<size_t> start(n + 1, 0);
    for (int r = 0; r < n; ++r) start[r + 1] = start[r] + neighbors[r].size() + 1;
    std::vector<int> points(start[n]);
    for (int r = 0; r < n; ++r) {
        int* row = points.data() + start[r];
        row[0] = r;
        std::copy(neighbors[r].begin(), neighbors[r].end(), row + 1);
        std::sort(row, points.data() + start[r + 1]);
    }
    // For every point j, the rows that hold it, each as the span of its points below j.
    std::vector<size_t> first(n + 1, 0);
    for (int j : points) ++first[j + 1];
    for (int j = 0; j < n; ++j) first[j + 1] += first[j];
    std::vector<std::pair<size_t, size_t>> below(start[n]);
    {
        std::vector<size_t> next(first.begin(), first.end() - 1);
        for (int r = 0; r < n; ++r)
            for (size_t p = start[r]; p < start[r + 1]; ++p) below[next[points[p]]++] = {start[r], p};
    }
    // The product is symmetric and its diagonal full: count the entries above the diagonal,
    // column j holding the union of those spans. seen[i] == j marks i as counted in column j
    // already (without a branch, which the processor could not foresee).
    std::vector<int> seen(n, -1);
    int64_t above = 0;
    for (int j = 0; j < n; ++j)
        for (size_t e = first[j]; e < first[j + 1]; ++e)
            for (size_t p = below[e].first; p < below[e].second; ++p) {
                above += seen[points[p]] != j;
                seen[points[p]] = j;
            }
    return 2 * above + n;
}

namespace {

// Each point's neighbours both ways: j in i's list links i and j.
std::vector<std::vector<int>> UndirectedLinks(const std::vector<std::vector<int>>& nearest)
{
    std::vector<std::vector<int>> links(nearest.size());
    for (size_t i = 0; i < nearest.size(); ++i)
        for (int j : nearest[i]) {
            links[i].push_back(j);
            links[j].push_back(static_cast<int>(i));
        }
    return links;
}

}  // namespace

std::vector<std::pair<int, int>> JoiningEdges(const Eigen::MatrixXf& distances,
                                              const std::vector<std::vector<int>>& nearest, int& componentCount)
{
    const int n = static_cast<int>(nearest.size());
    const std::vector<std::vector<int>> links = UndirectedLinks(nearest);
    std::vector<int> component(n, -1);
    std::vector<std::vector<int>> members;
    for (int seed = 0; seed < n; ++seed) {
        if (component[seed] >= 0) continue;
        const int c = static_cast<int>(members.size());
        members.emplace_back(1, seed);
        component[seed] = c;
        for (size_t next = 0; next < members[c].size(); ++next)
            for (int j : links[members[c][next]])
                if (component[j] < 0) {
                    component[j] = c;
                    members[c].push_back(j);
                }
    }
    componentCount = static_cast<int>(members.size());

    // Prim's algorithm over the pieces: the next piece joined is the one nearest to those
    // joined so far, by its shortest edge to them. O(n^2) in all, and only count - 1 edges,
    // whatever the number of pieces.
    std::vector<std::pair<int, int>> edges;
    if (componentCount < 2) return edges;
    const float infinity = std::numeric_limits<float>::infinity();
    std::vector<float> gap(n, infinity);  // shortest edge from each point to the joined pieces
    std::vector<int> from(n, -1);
    std::vector<char> joined(members.size(), 0);
    auto join = [&](int c) {
        joined[c] = 1;
        for (int i : members[c]) {
            const float* column = distances.col(i).data();  // symmetric: column i is row i
            for (int j = 0; j < n; ++j)
                if (!joined[component[j]] && (column[j] < gap[j] || from[j] < 0)) {
                    gap[j] = column[j];
                    from[j] = i;
                }
        }
    };
    join(0);
    for (int step = 1; step < componentCount; ++step) {
        int next = -1;
        for (int j = 0; j < n; ++j)
            if (!joined[component[j]] && (next < 0 || gap[j] < gap[next])) next = j;
        edges.emplace_back(from[next], next);
        join(component[next]);
    }
    return edges;
}

bool SquaredGeodesics(const Eigen::MatrixXf& distances, const std::vector<std::vector<int>>& nearest,
                      const std::vector<std::pair<int, int>>& extraEdges, Eigen::MatrixXd& squaredGeodesics)
{
    const int n = static_cast<int>(nearest.size());

    std::vector<std::vector<int>> links = UndirectedLinks(nearest);
    for (const auto& [i, j] : extraEdges) {
        links[i].push_back(j);
        links[j].push_back(i);
    }
    std::vector<int> start(n + 1, 0);
    std::vector<int> target;
    std::vector<double> length;
    for (int i = 0; i < n; ++i) {
        std::sort(links[i].begin(), links[i].end());
        links[i].erase(std::unique(links[i].begin(), links[i].end()), links[i].end());
        for (int j : links[i]) {
            target.push_back(j);
            length.push_back(static_cast<double>(distances(i, j)));
        }
        start[i + 1] = static_cast<int>(target.size());
        std::vector<int>().swap(links[i]);
    }

    squaredGeodesics.resize(n, n);
    const double infinity = std::numeric_limits<double>::infinity();
    std::vector<double> best(n);
    std::vector<std::pair<double, int>> heap;
    const auto later = std::greater<std::pair<double, int>>();
    for (int source = 0; source < n; ++source) {
        std::fill(best.begin(), best.end(), infinity);
        best[source] = 0;
        heap.clear();
        heap.emplace_back(0.0, source);
        while (!heap.empty()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            const auto [reached, node] = heap.back();
            heap.pop_back();
            if (reached > best[node]) continue;  // stale entry
            for (int e = start[node]; e < start[node + 1]; ++e) {
                const double candidate = reached + length[e];
                if (candidate < best[target[e]]) {
                    best[target[e]] = candidate;
                    heap.emplace_back(candidate, target[e]);
                    std::push_heap(heap.begin(), heap.end(), later);
                }
            }
        }
        double* column = squaredGeodesics.col(source).data();
        for (int j = 0; j < n; ++j) {
            if (best[j] == infinity) {
                squaredGeodesics.resize(0, 0);
                return false;
            }
            column[j] = best[j] * best[j];
        }
    }
    // Paths found from either end may differ in the last bits; make the matrix exactly symmetric.
    for (int j = 0; j < n; ++j)
        for (int i = j + 1; i < n; ++i) {
            const double mean = 0.5 * (squaredGeodesics(i, j) + squaredGeodesics(j, i));
            squaredGeodesics(i, j) = mean;
            squaredGeodesics(j, i) = mean;
        }
    return true;
}

}  // namespace tapkee
