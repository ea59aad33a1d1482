#pragma once

#include <Eigen/Core>

namespace Zelvo {

// Which distance SubspaceDistance measures: 1 the chordal distance, 0 and any other value
// the Grassmannian distance.
enum SubspaceDistanceType { GrassmanianSubspaceDistance = 0, ChordalSubspaceDistance = 1 };

// Distance between the spans of two bases (one row per dimension of the point space, one
// column per spanning vector). When the spans differ in dimension, the smaller one is
// compared with the directions of the larger one that line up with it best. NaN after an
// "Error ..." line when the bases have different row counts, are empty, hold values that
// are not finite or span nothing.
float SubspaceDistance(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b, SubspaceDistanceType type);

}  // namespace Zelvo

// Bases need not be orthonormal: both functions measure the spans (each basis counts with
// its rank). Failures as for Zelvo::SubspaceDistance.

// Square root of the sum of the squared principal angles between the spans.
float GrassmanianDistance(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b);
// Frobenius norm of the difference of the orthogonal projections onto the spans.
float ChordalDistance(const Eigen::MatrixXf& a, const Eigen::MatrixXf& b);
