#pragma once

#include "EmbeddingLibrary.h"

#include <Eigen/Core>

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

// Squared shortest-path lengths over the graph that links i and j when either is
// in the other's list, edges weighted by `distances`, sums taken in double.
// False when the graph is not connected.
bool SquaredGeodesics(const Eigen::MatrixXf& distances, const std::vector<std::vector<int>>& nearest,
                      Eigen::MatrixXd& squaredGeodesics);

}  // namespace tapkee
