#pragma once

#include <Eigen/Dense>

#include <utility>
#include <vector>

namespace Zelvo {

// Least-squares self-representation affinity: every point (column of X, d x n) is written
// as a ridge-regularised (1e-6) combination of the other points, its coefficient vector
// scaled to unit length, only its 15 largest magnitudes kept, and A = |Z| + |Z|^T.
// Fails with an "Error ..." line for no points, a non-finite value or a point whose
// coefficients are all zero.
bool BuildSubspaceAffinity(const Eigen::MatrixXd& X, Eigen::MatrixXd& affinity);

// True when the first pair's value is greater (index, value pairs).
bool argsort_comp(const std::pair<int, double>& left, const std::pair<int, double>& right);
// Indices 0 .. size-1 by decreasing value; equal values keep increasing index.
std::vector<int> SortIndex(const std::vector<double>& values);

}  // namespace Zelvo
