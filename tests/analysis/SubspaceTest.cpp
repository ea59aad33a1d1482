#include "SpectralClusteringCore.h"
#include "SpectralTestHelpers.h"
#include "SubspaceAffinity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace SpectralTestHelpers;
using Zelvo::HDpointSet;
using Zelvo::SpectralClusteringCore;

namespace {

// perSpace points on each of `spaces` random 2-D subspaces of R^d, interleaved (point i on
// subspace i % spaces); returned as a d x n matrix.
Eigen::MatrixXd subspacePoints(int spaces, int perSpace, int d, unsigned seed, std::vector<int>& truth)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal;
    std::vector<Eigen::MatrixXd> bases;
    for (int s = 0; s < spaces; ++s) bases.push_back(randomOrthogonal(d, seed * 31 + s).leftCols(2));
    Eigen::MatrixXd X(d, spaces * perSpace);
    truth.clear();
    for (int p = 0; p < perSpace; ++p)
        for (int s = 0; s < spaces; ++s) {
            Eigen::Vector2d w(normal(rng), normal(rng));
            X.col(p * spaces + s) = bases[s] * w;
            truth.push_back(s);
        }
    return X;
}

void fillFromColumns(HDpointSet<float>& set, const Eigen::MatrixXd& X)
{
    std::vector<float> values;
    for (Eigen::Index i = 0; i < X.cols(); ++i)
        for (Eigen::Index c = 0; c < X.rows(); ++c) values.push_back(float(X(c, i)));
    fillSet(set, values, int(X.rows()));
}

}  // namespace

TEST(SubspaceClusteringTest, SortIndexOrdersByDecreasingValue)
{
    EXPECT_EQ(Zelvo::SortIndex({0.5, 2.0, -1.0, 2.0, 1.0}), (std::vector<int>{1, 3, 4, 0, 2}));
    EXPECT_TRUE(Zelvo::SortIndex({}).empty());
    EXPECT_TRUE(Zelvo::argsort_comp({0, 2.0}, {1, 1.0}));
    EXPECT_FALSE(Zelvo::argsort_comp({0, 1.0}, {1, 1.0}));
}

TEST(SubspaceClusteringTest, AffinityMatchesTheClosedFormInNumPy)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Python oracles";
    // 12 points (nothing cut) and 45 points (15 kept per point).
    for (int perSpace : {4, 15}) {
        std::vector<int> truth;
        Eigen::MatrixXd X = subspacePoints(3, perSpace, 8, 5 + perSpace, truth);
        X += 0.01 * Eigen::MatrixXd::Random(X.rows(), X.cols());  // noise: full rank, no exact ties
        const int n = int(X.cols());
        Eigen::MatrixXd A;
        TestSupport::CaptureStdout([&] { ASSERT_TRUE(Zelvo::BuildSubspaceAffinity(X, A)); });
        ASSERT_EQ(A.rows(), n);

        TestSupport::TempDir dir;
        writeMatrix(dir.file("x.txt"), X);
        int code = 0;
        // The textbook computation: an n x n inverse and the eta correction, point by point.
        const std::vector<double> numbers = runPython(dir,
            "import numpy as np\nX = np.loadtxt('x.txt')\nn = X.shape[1]\n"
            "P = np.linalg.inv(X.T @ X + 1e-6 * np.eye(n))\nZ = np.zeros((n, n))\n"
            "for i in range(n):\n"
            "    y = X[:, i]; e = np.zeros(n); e[i] = 1\n"
            "    eta = (e @ P @ X.T @ y) / (e @ P @ e)\n"
            "    c = P @ (X.T @ y - eta * e)\n    c = c / np.linalg.norm(c)\n"
            "    order = np.argsort(-np.abs(c), kind='stable')\n    c[order[15:]] = 0\n    Z[:, i] = c\n"
            "A = np.abs(Z) + np.abs(Z).T\nprint(' '.join(repr(v) for v in A.ravel()))\n", &code);
        ASSERT_EQ(code, 0);
        ASSERT_EQ(numbers.size(), size_t(n) * n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) ASSERT_NEAR(A(i, j), numbers[i * n + j], 1e-6) << perSpace << ": " << i << "," << j;
        EXPECT_TRUE(A.isApprox(A.transpose(), 0));
        EXPECT_EQ(A.diagonal().cwiseAbs().maxCoeff(), 0.0);
        // Each column of Z keeps at most 15 entries, so A holds at most 2 x 15 n non-zeros.
        EXPECT_LE((A.array() != 0).count(), 2 * n * std::min(n - 1, 15));
        if (n <= 15) {
            for (int i = 0; i < n; ++i) EXPECT_EQ((A.row(i).array() != 0).count(), n - 1);  // nothing cut
        }
    }
}

TEST(SubspaceClusteringTest, RecoversThreeRandomPlanesOfR8)
{
    std::vector<int> truth;
    const Eigen::MatrixXd X = subspacePoints(3, 40, 8, 77, truth);
    HDpointSet<float> set;
    fillFromColumns(set, X);
    for (int count : {3, 0}) {
        SpectralClusteringCore core(count, 123.0, 10);  // the kernel plays no part here
        core.SetRandomGenerator(seedRows(set.GetPointCount()));
        std::vector<std::vector<int>> lists;
        bool ok = false;
        const std::string out = TestSupport::CaptureStdout([&] { ok = core.RunSubspaceClustering(&set, lists); });
        ASSERT_TRUE(ok) << out;
        const std::vector<int> labels = labelsOf(lists, set.GetPointCount());
        EXPECT_DOUBLE_EQ(adjustedRand(labels, truth), 1.0) << "count " << count;
        // The three progress lines, each after an empty line, before the decomposition's.
        const size_t a = out.find("\nSubspaceClustering .... building the affinity matrix .....\n");
        const size_t b = out.find("\nSubspaceClustering .... building the normalized laplacian matrix .....\n");
        const size_t c = out.find("\nSubspaceClustering .... run spectral clustering .....\n");
        const size_t d = out.find("CspectralClustering::eigen decomposition finished");
        ASSERT_NE(a, std::string::npos);
        EXPECT_EQ(a, 0u);
        EXPECT_LT(a, b);
        EXPECT_LT(b, c);
        EXPECT_LT(c, d);
        EXPECT_NE(b, std::string::npos);
        EXPECT_NE(d, std::string::npos);
    }
}

TEST(SubspaceClusteringTest, DegenerateInputsFailWithAnErrorLine)
{
    Eigen::MatrixXd A;
    std::string out;
    out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(Zelvo::BuildSubspaceAffinity(Eigen::MatrixXd(3, 0), A)); });
    EXPECT_EQ(out.rfind("Error", 0), 0u);
    // A single point cannot be written with the others.
    out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(Zelvo::BuildSubspaceAffinity(Eigen::MatrixXd::Ones(3, 1), A)); });
    EXPECT_EQ(out.rfind("Error", 0), 0u);
    // A point at the origin has all-zero coefficients.
    Eigen::MatrixXd X = Eigen::MatrixXd::Random(3, 6);
    X.col(2).setZero();
    out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(Zelvo::BuildSubspaceAffinity(X, A)); });
    EXPECT_NE(out.find("Error: SubspaceClustering point 2"), std::string::npos);
    X(1, 1) = std::numeric_limits<double>::quiet_NaN();
    out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(Zelvo::BuildSubspaceAffinity(X, A)); });
    EXPECT_EQ(out.rfind("Error", 0), 0u);

    HDpointSet<float> empty;
    SpectralClusteringCore core(3, 0, 10);
    std::vector<std::vector<int>> lists;
    out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(core.RunSubspaceClustering(&empty, lists)); });
    EXPECT_NE(out.find("Error"), std::string::npos);
    EXPECT_EQ(out.find("run spectral clustering"), std::string::npos);
    EXPECT_TRUE(lists.empty());
}
