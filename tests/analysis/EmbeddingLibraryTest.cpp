#include "EmbeddingLibrary.h"
#include "linearKernelCallback.h"
#include "tapkeeDistCallback.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

using namespace tapkee;

namespace {

// Points as columns of a d x n matrix.
Eigen::MatrixXf Columns(const std::vector<std::vector<float>>& points)
{
    Eigen::MatrixXf data(points[0].size(), points.size());
    for (size_t j = 0; j < points.size(); ++j)
        for (size_t i = 0; i < points[j].size(); ++i) data(i, j) = points[j][i];
    return data;
}

// Points on a line at the given positions.
Eigen::MatrixXf Line(const std::vector<float>& positions)
{
    Eigen::MatrixXf data(1, positions.size());
    for (size_t j = 0; j < positions.size(); ++j) data(0, j) = positions[j];
    return data;
}

bool IsEmpty(const TapkeeOutput& output)
{
    return output.embedding.size() == 0 && output.distanceMatrix.size() == 0 && output.innerProducts.size() == 0 &&
           output.neighbors.empty() && output.weights.nonZeros() == 0 && output.weights.rows() == 0 &&
           output.reconstructionWeights.rows() == 0 && output.projectionMatrix.size() == 0 && output.mean.size() == 0;
}

struct Refusal {
    TapkeeOutput output;
    std::string printed;
};

Refusal RunCaptured(const Eigen::MatrixXf& data, const ParameterSet& parameters)
{
    Refusal result;
    result.printed = TestSupport::CaptureStdout([&] { result.output = embedUsing(data, parameters); });
    return result;
}

void ExpectErrorLine(const Refusal& refusal)
{
    EXPECT_TRUE(IsEmpty(refusal.output));
    EXPECT_EQ(refusal.printed.rfind("Error", 0), 0u) << refusal.printed;
    EXPECT_EQ(refusal.printed.back(), '\n');
}

Eigen::MatrixXf SmallCloud()
{
    return Columns({{0, 0}, {1, 0.2f}, {2, 0.1f}, {3, 0.5f}, {4, 0.3f}, {5, 0.8f}});
}

}  // namespace

// Every refusal: an empty output and one "Error" line, never an exception or an end of the process.
TEST(EmbeddingLibraryRefusals, BadParametersAndInputs)
{
    const Eigen::MatrixXf data = SmallCloud();  // 6 points
    const Eigen::MatrixXf two = Columns({{0, 0, 0}, {1, 1, 1}});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string what;
        Eigen::MatrixXf data;
        ParameterSet parameters;
    };
    std::vector<Case> cases = {
        {"PCA with more axes than dimensions", data, {method(PCA), target_dimension(3)}},
        {"no axis", data, {method(PCA), target_dimension(0)}},
        {"no target dimension", data, {method(PCA)}},
        {"no method", data, {target_dimension(2)}},
        {"unknown method", data, {method(3), target_dimension(2)}},
        {"repeated keyword", data, {method(PCA), target_dimension(2), target_dimension(2)}},
        {"unknown solver", data, {method(PCA), target_dimension(1), eigen_solver(7)}},
        {"missing kernel width", data, {method(LaplacianEigenmaps), target_dimension(1), num_neighbors(3)}},
    };
    for (int m : {Isomap, LaplacianEigenmaps, KernelLocallyLinearEmbedding})
        for (double k : {0.0, -1.0, 6.0, 2.5})
            cases.push_back({"method " + std::to_string(m) + " k " + std::to_string(k), data,
                             {method(m), target_dimension(2), num_neighbors(k), gaussian_kernel_width(1.0)}});
    for (double width : {0.0, -1.0, nan, inf})
        cases.push_back({"width " + std::to_string(width), data,
                         {method(LaplacianEigenmaps), target_dimension(1), gaussian_kernel_width(width), num_neighbors(3)}});
    for (int m : {PCA, MultidimensionalScaling, Isomap, LaplacianEigenmaps, KernelLocallyLinearEmbedding}) {
        const ParameterSet p = {method(m), target_dimension(2), num_neighbors(1), gaussian_kernel_width(1)};
        cases.push_back({"two points, method " + std::to_string(m), two, p});
        cases.push_back({"no points, method " + std::to_string(m), Eigen::MatrixXf(3, 0), p});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectErrorLine(RunCaptured(c.data, c.parameters));
    }
    // The edges of the neighbour range run.
    for (double k : {1.0, 5.0}) {
        const TapkeeOutput ok = embedUsing(data, {method(KernelLocallyLinearEmbedding), target_dimension(1), num_neighbors(k)});
        EXPECT_EQ(ok.embedding.rows(), 6) << k;
    }

    // PCA needs the data matrix, kernel LLE a kernel; distances must be distances.
    const DistanceCallback unit = [](int, int) { return 1.0f; };
    std::vector<std::pair<std::string, std::function<TapkeeOutput()>>> ranges = {
        {"PCA over callbacks", [&] { return embedRange(5, KernelCallback(), unit, {method(PCA), target_dimension(1)}); }},
        {"LLE without kernel",
         [&] {
             return embedRange(5, KernelCallback(), unit,
                               {method(KernelLocallyLinearEmbedding), target_dimension(1), num_neighbors(2)});
         }},
    };
    for (float bad : {-1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        const DistanceCallback distance = [bad](int i, int j) { return (i == 3 && j == 4) ? bad : 1.0f; };
        ranges.push_back({"distance " + std::to_string(bad), [distance] {
                              return embedRange(6, KernelCallback(), distance,
                                                {method(MultidimensionalScaling), target_dimension(2)});
                          }});
    }
    for (const auto& [what, run] : ranges) {
        SCOPED_TRACE(what);
        Refusal refusal;
        refusal.printed = TestSupport::CaptureStdout([&] { refusal.output = run(); });
        ExpectErrorLine(refusal);
    }
}

TEST(EmbeddingLibraryRefusals, ExhaustedMemoryIsReportedNotThrown)
{
    int calls = 0;
    const DistanceCallback distance = [&calls](int i, int j) -> float {
        if (++calls == 7) throw std::bad_alloc();
        return static_cast<float>(std::abs(i - j));
    };
    for (int m : {MultidimensionalScaling, Isomap, LaplacianEigenmaps}) {
        calls = 0;
        Refusal refusal;
        refusal.printed = TestSupport::CaptureStdout([&] {
            refusal.output = embedRange(10, KernelCallback(), distance,
                                        {method(m), target_dimension(2), num_neighbors(3), gaussian_kernel_width(1)});
        });
        ExpectErrorLine(refusal);
    }
    // A kernel that runs out of memory half way through the weights.
    int kernelCalls = 0;
    const KernelCallback kernel = [&kernelCalls](int i, int j) -> float {
        if (++kernelCalls == 40) throw std::bad_alloc();
        return static_cast<float>(i * j);
    };
    Refusal refusal;
    refusal.printed = TestSupport::CaptureStdout([&] {
        refusal.output = embedRange(10, kernel, [](int i, int j) { return static_cast<float>(std::abs(i - j)); },
                                    {method(KernelLocallyLinearEmbedding), target_dimension(2), num_neighbors(3)});
    });
    ExpectErrorLine(refusal);
}

TEST(EmbeddingLibraryRefusals, DisconnectedIsomapGraphIsJoined)
{
    // Two groups far apart: with 2 neighbours no edge crosses between them, so the closest
    // pair joins them, with a warning.
    const Eigen::MatrixXf data = Line({0, 1, 2, 3, 100, 101, 102, 103});
    const Refusal split = RunCaptured(data, {method(Isomap), target_dimension(1), num_neighbors(2)});
    ASSERT_EQ(split.output.embedding.rows(), 8);
    EXPECT_NE(split.printed.find("Warning"), std::string::npos) << split.printed;
    // Four neighbours reach across and the same points embed.
    const TapkeeOutput joined = embedUsing(data, {method(Isomap), target_dimension(1), num_neighbors(4)});
    ASSERT_EQ(joined.embedding.rows(), 8);
    EXPECT_TRUE(joined.embedding.allFinite());
}

TEST(EmbeddingLibraryRefusals, PointWithoutMutualNeighbourIsAnEigenFailure)
{
    // With one neighbour the outlier at 100 picks 3, but 3 picks 2: no mutual neighbour.
    const Eigen::MatrixXf data = Line({0, 1, 2, 3.5f, 100});
    const Refusal refusal =
        RunCaptured(data, {method(LaplacianEigenmaps), target_dimension(1), num_neighbors(1), gaussian_kernel_width(1)});
    EXPECT_TRUE(IsEmpty(refusal.output));
    EXPECT_EQ(refusal.printed.rfind("Error", 0), 0u) << refusal.printed;
    const std::string eigenLine = "\nCatch!!! eigenDecomposition error";
    EXPECT_EQ(refusal.printed.substr(refusal.printed.size() - std::min(refusal.printed.size(), eigenLine.size())),
              eigenLine);
}

TEST(EmbeddingLibraryHandValues, NonEuclideanDistancesGiveNoNaN)
{
    // The path metric of a 5-cycle has no Euclidean configuration: B has the
    // eigenvalues 2.93 (twice), 0 and -0.43 (twice), so a 4-D embedding meets a
    // negative one. Isomap with 2 neighbours finds the same metric as geodesics.
    const DistanceCallback cycle = [](int i, int j) {
        const int steps = std::min(std::abs(i - j), 5 - std::abs(i - j));
        return static_cast<float>(steps);
    };
    const DistanceCallback chords = [](int i, int j) {
        const int steps = std::min(std::abs(i - j), 5 - std::abs(i - j));
        return steps == 1 ? 1.0f : 5.0f;
    };
    for (int m : {MultidimensionalScaling, Isomap}) {
        const TapkeeOutput out = embedRange(5, KernelCallback(), m == Isomap ? chords : cycle,
                                            {method(m), target_dimension(4), num_neighbors(2)});
        ASSERT_EQ(out.embedding.rows(), 5) << m;
        EXPECT_TRUE(out.embedding.allFinite()) << m;
        EXPECT_TRUE(out.embedding.col(3).isZero(1e-6)) << m;
        EXPECT_NEAR(out.embedding.col(0).squaredNorm(), 2.92705f, 1e-4) << m;
        EXPECT_NEAR(out.distanceMatrix(0, 2), 4.0f, 1e-6) << m;  // squared path length
    }
}

TEST(EmbeddingLibraryHandValues, NeighboursExcludeSelfAndBreakTiesByIndex)
{
    // Point 1 duplicates point 0; points 2 and 3 are both 1 away from point 0.
    const Eigen::MatrixXf data = Line({0, 0, 1, -1, 5, 7});
    const TapkeeOutput out = embedUsing(data, {method(KernelLocallyLinearEmbedding), target_dimension(1), num_neighbors(2)});
    ASSERT_EQ(out.neighbors.size(), 6u);
    EXPECT_EQ(out.neighbors[0], (std::vector<int>{1, 2}));  // nearest first, 2 before 3
    EXPECT_EQ(out.neighbors[1], (std::vector<int>{0, 2}));
    EXPECT_EQ(out.neighbors[3], (std::vector<int>{0, 1}));
    EXPECT_EQ(out.neighbors[5], (std::vector<int>{4, 2}));
    // Reconstruction weights sum to 1 per row and sit on the neighbours only.
    const Eigen::MatrixXf w = Eigen::MatrixXf(out.reconstructionWeights);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(w.row(i).sum(), 1.0f, 1e-5) << i;
        EXPECT_EQ(w(i, i), 0.0f);
        for (int j = 0; j < 6; ++j) {
            if (w(i, j) != 0.0f) {
                EXPECT_NE(std::find(out.neighbors[i].begin(), out.neighbors[i].end(), j), out.neighbors[i].end());
            }
        }
    }
    // The neighbours of point 2 are 0 and 1, both at 0: equal weights.
    EXPECT_NEAR(w(2, 0), 0.5f, 1e-5);
    // M is (I - W)^T (I - W).
    const Eigen::MatrixXf identityMinusW = Eigen::MatrixXf::Identity(6, 6) - w;
    const Eigen::MatrixXf expected = identityMinusW.transpose() * identityMinusW;
    EXPECT_TRUE(Eigen::MatrixXf(out.weights).isApprox(expected, 1e-5f));
    EXPECT_NEAR(out.distanceMatrix(4, 5), 4.0f, 1e-6);
}

TEST(EmbeddingLibraryHandValues, PcaProjectsCentredPoints)
{
    const Eigen::MatrixXf data = Columns({{1, 2, 0}, {3, 2, 0}, {5, 2.5f, 0}, {7, 2.5f, 0}});
    TapkeeOutput out;
    TestSupport::CaptureStdout([&] { out = embedUsing(data, {method(PCA), target_dimension(2)}); });
    ASSERT_EQ(out.projectionMatrix.rows(), 3);
    ASSERT_EQ(out.projectionMatrix.cols(), 2);
    EXPECT_TRUE(out.mean.isApprox(Eigen::Vector3f(4, 2.25f, 0)));
    // Sign rule: the largest entry of each axis is positive.
    EXPECT_GT(out.projectionMatrix(0, 0), 0.9f);
    const Eigen::MatrixXf expected = (data.colwise() - out.mean).transpose() * out.projectionMatrix;
    EXPECT_TRUE(out.embedding.isApprox(expected, 1e-5f));
    EXPECT_EQ(out.distanceMatrix.size(), 0);  // made on demand
    const Eigen::MatrixXf distances = SquaredColumnDistances(data);
    EXPECT_NEAR(distances(0, 3), 36.25f, 1e-4);
    EXPECT_NEAR(distances(3, 0), 36.25f, 1e-4);
    EXPECT_NEAR(distances(1, 2), 4.25f, 1e-5);
    EXPECT_EQ(distances(2, 2), 0.0f);
}

TEST(EmbeddingLibraryCallbacks, DistanceFollowsTheMaskKernelUsesEveryCoordinate)
{
    std::vector<Zelvo::HDpoint<float>> points;
    const float values[5][3] = {{0, 0, 9}, {3, 4, -2}, {1, 1, 5}, {6, 0, 1}, {2, 7, 3}};
    for (const auto& v : values) points.emplace_back(v, 3);
    Zelvo::distanceFunctor functor;
    functor.type = Zelvo::DistanceEuclidean;
    functor.mask = {true, true, false};  // the third coordinate takes no part

    EXPECT_FLOAT_EQ(linearKernelCallback().kernel(points[1], points[4]), 3 * 2 + 4 * 7 - 2 * 3);
    tapkeeDistCallback callback(functor);
    EXPECT_FLOAT_EQ(callback.distance(points[0], points[1]), 5.0f);
    functor.mask[0] = false;  // the callback keeps its own copy
    EXPECT_FLOAT_EQ(callback.distance(points[0], points[1]), 5.0f);
    functor.mask[0] = true;

    const TapkeeOutput out = embedRange(points, linearKernelCallback(), tapkeeDistCallback(functor),
                                        {method(KernelLocallyLinearEmbedding), target_dimension(1), num_neighbors(2)});
    ASSERT_EQ(out.embedding.rows(), 5);
    EXPECT_NEAR(out.distanceMatrix(0, 1), 25.0f, 1e-5);
    EXPECT_NEAR(out.distanceMatrix(3, 4), 16.0f + 49.0f, 1e-5);
    // Point 0's two nearest over (x, y): 2 at sqrt(2), then 1 at 5 (3 is at 6).
    EXPECT_EQ(out.neighbors[0], (std::vector<int>{2, 1}));
    // With the third coordinate the kernel sees, the weights differ from a kernel
    // restricted to (x, y): the Gram matrix of point 0 is not that of the plane.
    const double gram11 = 3 * 3 + 4 * 4 + 11.0 * 11.0;  // (3,4,-2) - (0,0,9)
    const double gram22 = 1 + 1 + 16.0;                   // (1,1,5) - (0,0,9)
    const double gram12 = 3 + 4 + 44.0;
    const double trace = gram11 + gram22;
    const double a = gram11 + 1e-3 * trace, b = gram22 + 1e-3 * trace;
    // w solves [[b', c], [c, a']] w = 1 for neighbours (2, 1), normalised to sum 1.
    const double w2 = (a - gram12) / (a + b - 2 * gram12);
    EXPECT_NEAR(Eigen::MatrixXf(out.reconstructionWeights)(0, 2), w2, 1e-4);
    EXPECT_NEAR(Eigen::MatrixXf(out.reconstructionWeights)(0, 1), 1 - w2, 1e-4);
}
