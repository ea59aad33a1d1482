#include "kmeansClustering.h"

#include "ClusteringResult.h"
#include "HDpointSet.h"
#include "TestSupport.h"
#include "hNode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <locale>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace Zelvo {

// Reaches the engine's Lloyd iteration.
struct kmeansClusteringTestAccess {
    static bool Lloyd(kmeansClustering& e, const std::vector<float>& data, int n, int d, int k, float threshold)
    {
        return e.k_mean(data.data(), n, d, k, threshold);
    }
};

}  // namespace Zelvo

namespace {

using Zelvo::kmeansClustering;
using Access = Zelvo::kmeansClusteringTestAccess;
using PointSet = Zelvo::HDpointSet<float>;
using TestSupport::Blobs;

std::unique_ptr<PointSet> MakeSet(int dims, const std::vector<float>& values,
                                  Zelvo::PointSetState state = Zelvo::PointSetOriginal)
{
    auto set = TestSupport::MakePointSet(values, dims, state);
    set->m_computeAverageRadius = false;
    return set;
}

std::vector<std::vector<float>> CentreValues(const kmeansClustering& e)
{
    std::vector<std::vector<float>> out;
    for (const auto& c : e.GetCenters()) out.push_back(c.values());
    return out;
}

std::unique_ptr<Zelvo::ClusteringResult> Cluster(kmeansClustering& engine, PointSet* set, std::string* out = nullptr)
{
    std::unique_ptr<Zelvo::ClusteringResult> result;
    const std::string printed = TestSupport::CaptureStdout([&] { result = engine.DoClustering(set); });
    if (out) *out = printed;
    return result;
}

// A root with one node per non-empty cluster in label order, one single-point leaf per point.
void ExpectTreeMatches(Zelvo::ClusteringResult& result, const std::vector<int>& labels)
{
    Zelvo::hNode* root = result.GetRoot();
    ASSERT_NE(root, nullptr);
    const std::set<int> distinct(labels.begin(), labels.end());
    ASSERT_EQ(root->children.size(), distinct.size());
    std::vector<int> fromTree(labels.size(), -1);
    auto label = distinct.begin();
    for (Zelvo::hNode* node : root->children) {
        ASSERT_FALSE(node->children.empty()) << "cluster node without members";
        for (Zelvo::hNode* leaf : node->children) {
            ASSERT_TRUE(leaf->isLeaf);
            ASSERT_EQ(leaf->pointIndices.size(), 1u);
            fromTree.at(leaf->pointIndices[0]) = *label;
        }
        ++label;
    }
    EXPECT_EQ(fromTree, labels);
}

KmRandom Mersenne(unsigned seed)
{
    auto gen = std::make_shared<std::mt19937>(seed);
    return [gen] { return static_cast<int>((*gen)() >> 1); };
}

}  // namespace

TEST(kmeansClassic, HandWorkedRunTiesAndEmptyClusters)
{
    // Points 0 and 2 are the seeds (step 4 / 2 = 2). Point 1 sits exactly half-way between
    // them and joins the lower-numbered cluster. Passes: {0,1}{2,3}, then {0,1,2}{3} twice.
    kmeansClustering engine(2, Zelvo::ClassicKmeans);
    TestSupport::CaptureStdout([&] { Access::Lloyd(engine, {0, 0, 1, 0, 2, 0, 10, 0}, 4, 2, 2, 0.1f); });
    EXPECT_EQ(engine.GetLabels(), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(CentreValues(engine), (std::vector<std::vector<float>>{{1, 0}, {10, 0}}));

    // All seeds are point 0; pass 1 compares with the empty clusters' zero centres: (1,1) moves
    // to cluster 1, (2,2) ties between (3,3) and (1,1) and stays in 0.
    kmeansClustering few(5, Zelvo::ClassicKmeans);
    const std::string out = TestSupport::CaptureStdout([&] { Access::Lloyd(few, {1, 1, 2, 2, 4, 4}, 3, 2, 5, 0.1f); });
    EXPECT_EQ(few.GetLabels(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(CentreValues(few), (std::vector<std::vector<float>>{{3, 3}, {1, 1}}));
    EXPECT_NE(out.find("Zero cluster count: 3\n"), std::string::npos) << out;

    // A threshold no difference can meet runs every pass: 51 of them, and no more.
    kmeansClustering capped(2, Zelvo::ClassicKmeans);
    const std::string longRun =
        TestSupport::CaptureStdout([&] { Access::Lloyd(capped, Blobs(50, 2, 2, 1.0f, 9), 50, 2, 2, -1.0f); });
    EXPECT_NE(longRun.find("* iteration:50 error:"), std::string::npos);
    EXPECT_NE(longRun.find("Finished at 51 iteration\n"), std::string::npos) << longRun;
}

TEST(kmeansClassic, ResultHoldsTreeAndMeanCentresOfTheSelectedNormalisedColumns)
{
    std::vector<int> truth;
    const std::vector<float> values = Blobs(600, 4, 5, 1.0f, 11, &truth);
    auto set = MakeSet(4, values);
    kmeansClustering engine(8, Zelvo::ClassicKmeans);
    auto result = Cluster(engine, set.get());
    ASSERT_NE(result, nullptr);
    ExpectTreeMatches(*result, engine.GetLabels());
    const std::set<int> distinct(engine.GetLabels().begin(), engine.GetLabels().end());
    ASSERT_EQ(result->GetCenters().size(), distinct.size());
    size_t c = 0;
    for (int label : distinct) {
        std::vector<double> mean(4, 0.0);
        int count = 0;
        for (int i = 0; i < 600; ++i) {
            if (engine.GetLabels()[i] != label) continue;
            ++count;
            for (int j = 0; j < 4; ++j) mean[j] += values[size_t(i) * 4 + j];
        }
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(result->GetCenters()[c][j], mean[j] / count, 1e-3);
        ++c;
    }

    // Dimension 1 separates the points only after min-max normalisation against the huge spread
    // of dimension 0; dimension 2 is left out and would split them otherwise.
    std::vector<float> wide;
    for (int i = 0; i < 40; ++i) wide.insert(wide.end(), {float(i % 2), float(i < 20 ? 0 : 1000), float(i % 3) * 1e6f});
    auto normalised = MakeSet(3, wide, Zelvo::PointSetMinMaxNorm);
    normalised->m_dimMask[2] = false;
    kmeansClustering two(2, Zelvo::ClassicKmeans);
    result = Cluster(two, normalised.get());
    ASSERT_NE(result, nullptr);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(two.GetLabels()[i], i < 20 ? 0 : 1) << i;
    ASSERT_EQ(result->GetCenters().size(), 2u);
    EXPECT_EQ(result->GetCenters()[0].size(), 2u);  // packed width, normalised values
    EXPECT_FLOAT_EQ(result->GetCenters()[1][1], 1.0f);
}

// Lloyd from the same seed rows as scikit-learn's KMeans, to convergence.
TEST(kmeansClassic, SameLabelsAsScikitLearnFromTheSameSeedRows)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Debian python with scikit-learn";
    struct Case {
        int n, d, blobs, k;
        float spread;
        unsigned seed;
    };
    const Case cases[] = {{3000, 6, 6, 6, 2.0f, 21}, {2000, 3, 8, 5, 3.0f, 22}, {1500, 10, 4, 9, 2.0f, 23}};
    TestSupport::TempDir dir;
    std::string script = "import numpy as np\nfrom sklearn.cluster import KMeans\n";
    std::vector<std::vector<int>> ours;
    for (const Case& c : cases) {
        const std::vector<float> values = Blobs(c.n, c.d, c.blobs, c.spread, c.seed);
        std::ofstream out(dir.file("x" + std::to_string(c.seed) + ".txt"));
        out.imbue(std::locale::classic());
        out.precision(9);
        for (int i = 0; i < c.n; ++i) {
            for (int j = 0; j < c.d; ++j) out << (j ? " " : "") << values[size_t(i) * c.d + j];
            out << "\n";
        }
        std::string rows;
        for (int s = 0; s < c.k; ++s) rows += (s ? "," : "") + std::to_string(s * (c.n / c.k));
        script += "X = np.loadtxt('x" + std::to_string(c.seed) + ".txt', dtype=np.float32).astype(np.float64)\n"
                  "print(' '.join(str(v) for v in KMeans(n_clusters=" + std::to_string(c.k) + ", init=X[[" + rows +
                  "]], n_init=1, algorithm='lloyd', tol=0, max_iter=1000).fit(X).labels_))\n";
        auto set = MakeSet(c.d, values);
        kmeansClustering engine(c.k, Zelvo::ClassicKmeans);
        ASSERT_NE(Cluster(engine, set.get()), nullptr);
        ours.push_back(engine.GetLabels());
    }
    int code = -1;
    const std::string reply = TestSupport::RunPython(dir.path(), script, &code);
    ASSERT_EQ(code, 0) << reply;
    std::istringstream lines(reply);
    std::string line;
    for (size_t k = 0; k < ours.size() && std::getline(lines, line); ++k)
        EXPECT_EQ(ours[k], TestSupport::ReadInts(line)) << "seed " << cases[k].seed;
}

// One attempt with this generator finds all six blobs; other seeds can merge two blobs and
// split a third, which is k-means++ working as designed, not a fault.
TEST(kmeansPlusPlus, RecoversTheBlobsWithTheNearestPointsAsCentres)
{
    int d = 0;
    const std::vector<float> values = TestSupport::ReadCsvValues(TestSupport::DataPath("blobs_10k_8d.csv"), &d);
    ASSERT_EQ(d, 8);
    const std::vector<int> truth =
        TestSupport::ReadInts(TestSupport::ReadFile(TestSupport::DataPath("blobs_10k_8d_labels.txt")));
    ASSERT_EQ(truth.size(), 10000u);
    auto set = MakeSet(8, values);
    kmeansClustering engine(6, Zelvo::KmeansPlusPlus, Mersenne(1));
    std::string out;
    auto result = Cluster(engine, set.get(), &out);
    ASSERT_NE(result, nullptr) << out;
    EXPECT_DOUBLE_EQ(TestSupport::AdjustedRandIndex(engine.GetLabels(), truth), 1.0);
    ExpectTreeMatches(*result, engine.GetLabels());

    // The centre of each cluster is its data point nearest to the cluster mean, raw values.
    ASSERT_EQ(result->GetCenters().size(), 6u);
    for (int c = 0; c < 6; ++c) {
        std::vector<double> mean(8, 0.0);
        int count = 0;
        for (int i = 0; i < 10000; ++i) {
            if (engine.GetLabels()[i] != c) continue;
            ++count;
            for (int j = 0; j < 8; ++j) mean[j] += values[size_t(i) * 8 + j];
        }
        int nearest = 0;
        double best = std::numeric_limits<double>::max();
        for (int i = 0; i < 10000; ++i) {
            double dist = 0;
            for (int j = 0; j < 8; ++j) dist += std::pow(values[size_t(i) * 8 + j] - mean[j] / count, 2);
            if (dist < best) {
                best = dist;
                nearest = i;
            }
        }
        const std::vector<float> row(values.begin() + nearest * 8, values.begin() + nearest * 8 + 8);
        EXPECT_EQ(result->GetCenters()[c].values(), row) << "cluster " << c;
    }
}

TEST(kmeansPlusPlus, EmptyClustersGiveFiniteCentresAndNoEmptyNodes)
{
    // Three distinct points, each repeated: at most three clusters can receive points.
    std::vector<float> values;
    for (int i = 0; i < 90; ++i) values.insert(values.end(), {float(i % 3), 7.0f, float(i % 3 == 1)});
    for (unsigned seed : {1u, 2u, 3u}) {
        auto set = MakeSet(3, values);
        kmeansClustering engine(7, Zelvo::KmeansPlusPlus, Mersenne(seed));
        std::string out;
        auto result = Cluster(engine, set.get(), &out);
        ASSERT_NE(result, nullptr) << out;
        EXPECT_EQ(out.find("nan"), std::string::npos) << out;
        ExpectTreeMatches(*result, engine.GetLabels());
        const std::set<int> distinct(engine.GetLabels().begin(), engine.GetLabels().end());
        EXPECT_EQ(distinct.size(), 3u);
        // k centres, every one a real data point; clusters left empty show point 0.
        ASSERT_EQ(result->GetCenters().size(), 7u);
        for (int c = 0; c < 7; ++c) {
            if (!distinct.count(c)) {
                EXPECT_EQ(result->GetCenters()[c].values(), (std::vector<float>{0, 7, 0}));
            }
        }
    }
}

TEST(kmeansPlusPlus, CentresAreRawPointsWhileClusteringNormalisedValues)
{
    std::vector<float> values = Blobs(400, 3, 3, 0.5f, 31);
    for (size_t i = 0; i < values.size(); i += 3) values[i] *= 1000.0f;  // a wide first dimension
    auto set = MakeSet(3, values, Zelvo::PointSetVarianceNorm);
    set->m_dimMask[1] = false;
    kmeansClustering engine(3, Zelvo::KmeansPlusPlus, Mersenne(5));
    auto result = Cluster(engine, set.get());
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->GetCenters().size(), 3u);
    std::set<std::vector<float>> rows;
    for (int i = 0; i < 400; ++i) rows.insert(std::vector<float>(values.begin() + i * 3, values.begin() + i * 3 + 3));
    for (const auto& centre : result->GetCenters()) EXPECT_TRUE(rows.count(centre.values()));  // all 3 dimensions
}

TEST(kmeansPlusPlus, DrawsFromTheProcessSequenceOrTheGivenGenerator)
{
    const std::vector<float> values = Blobs(500, 4, 9, 6.0f, 41);
    auto run = [&](kmeansClustering& engine) {
        auto set = MakeSet(4, values);
        EXPECT_NE(Cluster(engine, set.get()), nullptr);
        return engine.GetLabels();
    };
    kmeansClustering byRand(9, Zelvo::KmeansPlusPlus);
    std::srand(0);
    const std::vector<int> first = run(byRand);
    std::srand(0);
    EXPECT_EQ(run(byRand), first);
    // The sequence moved on: the very next draw differs from the one a fresh srand(0) gives.
    std::srand(0);
    const int fresh = std::rand();
    std::srand(0);
    run(byRand);
    EXPECT_NE(std::rand(), fresh);

    kmeansClustering a(9, Zelvo::KmeansPlusPlus, Mersenne(3));
    kmeansClustering b(9, Zelvo::KmeansPlusPlus, Mersenne(3));
    EXPECT_EQ(run(a), run(b));
}

TEST(kmeans, ThreadsGiveTheSameClustering)
{
    // Large enough for every pass (and the tree, the seeding and the search for the points
    // standing in for the centres) to run on three threads: the same sums in the same order.
    const std::vector<float> values = Blobs(20000, 5, 12, 4.0f, 8);
    for (Zelvo::kmeansType type : {Zelvo::ClassicKmeans, Zelvo::KmeansPlusPlus}) {
        std::vector<std::vector<int>> labels;
        std::vector<std::vector<std::vector<float>>> centres;
        std::vector<std::string> outputs;
        for (const int workers : {1, 3}) {
            auto set = MakeSet(5, values);
            kmeansClustering engine(20, type, Mersenne(9), workers);
            outputs.emplace_back();
            ASSERT_NE(Cluster(engine, set.get(), &outputs.back()), nullptr);
            labels.push_back(engine.GetLabels());
            centres.push_back(CentreValues(engine));
        }
        EXPECT_EQ(labels[1], labels[0]) << type;
        EXPECT_EQ(centres[1], centres[0]) << type;
        EXPECT_EQ(outputs[1], outputs[0]) << type;  // the final cost too
    }
}

TEST(kmeans, RefusalsGiveNullAndAnErrorLine)
{
    const std::vector<float> good = {0, 0, 1, 1, 5, 5, 6, 6};
    struct Case {
        const char* name;
        std::vector<float> values;
        int k;
        Zelvo::PointSetState state;
        bool noDimension;
        bool noSet = false;
    };
    const Case cases[] = {
        {"no clusters", good, 0, Zelvo::PointSetOriginal, false},
        {"negative k", good, -3, Zelvo::PointSetOriginal, false},
        {"no points", {}, 2, Zelvo::PointSetOriginal, false},
        {"no selected dimension", good, 2, Zelvo::PointSetOriginal, true},
        {"state without a packed buffer", good, 2, Zelvo::PointSetUnknown, false},
        {"not a number", {0, 0, 1, std::nanf(""), 5, 5, 6, 6}, 2, Zelvo::PointSetOriginal, false},
        {"infinite value", {0, 0, 1, 1, -INFINITY, 5, 6, 6}, 2, Zelvo::PointSetOriginal, false},
        {"no point set", good, 2, Zelvo::PointSetOriginal, false, true},
    };
    for (const Case& c : cases) {
        for (Zelvo::kmeansType type : {Zelvo::ClassicKmeans, Zelvo::KmeansPlusPlus}) {
            SCOPED_TRACE(std::string(c.name) + (type == Zelvo::ClassicKmeans ? " classic" : " k-means++"));
            auto set = MakeSet(2, c.values, c.state);
            if (c.noDimension) set->m_dimMask.assign(2, false);
            kmeansClustering engine(c.k, type, Mersenne(1));
            std::string out;
            EXPECT_EQ(Cluster(engine, c.noSet ? nullptr : set.get(), &out), nullptr);
            EXPECT_NE(out.find("Error"), std::string::npos) << out;
            EXPECT_EQ(out.find("start"), std::string::npos) << out;
        }
    }
    // An unknown variant runs nothing.
    auto set = MakeSet(2, good);
    for (int type : {2, -1}) {
        kmeansClustering engine(2, static_cast<Zelvo::kmeansType>(type));
        std::string out;
        EXPECT_EQ(Cluster(engine, set.get(), &out), nullptr);
        EXPECT_EQ(out.find("start"), std::string::npos) << out;
    }
}
