#pragma once

#include "EmbeddingLibrary.h"

#include <Eigen/Core>

#include <cstdint>
#include <utility>
#include <vector>

namespace tapkee {

// The n x n matrix of callback distances, each pair asked once (the callback is
// symmetric), diagonal 0. False after an "Error ..." line when a distance is
// negative or not finite.
bool PairwiseDistances(int n, const DistanceCallback& distance, Eigen::MatrixXf& distances);

// For every point the k nearest other points by a symmetric distance matrix,
// nearest first, equal distances in index order. Requires 1 <= k <= n - 1.
std::vector<std::vector<int>> NearestNeighbors(const Eigen::MatrixXf& distances, int k);

// Keeps j in the list of i only when i is also in the list of j; increasing index order.
std::vector<std::vector<int>> MutualNeighbors(const std::vector<std::vector<int>>& nearest);

// The entries of (I - W)^T (I - W) for a W whose row r holds entries at the points of r's list
// (none on the diagonal, no index twice): (i, j) is one when i and j both lie in r's list or
// are r itself, for some r. Takes about n (k + 1)^2 / 2 steps for lists of k, and holds 20 bytes
// for each point of each row (k + 1 a row) and 28 bytes a point while it counts.
int64_t ProductEntries(const std::vector<std::vector<int>>& neighbors);

// The edges that join the components of the graph that links i and j when either is in
// the other's list: a spanning tree of the components by their shortest connecting edges
// (for two components the shortest edge between them). Empty when the graph is connected.
std::vector<std::pair<int, int>> JoiningEdges(const Eigen::MatrixXf& distances,
                                              const std::vector<std::vector<int>>& nearest, int& componentCount);

// Squared shortest-path lengths over the graph that links i and j when either is
// in the other's list or (i, j) is one of the extra edges, edges weighted by
// `distances`, sums taken in double. False when the graph is not connected.
bool SquaredGeodesics(const Eigen::MatrixXf& distances, const std::vector<std::vector<int>>& nearest,
                      const std::vector<std::pair<int, int>>& extraEdges, Eigen::MatrixXd& squaredGeodesics);

}  // namespace tapkee
