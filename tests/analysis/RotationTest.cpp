#include "ClusterRotate.h"
#include "Evrot.h"
#include "SpectralTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace SpectralTestHelpers;

namespace {

// n rows in g groups (row r in group r % g), one-hot, then rotated by a random orthogonal matrix.
Eigen::MatrixXd rotatedOneHot(int n, int g, unsigned seed, double noise = 0.0)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0.0, noise > 0 ? noise : 1.0);
    Eigen::MatrixXd X = Eigen::MatrixXd::Zero(n, g);
    for (int r = 0; r < n; ++r) {
        X(r, r % g) = 1.0;
        if (noise > 0)
            for (int c = 0; c < g; ++c) X(r, c) += normal(rng);
        X.row(r).normalize();
    }
    return X * randomOrthogonal(g, seed + 1);
}

Eigen::MatrixXd givens(int c, int i, int j, double t)
{
    Eigen::MatrixXd G = Eigen::MatrixXd::Identity(c, c);
    G(i, i) = std::cos(t);
    G(i, j) = std::sin(t);
    G(j, i) = -std::sin(t);
    G(j, j) = std::cos(t);
    return G;
}

}  // namespace

TEST(EvrotTest, QualityHandValues)
{
    const Evrot e(Eigen::MatrixXd::Identity(3, 3), 1);
    // One non-zero per row: perfectly aligned.
    Eigen::MatrixXd Y(3, 3);
    Y << 0, -2, 0, 5, 0, 0, 0, 0, 0.1;
    EXPECT_DOUBLE_EQ(e.evqual(Y), 1.0);
    // Equal magnitudes in all c columns: J / n = c, quality 1 / c.
    Y << 1, -1, 1, 2, 2, -2, 0.5, 0.5, 0.5;
    EXPECT_NEAR(e.evqual(Y), 1.0 / 3.0, 1e-15);
    // Row (1, 0.5, 0): S / smax = 1 + 0.25; the other rows aligned; J = 3.25.
    Y << 1, 0.5, 0, 0, 1, 0, 0, 0, 1;
    EXPECT_NEAR(e.evqual(Y), 1.0 - (3.25 / 3.0 - 1.0) / 3.0, 1e-15);
    // A zero row counts as aligned instead of dividing by zero.
    Y << 0, 0, 0, 0, 1, 0, 0, 0, 1;
    EXPECT_DOUBLE_EQ(e.evqual(Y), 1.0);
}

TEST(EvrotTest, GivensProductsAndDerivative)
{
    const int c = 4;
    const Eigen::MatrixXd X = rotatedOneHot(12, c, 3, 0.2);
    const Evrot e(X, 1);
    Eigen::VectorXd theta(6);
    theta << 0.3, -0.7, 1.1, 0.2, -0.4, 0.9;
    // Angle order (0,1), (0,2), (0,3), (1,2), (1,3), (2,3).
    const int pairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    Eigen::MatrixXd expected = Eigen::MatrixXd::Identity(c, c);
    for (int k = 0; k < 6; ++k) expected = expected * givens(c, pairs[k][0], pairs[k][1], theta(k));
    EXPECT_TRUE(e.build_Uab(theta, 0, 5).isApprox(expected, 1e-14));
    EXPECT_TRUE(e.build_Uab(theta, 3, 2).isIdentity());
    Eigen::MatrixXd middle = givens(c, 0, 3, theta(2)) * givens(c, 1, 2, theta(3));
    EXPECT_TRUE(e.build_Uab(theta, 2, 3).isApprox(middle, 1e-14));
    EXPECT_TRUE(e.rotate_givens(theta).isApprox(X * expected, 1e-14));

    // gradU is the derivative of the Givens matrix.
    const double h = 1e-6;
    for (int k = 0; k < 6; ++k) {
        const Eigen::MatrixXd fd = (givens(c, pairs[k][0], pairs[k][1], theta(k) + h) -
                                    givens(c, pairs[k][0], pairs[k][1], theta(k) - h)) / (2 * h);
        EXPECT_TRUE(e.gradU(theta, k).isApprox(fd, 1e-8)) << "angle " << k;
    }
}

TEST(EvrotTest, QualityGradientMatchesFiniteDifference)
{
    const int c = 4;
    const Eigen::MatrixXd X = rotatedOneHot(40, c, 7, 0.3);
    const Evrot e(X, 1);
    Eigen::VectorXd theta(6);
    theta << 0.1, 0.5, -0.3, 0.8, -1.2, 0.4;
    const double h = 1e-6;
    for (int k = 0; k < 6; ++k) {
        Eigen::VectorXd up = theta, down = theta;
        up(k) += h;
        down(k) -= h;
        // The gradient is of J / (n c) = 1 - quality + const, so it is minus the quality's slope.
        const double fd = -(e.evqual(e.rotate_givens(up)) - e.evqual(e.rotate_givens(down))) / (2 * h);
        EXPECT_NEAR(e.evqualitygrad(theta, k), fd, 1e-6 * std::max(1.0, std::fabs(fd))) << "angle " << k;
    }
}

TEST(EvrotTest, RecoversRotatedOneHotGroups)
{
    for (int g : {2, 3, 5}) {
        const int n = 10 * g;
        const Eigen::MatrixXd X = rotatedOneHot(n, g, 11 + g, 0.02);
        const Evrot e(X, 1);
        EXPECT_GT(e.GetQuality(), 0.99) << g;
        EXPECT_GE(e.GetIterationCount(), 3);
        EXPECT_LE(e.GetIterationCount(), 200);
        ASSERT_EQ(int(e.GetClusters().size()), g);
        std::vector<int> truth(n);
        for (int r = 0; r < n; ++r) truth[r] = r % g;
        EXPECT_DOUBLE_EQ(adjustedRand(labelsOf(e.GetClusters(), n), truth), 1.0) << g;
        // The rotated matrix is X times an orthogonal matrix: row norms unchanged.
        EXPECT_TRUE(e.GetRotatedX().rowwise().norm().isApprox(X.rowwise().norm(), 1e-12));
    }
}

TEST(EvrotTest, KeepsItsOwnCopyOfTheInput)
{
    auto X = std::make_unique<Eigen::MatrixXd>(rotatedOneHot(20, 2, 5, 0.05));
    const Evrot e(*X, 1);
    Eigen::VectorXd theta = Eigen::VectorXd::Zero(1);
    const Eigen::MatrixXd before = e.rotate_givens(theta);
    X.reset();  // the caller's matrix is gone
    EXPECT_TRUE(e.rotate_givens(theta).isApprox(before, 0));
}

TEST(EvrotTest, TiesGoToTheLowerColumn)
{
    // Rows with equal magnitudes in both columns at a rotation optimum of 0: the
    // assignment must pick column 0 for ties.
    Eigen::MatrixXd X(3, 2);
    X << 1, 1, 1, 1, 1, 1;
    const Evrot e(X, 1);
    ASSERT_EQ(e.GetClusters().size(), 2u);
    // Whatever the rotation, identical rows share one list.
    EXPECT_TRUE(e.GetClusters()[0].size() == 3 || e.GetClusters()[1].size() == 3);
    Eigen::MatrixXd Y(2, 2);
    Y << 1, 0, 0, 1;
    const Evrot aligned(Y, 1);  // already optimal: no angle improves it
    EXPECT_DOUBLE_EQ(aligned.GetQuality(), 1.0);
    EXPECT_EQ(aligned.GetClusters()[0], std::vector<int>{0});
    EXPECT_EQ(aligned.GetClusters()[1], std::vector<int>{1});
}

TEST(ClusterRotateTest, SelectionRule)
{
    {
        ClusterRotate r(1);
        EXPECT_TRUE(r.AcceptQuality(0.95));
        EXPECT_TRUE(r.AcceptQuality(0.9495));  // within 0.001: the larger count wins
        EXPECT_DOUBLE_EQ(r.GetBestQuality(), 0.95);
    }
    {
        ClusterRotate r(1);
        EXPECT_TRUE(r.AcceptQuality(0.95));
        EXPECT_FALSE(r.AcceptQuality(0.948));
        EXPECT_DOUBLE_EQ(r.GetBestQuality(), 0.95);
        EXPECT_TRUE(r.AcceptQuality(0.9492));  // measured against the best, not the last
        EXPECT_FALSE(r.AcceptQuality(0.9489));
        EXPECT_TRUE(r.AcceptQuality(0.97));
        EXPECT_DOUBLE_EQ(r.GetBestQuality(), 0.97);
    }
}

TEST(ClusterRotateTest, FewerThanTwoColumnsGiveNothing)
{
    ClusterRotate r(1);
    EXPECT_TRUE(r.cluster(Eigen::MatrixXd::Ones(5, 1)).empty());
    EXPECT_TRUE(r.cluster(Eigen::MatrixXd(0, 0)).empty());
    EXPECT_EQ(r.GetChosenCount(), 0);
}

TEST(ClusterRotateTest, ChoosesTheGroupCountAndOrdersMembers)
{
    // Three aligned groups in the first three columns, then two columns of small noise.
    const int n = 60;
    std::mt19937 rng(9);
    std::normal_distribution<double> normal(0.0, 0.01);
    Eigen::MatrixXd X = Eigen::MatrixXd::Zero(n, 5);
    X.leftCols(3) = rotatedOneHot(n, 3, 21, 0.03);
    for (int r = 0; r < n; ++r) {
        X(r, 3) = normal(rng);
        X(r, 4) = normal(rng);
        X.row(r).normalize();
    }
    ClusterRotate rotate(1);
    const auto lists = rotate.cluster(X);
    EXPECT_EQ(rotate.GetChosenCount(), int(lists.size()));
    std::vector<int> truth(n);
    for (int r = 0; r < n; ++r) truth[r] = r % 3;
    std::vector<int> labels = labelsOf(lists, n);
    int nonEmpty = 0;
    for (auto& l : lists) nonEmpty += !l.empty();
    EXPECT_EQ(nonEmpty, 3);
    EXPECT_DOUBLE_EQ(adjustedRand(labels, truth), 1.0);
    // Every point appears once.
    size_t total = 0;
    for (auto& l : lists) total += l.size();
    EXPECT_EQ(total, size_t(n));
}

TEST(ClusterRotateTest, MembersOrderedByDistanceToTheirMean)
{
    // Two columns: the chosen count is 2 and distances to a mean do not change under rotation,
    // so the expected order comes from the input itself.
    const double a[] = {0.0, 0.3, 0.1, 0.25, 0.1, 0.05};
    const int n = 12;
    Eigen::MatrixXd X(n, 2);
    for (int r = 0; r < n; ++r) {
        const double t = a[(r / 2) % 6] * ((r / 2) % 2 ? 1 : -1);
        X(r, 0) = r % 2 ? std::sin(t) : std::cos(t);
        X(r, 1) = r % 2 ? std::cos(t) : std::sin(t);
    }
    ClusterRotate rotate(1);
    const auto lists = rotate.cluster(X);
    ASSERT_EQ(lists.size(), 2u);
    for (const auto& members : lists) {
        ASSERT_EQ(members.size(), 6u);
        Eigen::RowVector2d centre = Eigen::RowVector2d::Zero();
        for (int p : members) centre += X.row(p);
        centre /= 6.0;
        std::vector<int> expected = members;
        std::sort(expected.begin(), expected.end());
        std::stable_sort(expected.begin(), expected.end(), [&](int p, int q) {
            return (X.row(p) - centre).squaredNorm() < (X.row(q) - centre).squaredNorm() - 1e-12;
        });
        EXPECT_EQ(members, expected);
    }
}
