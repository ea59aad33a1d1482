#include "MinimalEnclosingBall.h"
#include "Miniball.h"
#include "SupportWalk.h"
#include "TestSupport.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

using Zelvo::MinimalEnclosingBall;

namespace {

float Radius(std::vector<float>& points, int dimension)
{
    MinimalEnclosingBall ball;
    ball.SetPoints(points.data(), int(points.size()) / dimension, dimension);
    ball.CalculateMinimalEnclosingBall();
    return ball.GetRadius();
}

// Brute force in double: the smallest ball is the circumscribed ball (centre in the affine
// hull) of some subset of at most d + 1 points that encloses every point.
double BruteForceRadius(const std::vector<float>& points, int d)
{
    const int n = int(points.size()) / d;
    auto at = [&](int i) {
        Eigen::VectorXd p(d);
        for (int j = 0; j < d; ++j)
            p[j] = points[size_t(i * d + j)];
        return p;
    };
    double best = INFINITY;
    std::vector<int> subset;
    std::function<void(int)> visit = [&](int start) {
        if (!subset.empty()) {
            const Eigen::VectorXd q0 = at(subset[0]);
            const int k = int(subset.size()) - 1;
            Eigen::VectorXd centre = q0;
            bool ok = true;
            if (k > 0) {
                Eigen::MatrixXd u(d, k);
                for (int i = 0; i < k; ++i)
                    u.col(i) = at(subset[size_t(i + 1)]) - q0;
                const Eigen::MatrixXd m = 2.0 * u.transpose() * u;
                Eigen::VectorXd b(k);
                for (int i = 0; i < k; ++i)
                    b[i] = u.col(i).squaredNorm();
                Eigen::FullPivLU<Eigen::MatrixXd> lu(m);
                ok = lu.rank() == k;
                if (ok)
                    centre = q0 + u * lu.solve(b);
            }
            if (ok) {
                const double r = (centre - q0).norm();
                bool encloses = r < best;
                for (int i = 0; i < n && encloses; ++i)
                    encloses = (at(i) - centre).norm() <= r * (1 + 1e-9) + 1e-12;
                if (encloses)
                    best = r;
            }
        }
        if (int(subset.size()) == d + 1)
            return;
        for (int i = start; i < n; ++i) {
            subset.push_back(i);
            visit(i + 1);
            subset.pop_back();
        }
    };
    visit(0);
    return best;
}

std::vector<float> RandomPoints(std::mt19937& rng, int n, int d, float scale = 1.0f)
{
    std::normal_distribution<float> normal(0.0f, scale);
    std::vector<float> points(size_t(n) * size_t(d));
    for (float& v : points)
        v = normal(rng);
    return points;
}

// Every point lies in the ball of the given centre and radius, up to float rounding.
template <typename Centre>
void ExpectAllInside(const std::vector<float>& points, int d, const Centre* centre, double radius)
{
    const size_t n = points.size() / size_t(d);
    double worst = 0;
    for (size_t i = 0; i < n; ++i) {
        double s = 0;
        for (int j = 0; j < d; ++j) {
            const double diff = double(points[i * size_t(d) + size_t(j)]) - double(centre[j]);
            s += diff * diff;
        }
        worst = std::max(worst, std::sqrt(s));
    }
    EXPECT_LE(worst, radius * (1 + 2e-5) + 1e-6);
}

}  // namespace

TEST(MinimalEnclosingBall, SmallCasesAndStates)
{
    MinimalEnclosingBall ball;
    EXPECT_EQ(ball.GetRadius(), -1.0f);
    ball.CalculateMinimalEnclosingBall();  // no data: nothing happens
    EXPECT_EQ(ball.GetRadius(), -1.0f);

    std::vector<float> one{3.0f, -4.0f, 5.0f};
    EXPECT_EQ(Radius(one, 3), 0.0f);

    std::vector<float> two{1.0f, 1.0f, 4.0f, 5.0f};
    EXPECT_FLOAT_EQ(Radius(two, 2), 2.5f);

    std::vector<float> square{0, 0, 1, 0, 0, 1, 1, 1};
    EXPECT_NEAR(Radius(square, 2), 0.70710677f, 1e-6f);

    std::vector<float> same(40, 2.5f);
    EXPECT_EQ(Radius(same, 4), 0.0f);

    // A computed radius survives a later call without data.
    ball.SetPoints(two.data(), 2, 2);
    ball.CalculateMinimalEnclosingBall();
    ball.SetPoints(nullptr, 2, 2);
    ball.CalculateMinimalEnclosingBall();
    EXPECT_FLOAT_EQ(ball.GetRadius(), 2.5f);

    // No points: no ball, the squared radius stays -1.
    ball.SetPoints(two.data(), 0, 2);
    ball.CalculateMinimalEnclosingBall();
    EXPECT_TRUE(std::isnan(ball.GetRadius()));
}

TEST(MinimalEnclosingBall, ClosedForms)
{
    // The unit vectors of D dimensions: centre (1/D, ...), radius sqrt(1 - 1/D).
    for (int d : {2, 3, 5, 10, 11, 30, 100}) {
        std::vector<float> units(size_t(d * d), 0.0f);
        for (int i = 0; i < d; ++i)
            units[size_t(i * d + i)] = 1.0f;
        EXPECT_NEAR(Radius(units, d), std::sqrt(1.0 - 1.0 / d), 2e-5) << d;
    }
    // Cross polytope of radius 3 around a shifted centre, plus points on the same sphere.
    std::mt19937 rng(5);
    for (int d : {3, 10, 50, 120}) {
        std::vector<float> points;
        std::vector<float> centre(static_cast<size_t>(d));
        for (int j = 0; j < d; ++j)
            centre[size_t(j)] = float(j % 7) - 2.0f;
        for (int i = 0; i < 2 * d; ++i) {
            for (int j = 0; j < d; ++j)
                points.push_back(centre[size_t(j)] + (j == i / 2 ? (i % 2 ? -3.0f : 3.0f) : 0.0f));
        }
        for (int k = 0; k < 500; ++k) {
            std::vector<float> dir = RandomPoints(rng, 1, d);
            float norm = 0;
            for (float v : dir)
                norm += v * v;
            norm = std::sqrt(norm);
            for (int j = 0; j < d; ++j)
                points.push_back(centre[size_t(j)] + 3.0f * dir[size_t(j)] / norm);
        }
        EXPECT_NEAR(Radius(points, d), 3.0, 3e-5 * 3) << d;
    }
    // Collinear points in five dimensions: half their extent.
    std::vector<float> line;
    for (int i = 0; i < 50; ++i)
        for (int j = 0; j < 5; ++j)
            line.push_back(float((i * 37) % 50) * (j + 1));
    EXPECT_NEAR(Radius(line, 5), 0.5 * 49 * std::sqrt(55.0), 1e-3);
}

TEST(MinimalEnclosingBall, MatchesBruteForceInThePlane)
{
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> grid(-20, 20);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 1 + trial % 12;
        std::vector<float> points;
        if (trial % 2) {
            points = RandomPoints(rng, n, 2, 10.0f);
        } else {
            // Integer grid points: ties, duplicates and collinear triples.
            for (int i = 0; i < 2 * n; ++i)
                points.push_back(float(grid(rng)) / 4.0f);
        }
        const double expected = BruteForceRadius(points, 2);
        EXPECT_NEAR(Radius(points, 2), expected, 2e-5 * std::max(1.0, expected)) << "trial " << trial;
        const Miniball::SupportWalk walk(points.data(), n, 2);
        EXPECT_NEAR(std::sqrt(walk.squared_radius()), expected, 1e-6 * std::max(1.0, expected)) << trial;
    }
}

TEST(MinimalEnclosingBall, MatchesBruteForceInHigherDimensions)
{
    std::mt19937 rng(23);
    for (int trial = 0; trial < 30; ++trial) {
        const int d = 3 + trial % 3;
        const int n = 6 + trial % 5;
        std::vector<float> points = RandomPoints(rng, n, d, 2.0f);
        const double expected = BruteForceRadius(points, d);
        EXPECT_NEAR(Radius(points, d), expected, 2e-5 * expected) << "trial " << trial;
        const Miniball::SupportWalk walk(points.data(), n, d);
        EXPECT_NEAR(std::sqrt(walk.squared_radius()), expected, 1e-6 * expected) << trial;
        EXPECT_LE(walk.support_size(), d + 1);
    }
}

TEST(MinimalEnclosingBall, LargeSetsAreEnclosedAndOrderFree)
{
    std::mt19937 rng(31);
    for (int d : {2, 7, 10, 40, 100}) {
        const int n = 3000;
        std::vector<float> points = RandomPoints(rng, n, d);
        // Skew some axes so the ball is not the trivial one.
        for (size_t i = 0; i < points.size(); i += size_t(d))
            points[i] *= 4.0f;
        double radius;
        if (d <= MinimalEnclosingBall::kMoveToFrontMaxDimension) {
            const Miniball::Miniball mb(points.data(), n, d);
            radius = std::sqrt(double(mb.squared_radius()));
            ExpectAllInside(points, d, mb.center(), radius);
            EXPECT_GE(mb.support_size(), 2);
            EXPECT_LE(mb.support_size(), d + 1);
            // Both algorithms find the same ball.
            const Miniball::SupportWalk walk(points.data(), n, d);
            EXPECT_NEAR(std::sqrt(walk.squared_radius()), radius, 2e-5 * radius);
        } else {
            const Miniball::SupportWalk walk(points.data(), n, d);
            radius = std::sqrt(walk.squared_radius());
            ExpectAllInside(points, d, walk.center().data(), radius);
            EXPECT_GE(walk.support_size(), 2);
            EXPECT_LE(walk.support_size(), d + 1);
        }
        // The support points alone have the same smallest ball; any lower bound from a pair
        // of points holds. Reordering the points must not change the answer.
        double diameter = 0;
        for (int i = 0; i < 200; ++i)
            for (int k = 0; k < n; ++k) {
                double s = 0;
                for (int j = 0; j < d; ++j) {
                    const double diff = points[size_t(i * d + j)] - points[size_t(k * d + j)];
                    s += diff * diff;
                }
                diameter = std::max(diameter, std::sqrt(s));
            }
        EXPECT_GE(radius, 0.5 * diameter * (1 - 1e-6));

        std::vector<int> order(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            order[size_t(i)] = i;
        std::shuffle(order.begin(), order.end(), rng);
        std::vector<float> shuffled;
        for (int i : order)
            shuffled.insert(shuffled.end(), points.begin() + i * d, points.begin() + (i + 1) * d);
        EXPECT_NEAR(Radius(shuffled, d), radius, 2e-5 * radius) << d;
    }
}

TEST(MinimalEnclosingBall, InvalidSizesAreRefused)
{
    std::vector<float> points{1, 2, 3, 4};
    MinimalEnclosingBall ball;
    const std::string out = TestSupport::CaptureStdout([&] {
        ball.SetPoints(points.data(), 2, 0);
        ball.CalculateMinimalEnclosingBall();
        EXPECT_EQ(ball.GetRadius(), -1.0f);
        ball.SetPoints(points.data(), -3, 2);
        ball.CalculateMinimalEnclosingBall();
        EXPECT_EQ(ball.GetRadius(), -1.0f);
    });
    EXPECT_EQ(out.rfind("Error: MinimalEnclosingBall", 0), 0u) << out;
}
