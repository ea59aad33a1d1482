#include "EmbeddingTestData.h"

#include "TestSupport.h"

#include <Eigen/SVD>

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace EmbeddingTestData {

Eigen::MatrixXd ReadCsv(const std::string& path, int headerLines)
{
    std::ifstream in(path);
    std::string line;
    std::vector<std::vector<double>> rows;
    for (int skipped = 0; skipped < headerLines && std::getline(in, line); ++skipped) {
    }
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<double> row;
        const char* p = line.data();
        const char* end = line.data() + line.size();
        while (p < end) {
            double value = 0;
            const auto [next, error] = std::from_chars(p, end, value);
            if (error != std::errc()) return Eigen::MatrixXd();
            row.push_back(value);
            p = next;
            if (p < end && *p == ',') ++p;
            else if (p < end) return Eigen::MatrixXd();
        }
        rows.push_back(row);
    }
    if (rows.empty()) return Eigen::MatrixXd();
    Eigen::MatrixXd matrix(rows.size(), rows[0].size());
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].size() != rows[0].size()) return Eigen::MatrixXd();
        for (size_t c = 0; c < rows[r].size(); ++c) matrix(r, c) = rows[r][c];
    }
    return matrix;
}

bool WriteCsv(const std::string& path, const Eigen::MatrixXd& matrix)
{
    std::string text;
    char buffer[64];
    for (Eigen::Index r = 0; r < matrix.rows(); ++r) {
        for (Eigen::Index c = 0; c < matrix.cols(); ++c) {
            if (c > 0) text += ',';
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, matrix(r, c));
            text.append(buffer, result.ptr);
        }
        text += '\n';
    }
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

double MaxDifferenceUpToSign(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b)
{
    if (a.rows() != b.rows() || a.cols() != b.cols()) return 1e300;
    double worst = 0;
    for (Eigen::Index c = 0; c < a.cols(); ++c) {
        const double same = (a.col(c) - b.col(c)).cwiseAbs().maxCoeff();
        const double flipped = (a.col(c) + b.col(c)).cwiseAbs().maxCoeff();
        worst = std::max(worst, std::min(same, flipped));
    }
    return worst;
}

double ProcrustesDisparity(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b)
{
    if (a.rows() != b.rows() || a.cols() != b.cols()) return 1e300;
    Eigen::MatrixXd x = a.rowwise() - a.colwise().mean();
    Eigen::MatrixXd y = b.rowwise() - b.colwise().mean();
    x /= x.norm();
    y /= y.norm();
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(x.transpose() * y);
    const double s = svd.singularValues().sum();
    return 1.0 - s * s;
}

}  // namespace EmbeddingTestData
