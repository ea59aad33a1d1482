#include "SubspaceAffinity.h"

#include "Log.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Zelvo {

namespace {

const double kRidge = 1e-6;
const int kKeptCoefficients = 15;

}  // namespace

bool argsort_comp(const std::pair<int, double>& left, const std::pair<int, double>& right)
{
    return left.second > right.second;
}

std::vector<int> SortIndex(const std::vector<double>& values)
{
    std::vector<std::pair<int, double>> pairs(values.size());
    for (size_t i = 0; i < values.size(); ++i) pairs[i] = {int(i), values[i]};
    std::stable_sort(pairs.begin(), pairs.end(), argsort_comp);
    std::vector<int> order(values.size());
    for (size_t i = 0; i < pairs.size(); ++i) order[i] = pairs[i].first;
    return order;
}

bool BuildSubspaceAffinity(const Eigen::MatrixXd& X, Eigen::MatrixXd& affinity)
{
    const Eigen::Index d = X.rows();
    const Eigen::Index n = X.cols();
    if (n == 0 || d == 0) {
        Log::Puts("Error: SubspaceClustering has no points or no selected dimension");
        return false;
    }
    if (!X.allFinite()) {
        Log::Puts("Error: SubspaceClustering input holds a non-finite value");
        return false;
    }

    // With P = (X^T X + rI)^-1 the coefficients of point i are c = e_i - P e_i / P_ii.
    // Writing P = (I - W) / r with W = X^T (rI + X X^T)^-1 X, c is proportional to W e_i
    // with entry i set to 0. By the push-through identity W = G (rI + G)^-1 with G = X^T X,
    // so the smaller of the d x d and the n x n systems is solved: wide data (few points,
    // many dimensions) never builds a d x d matrix.
    Eigen::MatrixXd W;  // column i = W e_i, built whole only in the n x n form
    Eigen::MatrixXd S;  // d x n, column i = (rI + X X^T)^-1 x_i, for the d x d form
    if (n < d) {
        const Eigen::MatrixXd G = X.transpose() * X;
        const Eigen::MatrixXd M = G + kRidge * Eigen::MatrixXd::Identity(n, n);
        W = Eigen::LDLT<Eigen::MatrixXd>(M).solve(G);  // (rI + G)^-1 G = G (rI + G)^-1
    } else {
        const Eigen::MatrixXd M = X * X.transpose() + kRidge * Eigen::MatrixXd::Identity(d, d);
        S = Eigen::LDLT<Eigen::MatrixXd>(M).solve(X);
    }

    affinity.setZero(n, n);
    const Eigen::Index keep = std::min<Eigen::Index>(kKeptCoefficients, n);
    std::vector<std::pair<int, double>> magnitudes(n);
    Eigen::VectorXd c(n);
    for (Eigen::Index i = 0; i < n; ++i) {
        if (n < d) c = W.col(i);
        else c.noalias() = X.transpose() * S.col(i);
        c(i) = 0;
        const double norm = c.norm();
        if (!(norm > 0) || !std::isfinite(norm)) {
            Log::Printf("Error: SubspaceClustering point %ld has no representation by the other points\n", long(i));
            return false;
        }
        c /= norm;
        for (Eigen::Index r = 0; r < n; ++r) magnitudes[r] = {int(r), std::fabs(c(r))};
        // Largest magnitudes first; equal magnitudes keep the lower index.
        auto before = [](const std::pair<int, double>& a, const std::pair<int, double>& b) {
            return a.second > b.second || (a.second == b.second && a.first < b.first);
        };
        std::nth_element(magnitudes.begin(), magnitudes.begin() + (keep - 1), magnitudes.end(), before);
        for (Eigen::Index t = 0; t < keep; ++t) {
            const int r = magnitudes[t].first;
            const double a = magnitudes[t].second;
            affinity(r, i) += a;
            affinity(i, r) += a;
        }
    }
    return true;
}

}  // namespace Zelvo
