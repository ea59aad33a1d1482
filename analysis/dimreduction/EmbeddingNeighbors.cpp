#include "EmbeddingNeighbors.h"

#include "Log.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

namespace tapkee {

bool PairwiseDistances(int n, const DistanceCallback& distance, Eigen::MatrixXf& distances)
{
    distances.resize(n, n);
    for (int i = 0; i < n; ++i) {
        distances(i, i) = 0.0f;
        for (int j = i + 1; j < n; ++j) {
            const float d = distance(i, j);
            if (!std::isfinite(d) || d < 0) {
                Zelvo::Log::Printf("Error: distance %f between points %d and %d is no distance\n", d, i, j);
                distances.resize(0, 0);
                return false;
            }
            distances(j, i) = d;
            distances(i, j) = d;
        }
    }
    return true;
}

std::vector<std::vector<int>> NearestNeighbors(const Eigen::MatrixXf& distances, int k)
{
    const int n = static_cast<int>(distances.rows());
    std::vector<std::vector<int>> nearest(n);
    std::vector<std::pair<float, int>> candidates;
    candidates.reserve(n);
    for (int i = 0; i < n; ++i) {
        candidates.clear();
        const float* column = distances.col(i).data();
        for (int j = 0; j < n; ++j)
            if (j != i) candidates.emplace_back(column[j], j);
        // Pairs compare by distance, then by index.
        std::nth_element(candidates.begin(), candidates.begin() + (k - 1), candidates.end());
        std::sort(candidates.begin(), candidates.begin() + k);
        nearest[i].resize(k);
        for (int c = 0; c < k; ++c) nearest[i][c] = candidates[c].second;
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

bool SquaredGeodesics(const Eigen::MatrixXf& distances, const std::vector<std::vector<int>>& nearest,
                      Eigen::MatrixXd& squaredGeodesics)
{
    const int n = static_cast<int>(nearest.size());

    // Undirected adjacency in compressed rows.
    std::vector<std::vector<int>> links(n);
    for (int i = 0; i < n; ++i)
        for (int j : nearest[i]) {
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
