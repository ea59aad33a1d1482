#include "CspectralClustering.h"
#include "SpectralClusteringCore.h"
#include "SpectralTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace SpectralTestHelpers;
using Zelvo::HDpointSet;
using Zelvo::SpectralClusteringCore;

namespace {

std::vector<int> runQuietly(SpectralClusteringCore& core, HDpointSet<float>& set, bool* ok, std::string* out = nullptr)
{
    std::vector<std::vector<int>> lists;
    const std::string text = TestSupport::CaptureStdout([&] { *ok = core.RunSpectralClustering(&set, lists); });
    if (out) *out = text;
    return labelsOf(lists, set.GetPointCount());
}

int countNonEmpty(const std::vector<int>& labels)
{
    std::vector<int> seen;
    for (int l : labels)
        if (l >= 0 && std::find(seen.begin(), seen.end(), l) == seen.end()) seen.push_back(l);
    return int(seen.size());
}

}  // namespace

TEST(SpectralClusteringTest, LaplacianAndEigenvaluesMatchNumPy)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Python oracles";
    std::vector<int> truth;
    HDpointSet<float> set;
    fillSet(set, blobs(3, 15, 3, 5, truth, 1.0f, 3.0f), 3);
    SpectralClusteringCore core(3, 0.2, 10);
    bool ok = false;
    TestSupport::CaptureStdout([&] { ok = core.buildAffinityMatrix(&set) && core.buildNormalizedLaplacian(); });
    ASSERT_TRUE(ok);
    const int n = set.GetPointCount();

    TestSupport::TempDir dir;
    Eigen::MatrixXd points(n, 3);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) points(i, c) = set.m_values[i * 3 + c];
    writeMatrix(dir.file("p.txt"), points);
    int code = 0;
    const std::vector<double> numbers = runPython(dir,
        "import numpy as np\nfrom scipy.spatial.distance import cdist\n"
        "P = np.loadtxt('p.txt')\nA = np.exp(-0.2 * cdist(P, P, 'sqeuclidean'))\n"
        "q = 1 / np.sqrt(A.sum(axis=1))\nL = q[:, None] * A * q[None, :]\n"
        "w = np.sort(np.linalg.eigvalsh(L))[::-1]\n"
        "print(' '.join(repr(v) for v in L.ravel()))\nprint(' '.join(repr(v) for v in w))\n", &code);
    ASSERT_EQ(code, 0);
    ASSERT_EQ(numbers.size(), size_t(n) * n + n);
    const Eigen::MatrixXd& L = core.GetLaplacianMatrix();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) ASSERT_NEAR(L(i, j), numbers[i * n + j], 1e-6) << i << "," << j;  // float distances

    std::unique_ptr<CspectralClustering> e;
    TestSupport::CaptureStdout([&] { e = std::make_unique<CspectralClustering>(L, 3, true); });
    ASSERT_TRUE(e->IsValid());
    ASSERT_EQ(e->GetEigenValues().size(), n);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(e->GetEigenValues()(i), numbers[n * n + i], 1e-6) << i;
    EXPECT_NEAR(e->GetEigenValues()(0), 1.0, 1e-12);  // the normalised affinity's top eigenvalue

    // Kept vectors: three columns, unit rows, eigenvectors of L.
    const Eigen::MatrixXd& V = e->GetEigenVectors();
    ASSERT_EQ(V.cols(), 3);
    EXPECT_TRUE(V.rowwise().norm().isApprox(Eigen::VectorXd::Ones(n), 1e-12));
}

TEST(SpectralClusteringTest, FixedCountRecoversBlobsLikeScikitLearn)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Python oracles";
    std::vector<int> truth;
    HDpointSet<float> set;
    fillSet(set, blobs(4, 30, 3, 8, truth, 0.5f, 6.0f), 3);
    SpectralClusteringCore core(4, 0.1, 10);
    core.SetRandomGenerator(seedRows(set.GetPointCount()));  // one seed per blob: Lloyd cannot stall
    bool ok = false;
    std::string out;
    const std::vector<int> labels = runQuietly(core, set, &ok, &out);
    ASSERT_TRUE(ok);
    EXPECT_DOUBLE_EQ(adjustedRand(labels, truth), 1.0) << out;

    TestSupport::TempDir dir;
    writeMatrix(dir.file("a.txt"), core.GetAffinityMatrix());
    int code = 0;
    const std::vector<double> sk = runPython(dir,
        "import numpy as np\nfrom sklearn.cluster import SpectralClustering\n"
        "A = np.loadtxt('a.txt')\n"
        "l = SpectralClustering(n_clusters=4, affinity='precomputed', random_state=0).fit(A).labels_\n"
        "print(' '.join(str(v) for v in l))\n", &code);
    ASSERT_EQ(code, 0);
    ASSERT_EQ(sk.size(), labels.size());
    EXPECT_DOUBLE_EQ(adjustedRand(labels, std::vector<int>(sk.begin(), sk.end())), 1.0);
}

TEST(SpectralClusteringTest, AutomaticCountFindsTheBlobs)
{
    for (int g = 2; g <= 6; ++g) {
        std::vector<int> truth;
        HDpointSet<float> set;
        fillSet(set, blobs(g, 20, 3, 100 + g, truth, 0.3f, 8.0f), 3);
        SpectralClusteringCore core(0, 0.1, 10);
        bool ok = false;
        const std::vector<int> labels = runQuietly(core, set, &ok);
        ASSERT_TRUE(ok) << g;
        EXPECT_EQ(countNonEmpty(labels), g);
        EXPECT_DOUBLE_EQ(adjustedRand(labels, truth), 1.0) << g;
    }
    // Twelve blobs, ten eigenvectors at most: never more than ten clusters.
    std::vector<int> truth;
    HDpointSet<float> set;
    fillSet(set, blobs(12, 10, 4, 3, truth, 0.3f, 8.0f), 4);
    SpectralClusteringCore core(0, 0.1, 10);
    bool ok = false;
    const std::vector<int> labels = runQuietly(core, set, &ok);
    ASSERT_TRUE(ok);
    EXPECT_LE(countNonEmpty(labels), 10);
    EXPECT_GE(countNonEmpty(labels), 2);
}

TEST(SpectralClusteringTest, FullAndLeadingSolversAgree)
{
    std::vector<int> truth;
    HDpointSet<float> set;
    fillSet(set, blobs(5, 60, 3, 44, truth, 0.6f, 5.0f), 3);
    std::vector<int> partitions[2];
    Eigen::VectorXd values[2];
    for (int s = 0; s < 2; ++s) {
        SpectralClusteringCore core(5, 0.15, 10);
        core.SetRandomGenerator(seedRows(set.GetPointCount()));
        core.SetSolver(s == 0 ? CspectralClustering::Solver::Full : CspectralClustering::Solver::Leading);
        bool ok = false;
        partitions[s] = runQuietly(core, set, &ok);
        ASSERT_TRUE(ok);
        std::unique_ptr<CspectralClustering> e;
        TestSupport::CaptureStdout([&] {
            e = std::make_unique<CspectralClustering>(core.GetLaplacianMatrix(), 5, true,
                                                      s == 0 ? CspectralClustering::Solver::Full
                                                             : CspectralClustering::Solver::Leading);
        });
        EXPECT_EQ(e->UsedLeadingSolver(), s == 1);
        values[s] = e->GetEigenValues().head(5);
    }
    EXPECT_DOUBLE_EQ(adjustedRand(partitions[0], partitions[1]), 1.0);
    EXPECT_DOUBLE_EQ(adjustedRand(partitions[0], truth), 1.0);
    EXPECT_TRUE(values[0].isApprox(values[1], 1e-9));
}

TEST(SpectralClusteringTest, KernelZeroAndIdenticalPoints)
{
    HDpointSet<float> set;
    fillSet(set, {0, 0, 5, 5, 5, 5, 9, 1}, 2);
    SpectralClusteringCore zero(2, 0.0, 10);
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(zero.buildAffinityMatrix(&set)); });
    EXPECT_TRUE(zero.GetAffinityMatrix().isOnes());
    SpectralClusteringCore wide(2, 50.0, 10);
    TestSupport::CaptureStdout([&] { ASSERT_TRUE(wide.buildAffinityMatrix(&set)); });
    EXPECT_EQ(wide.GetAffinityMatrix()(1, 2), 1.0);
    EXPECT_EQ(wide.GetAffinityMatrix()(0, 0), 1.0);
    EXPECT_EQ(wide.GetAffinityMatrix()(0, 3), 0.0);  // exp underflows
}

TEST(SpectralClusteringTest, ZeroRowsStayZero)
{
    // Point 3 has no weight: the leading eigenvector has 0 there and its row must not turn into NaN.
    Eigen::MatrixXd L = Eigen::MatrixXd::Zero(4, 4);
    L.topLeftCorner(3, 3).setConstant(1.0 / 3.0);
    std::unique_ptr<CspectralClustering> e;
    const std::string out = TestSupport::CaptureStdout([&] { e = std::make_unique<CspectralClustering>(L, 1, true); });
    ASSERT_TRUE(e->IsValid());
    EXPECT_TRUE(e->GetEigenVectors().allFinite());
    EXPECT_EQ(e->GetEigenVectors()(3, 0), 0.0);
    EXPECT_NE(out.find("Warning: CspectralClustering 1 zero rows"), std::string::npos);
    // k-means on the guarded matrix runs and keeps every point.
    std::vector<std::vector<int>> lists;
    TestSupport::CaptureStdout([&] { lists = e->clusterKmeans(2); });
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0].size() + lists[1].size(), 4u);
}

TEST(SpectralClusteringTest, CountAboveThePointsIsClamped)
{
    std::vector<int> truth;
    HDpointSet<float> set;
    fillSet(set, blobs(2, 3, 2, 1, truth), 2);
    SpectralClusteringCore core(9, 0.1, 10);
    bool ok = false;
    std::string out;
    const std::vector<int> labels = runQuietly(core, set, &ok, &out);
    ASSERT_TRUE(ok);
    EXPECT_NE(out.find("Warning: cluster count 9 above the point count 6, clamped to 6"), std::string::npos);
    EXPECT_EQ(countNonEmpty(labels), 6);
}

TEST(SpectralClusteringTest, RefusalsReturnFailureAndTheProcessLives)
{
    auto expectError = [](const std::string& out) { EXPECT_NE(out.find("Error"), std::string::npos) << out; };
    bool ok = true;
    std::string out;
    {
        HDpointSet<float> empty;
        SpectralClusteringCore core(2, 0.1, 10);
        runQuietly(core, empty, &ok, &out);
        EXPECT_FALSE(ok);
        expectError(out);
    }
    {
        HDpointSet<float> set;
        fillSet(set, {0, 1, 2, std::numeric_limits<float>::quiet_NaN()}, 2);
        SpectralClusteringCore core(2, 0.1, 10);
        runQuietly(core, set, &ok, &out);
        EXPECT_FALSE(ok);
        expectError(out);
    }
    {
        HDpointSet<float> set;
        fillSet(set, {0, 1, 2, 3}, 2);
        SpectralClusteringCore core(2, -1.0, 10);
        runQuietly(core, set, &ok, &out);
        EXPECT_FALSE(ok);
        expectError(out);
    }
    {
        // One point, automatic count: a single eigenvector, nothing to rotate, no cluster,
        // and no failure either.
        HDpointSet<float> set;
        fillSet(set, {1, 2}, 2);
        SpectralClusteringCore core(0, 0.1, 10);
        runQuietly(core, set, &ok, &out);
        EXPECT_TRUE(ok);
        EXPECT_EQ(out.find("Error"), std::string::npos) << out;
        EXPECT_EQ(out.find("Cluster:"), std::string::npos);
    }
    {
        Eigen::MatrixXd bad = Eigen::MatrixXd::Identity(3, 3);
        bad(1, 2) = std::numeric_limits<double>::infinity();
        std::unique_ptr<CspectralClustering> e;
        out = TestSupport::CaptureStdout([&] { e = std::make_unique<CspectralClustering>(bad, 2, true); });
        EXPECT_FALSE(e->IsValid());
        expectError(out);
        std::vector<std::vector<int>> lists = {{0}};
        TestSupport::CaptureStdout([&] { lists = e->clusterKmeans(2); });
        EXPECT_TRUE(lists.empty());
        TestSupport::CaptureStdout([&] { lists = e->clusterRotate(); });
        EXPECT_TRUE(lists.empty());
        out = TestSupport::CaptureStdout([&] { e = std::make_unique<CspectralClustering>(Eigen::MatrixXd(0, 0), 2, true); });
        EXPECT_FALSE(e->IsValid());
        expectError(out);
        out = TestSupport::CaptureStdout([&] { e = std::make_unique<CspectralClustering>(Eigen::MatrixXd::Ones(2, 3), 2, true); });
        EXPECT_FALSE(e->IsValid());
    }
    EXPECT_EQ(SpectralClusteringCore::LabelsFromLists({{2, 0}, {}, {1}}, 4), (std::vector<int>{0, 2, 0, -1}));
}
