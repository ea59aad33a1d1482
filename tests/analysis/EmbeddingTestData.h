#pragma once

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <string>

// Matrix files and comparisons shared by the embedding library tests.
namespace EmbeddingTestData {

// Reads a comma-separated numeric table (rows = points); skips `headerLines` first lines.
Eigen::MatrixXd ReadCsv(const std::string& path, int headerLines = 0);
// Writes a matrix as comma-separated rows with round-trip precision (C locale).
bool WriteCsv(const std::string& path, const Eigen::MatrixXd& matrix);

// Largest |a - s b| over the column pairs, s = +1 or -1 chosen per column.
double MaxDifferenceUpToSign(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b);
// Procrustes disparity of two point configurations (rows = points) after centring and
// scaling both to unit Frobenius norm and the best rotation.
double ProcrustesDisparity(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b);

}  // namespace EmbeddingTestData
