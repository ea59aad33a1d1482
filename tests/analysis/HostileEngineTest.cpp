// Engines on hostile tables: wide data (few points, very many dimensions), coordinates too
// far apart for a float, and neighbour graphs in pieces.
#include "GraphModel.h"
#include "ISOMAPTapkee.h"
#include "PCATapkee.h"
#include "SubspaceAffinity.h"
#include "SubspaceClustering.h"
#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "EmbeddingTestData.h"
#include "kNNgraphGenerator.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <random>

using namespace Zelvo;

namespace {

std::unique_ptr<HDpointSet<float>> MakeSet(const std::vector<float>& values, int dims)
{
    auto set = std::make_unique<HDpointSet<float>>();
    set->m_dimMask.assign(static_cast<size_t>(dims), true);
    set->m_dimension = dims;
    set->m_values = values;
    TestSupport::CaptureStdout([&] { set->UpdateDimensionMinMaxMeanVariance(); });
    return set;
}

distanceFunctor Euclidean(const HDpointSet<float>& set)
{
    distanceFunctor functor;
    functor.type = DistanceEuclidean;
    functor.mask = set.m_dimMask;
    return functor;
}

// Three points of a million dimensions: a d x d matrix would need terabytes.
std::unique_ptr<HDpointSet<float>> WideSet()
{
    const int d = 1000000;
    std::vector<float> values(3 * static_cast<size_t>(d));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (float& v : values) v = uniform(rng);
    return MakeSet(values, d);
}

}  // namespace

// The affinity on fewer points than dimensions agrees with the textbook n x n inverse.
TEST(HostileEngine, SubspaceAffinityOfWideDataMatchesTheClosedForm)
{
    const int n = 6;
    const int d = 20;
    std::mt19937 rng(3);
    std::normal_distribution<double> normal;
    Eigen::MatrixXd X(d, n);
    for (Eigen::Index i = 0; i < X.size(); ++i) X.data()[i] = normal(rng);
    Eigen::MatrixXd A;
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(BuildSubspaceAffinity(X, A)); });

    const Eigen::MatrixXd P = (X.transpose() * X + 1e-6 * Eigen::MatrixXd::Identity(n, n)).inverse();
    Eigen::MatrixXd Z(n, n);
    for (int i = 0; i < n; ++i) {
        const Eigen::VectorXd xty = X.transpose() * X.col(i);
        const double eta = (P * xty)(i) / P(i, i);
        Eigen::VectorXd c = P * (xty - eta * Eigen::VectorXd::Unit(n, i));
        Z.col(i) = c / c.norm();  // n <= 15: nothing is cut
    }
    const Eigen::MatrixXd expected = Z.cwiseAbs() + Z.cwiseAbs().transpose();
    EXPECT_LT((A - expected).cwiseAbs().maxCoeff(), 1e-6);
}

TEST(HostileEngine, WideDataIsClusteredAndEmbedded)
{
    auto set = WideSet();
    distanceFunctor functor = Euclidean(*set);
    SubspaceClustering subspace(functor, SubspaceClusteringType{}, SpectralClusteringType{}, 2, 1.0f);
    std::unique_ptr<ClusteringResult> clustering;
    std::string printed = TestSupport::CaptureStdout([&] { clustering = subspace.DoClustering(set.get()); });
    ASSERT_NE(clustering, nullptr) << printed;
    ASSERT_NE(clustering->GetRoot(), nullptr);

    PCATapkee pca(functor);
    std::unique_ptr<EmbeddingResult> embedding;
    printed = TestSupport::CaptureStdout([&] { embedding = pca.DoEmbeding(set.get(), 2); });
    ASSERT_NE(embedding, nullptr) << printed;
    EXPECT_EQ(embedding->pointCount, 3);
}

// PCA through the n x n Gram matrix gives the covariance route's positions.
TEST(HostileEngine, PcaOfWideDataMatchesTheCovariance)
{
    const int n = 5;
    const int d = 9;
    std::vector<float> values(n * d);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (float& v : values) v = uniform(rng);
    auto set = MakeSet(values, d);
    distanceFunctor functor = Euclidean(*set);
    PCATapkee pca(functor);
    std::unique_ptr<EmbeddingResult> result;
    const std::string printed = TestSupport::CaptureStdout([&] { result = pca.DoEmbeding(set.get(), 2); });
    ASSERT_NE(result, nullptr) << printed;

    Eigen::MatrixXd rows(n, d);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < d; ++k) rows(i, k) = values[i * d + k];
    const Eigen::MatrixXd centred = rows.rowwise() - rows.colwise().mean();
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(centred.transpose() * centred / (n - 1));
    for (int c = 0; c < 2; ++c) {
        const Eigen::VectorXd expected = centred * solver.eigenvectors().col(d - 1 - c);
        Eigen::VectorXd got(n);
        for (int i = 0; i < n; ++i) got(i) = result->originalPositions[static_cast<size_t>(i) * 2 + c];
        // Positions are centred by the result; eigenvector signs are free.
        got.array() -= got.mean();
        const double sign = got.dot(expected) < 0 ? -1.0 : 1.0;
        EXPECT_LT((sign * got - expected).cwiseAbs().maxCoeff(), 1e-4) << "column " << c;
    }
}

// Coordinates 6e38 apart have an infinite float distance: still the nearest neighbour.
TEST(HostileEngine, KnnGraphKeepsInfiniteDistancesAndRefusesInfiniteCoordinates)
{
    kNNgraphGenerator generator(1);
    distanceFunctor functor;
    functor.type = DistanceEuclidean;
    functor.mask = {true};
    std::vector<HDpoint<float>> far{HDpoint<float>(std::vector<float>{-3e38f}), HDpoint<float>(std::vector<float>{3e38f})};
    std::unique_ptr<GraphModel<float>> graph;
    TestSupport::CaptureStdout([&] { graph = generator.GenerateNeighborhoodGraph(far, functor.mask, functor); });
    ASSERT_NE(graph, nullptr);
    EXPECT_FALSE(graph->edges.empty());

    for (float bad : {INFINITY, NAN}) {
        std::vector<HDpoint<float>> points{HDpoint<float>(std::vector<float>{0.0f}), HDpoint<float>(std::vector<float>{bad})};
        const std::string printed = TestSupport::CaptureStdout(
            [&] { graph = generator.GenerateNeighborhoodGraph(points, functor.mask, functor); });
        EXPECT_EQ(graph, nullptr);
        EXPECT_EQ(printed.rfind("Error", 0), 0u) << printed;
    }
}

// Three groups on a line that one neighbour never links: joined by their closest pairs
// (2, 10) and (12, 30), so the path from 0 to 12 is 2 + 8 + 2 and from 0 to 32 is 32 long.
TEST(HostileEngine, IsomapJoinsAGraphInPieces)
{
    auto set = MakeSet({0, 0, 1, 0, 2, 0, 10, 0, 11, 0, 12, 0, 30, 0, 31, 0, 32, 0}, 2);
    distanceFunctor functor = Euclidean(*set);
    ISOMAPTapkee isomap(functor, 1);
    std::unique_ptr<EmbeddingResult> result;
    const std::string printed = TestSupport::CaptureStdout([&] { result = isomap.DoEmbeding(set.get(), 2); });
    ASSERT_NE(result, nullptr) << printed;
    EXPECT_NE(printed.find("Warning"), std::string::npos) << printed;
    const Eigen::MatrixXf& geodesics = result->GetHDSquaredDistance();
    EXPECT_NEAR(geodesics(0, 5), 144.0f, 1e-3f);
    EXPECT_NEAR(geodesics(2, 3), 64.0f, 1e-3f);
    EXPECT_NEAR(geodesics(0, 8), 1024.0f, 1e-2f);
}

// The sample iris at the form's default of 10 neighbours has two components; scikit-learn
// joins them the same way. Iris repeats values on a 0.1 grid, so a small jitter makes the
// neighbour choice unique (ties may break differently there) without changing the pieces.
TEST(HostileEngine, IsomapOnIrisMatchesScikitLearn)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no numpy/scipy/scikit-learn";
    Eigen::MatrixXd table = EmbeddingTestData::ReadCsv(TestSupport::SourceDir() + "/samples/iris.csv", 1);
    std::vector<float> values;
    for (Eigen::Index i = 0; i < table.rows(); ++i)
        for (Eigen::Index d = 0; d < table.cols(); ++d) {
            table(i, d) += 1e-3 * double((i * table.cols() + d) * 7919 % 1000) / 1000.0;
            values.push_back(static_cast<float>(table(i, d)));
            table(i, d) = values.back();
        }
    auto set = MakeSet(values, static_cast<int>(table.cols()));
    distanceFunctor functor = Euclidean(*set);
    ISOMAPTapkee isomap(functor, 10);
    std::unique_ptr<EmbeddingResult> result;
    const std::string printed = TestSupport::CaptureStdout([&] { result = isomap.DoEmbeding(set.get(), 2); });
    ASSERT_NE(result, nullptr) << printed;
    EXPECT_NE(printed.find("Warning"), std::string::npos);

    TestSupport::TempDir dir;
    EmbeddingTestData::WriteCsv(dir.file("data.csv"), table);
    int code = -1;
    const std::string output = TestSupport::RunPython(dir.path(),
        "import numpy as np, warnings\n"
        "from sklearn.manifold import Isomap\n"
        "warnings.simplefilter('ignore')\n"
        "X = np.loadtxt('data.csv', delimiter=',', ndmin=2)\n"
        "iso = Isomap(n_neighbors=10, n_components=2, path_method='D').fit(X)\n"
        "np.savetxt('geodesics.csv', iso.dist_matrix_, delimiter=',', fmt='%.17g')\n",
        &code);
    ASSERT_EQ(code, 0) << output;
    const Eigen::MatrixXd geodesics = EmbeddingTestData::ReadCsv(dir.file("geodesics.csv"));
    const Eigen::MatrixXd ours = result->GetHDSquaredDistance().cast<double>().cwiseSqrt();
    ASSERT_EQ(ours.rows(), geodesics.rows());
    EXPECT_LT((ours - geodesics).cwiseAbs().maxCoeff(), 1e-4 * geodesics.maxCoeff());
}
