#include "HierarchicalClustering.h"

#include "ClusteringResult.h"
#include "HDpointSet.h"
#include "TestSupport.h"
#include "TreeCluster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace Zelvo {

// Reaches the engine's private steps so each can be checked on its own.
struct HierarchicalClusteringTestAccess {
    static std::string Serialize(HierarchicalClustering& e, const std::vector<TreeClusterNode>& tree)
    {
        e.m_rowCount = static_cast<int>(tree.size()) + 1;
        return e._getSerializedHierarchy(tree.data());
    }
};

}  // namespace Zelvo

namespace {

using Zelvo::HierarchicalClustering;
using Access = Zelvo::HierarchicalClusteringTestAccess;
using PointSet = Zelvo::HDpointSet<float>;
using Cluster = std::vector<int>;  // sorted member indices

PointSet makeSet(int dims, const std::vector<float>& values, Zelvo::PointSetState state = Zelvo::PointSetOriginal)
{
    return std::move(*TestSupport::MakePointSet(values, dims, state));
}

std::unique_ptr<Zelvo::ClusteringResult> run(HierarchicalClustering& engine, PointSet* set, std::string* out = nullptr)
{
    std::unique_ptr<Zelvo::ClusteringResult> result;
    const std::string text = TestSupport::CaptureStdout([&] { result = engine.DoClustering(set); });
    if (out) *out = text;
    return result;
}

std::unique_ptr<Zelvo::ClusteringResult> run(Zelvo::HierarchyicalClusteringType linkage, Zelvo::DistanceType distance,
                                             PointSet* set, std::string* out = nullptr)
{
    HierarchicalClustering engine(linkage, distance);
    return run(engine, set, out);
}

void collect(Zelvo::hNode* node, std::set<Cluster>& clusters, Cluster& leaves)
{
    if (node->isLeaf) {
        leaves.insert(leaves.end(), node->pointIndices.begin(), node->pointIndices.end());
        return;
    }
    Cluster members;
    for (Zelvo::hNode* child : node->children) collect(child, clusters, members);
    std::sort(members.begin(), members.end());
    clusters.insert(members);
    leaves.insert(leaves.end(), members.begin(), members.end());
}

// Every internal node as the sorted set of its points; checks the tree is binary with each
// point of 0..n-1 in exactly one leaf.
std::set<Cluster> clustersOf(Zelvo::ClusteringResult& result, int n)
{
    std::set<Cluster> clusters;
    Zelvo::hNode* root = result.GetRoot();
    EXPECT_NE(root, nullptr);
    if (!root) return clusters;
    Cluster all;
    collect(root, clusters, all);
    Cluster expected(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) expected[static_cast<size_t>(i)] = i;
    EXPECT_EQ(all, expected);
    EXPECT_EQ(clusters.size(), static_cast<size_t>(n - 1));
    for (Zelvo::hNode* node : root->GetAllChildrenLeafNode()) EXPECT_EQ(node->pointIndices.size(), 1u);
    return clusters;
}

std::vector<float> randomValues(int n, int dims, unsigned seed, const std::vector<float>& scale)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<float> values;
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < dims; ++d) values.push_back(normal(rng) * scale[static_cast<size_t>(d)] + float(d));
    return values;
}

const Zelvo::HierarchyicalClusteringType kLinkages[] = {Zelvo::SingleLinkage, Zelvo::MaximumLinkage,
                                                        Zelvo::AverageLinkage, Zelvo::CentroidLinkage};

// ---------------------------------------------------------------------------------------------
// Serialised hierarchy

TEST(HierarchicalClusteringText, HandTreesGiveTheirTexts)
{
    HierarchicalClustering engine(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean);
    // Node 0 joins items 0 and 2, node 1 joins item 1 with node 0.
    EXPECT_EQ(Access::Serialize(engine, {{0, 2, 1.0}, {1, -1, 2.0}}), "+(N)+(N)+(L2)-+(L0)--+(L1)");
    EXPECT_EQ(Access::Serialize(engine, {{0, 1, 1.0}}), "+(N)+(L1)-+(L0)");
    EXPECT_EQ(Access::Serialize(engine, {{1, 0, 1.0}}), "+(N)+(L0)-+(L1)");
    // Balanced: two pairs under the root; right members come first.
    EXPECT_EQ(Access::Serialize(engine, {{0, 1, 1.0}, {2, 3, 1.0}, {-1, -2, 2.0}}),
              "+(N)+(N)+(L3)-+(L2)--+(N)+(L1)-+(L0)");
    // A chain where each new point joins on the left: the text never closes the deep nodes.
    EXPECT_EQ(Access::Serialize(engine, {{0, 1, 1.0}, {2, -1, 2.0}, {3, -2, 3.0}}),
              "+(N)+(N)+(N)+(L1)-+(L0)--+(L2)--+(L3)");
    // A run replaces the previous text instead of appending to it.
    EXPECT_EQ(Access::Serialize(engine, {{1, 0, 1.0}}), "+(N)+(L0)-+(L1)");
}

// ---------------------------------------------------------------------------------------------
// Data copy, selection and normalisation

TEST(HierarchicalClusteringData, RandomSelectionMatchesTheSelectedColumnsAlone)
{
    const int n = 30, dims = 5;
    const std::vector<float> values = randomValues(n, dims, 3, {1, 50, 1, 20, 1});
    PointSet set = makeSet(dims, values);
    set.m_dimMask = {true, false, true, false, true};
    std::vector<float> kept;
    for (int i = 0; i < n; ++i)
        for (int d : {0, 2, 4}) kept.push_back(values[static_cast<size_t>(i * dims + d)]);
    PointSet narrow = makeSet(3, kept);
    for (auto linkage : kLinkages) {
        auto a = run(linkage, Zelvo::DistanceManhattan, &set);
        auto b = run(linkage, Zelvo::DistanceManhattan, &narrow);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(clustersOf(*a, n), clustersOf(*b, n)) << linkage;
    }
}

// The tree of a normalised set equals the tree of raw values normalised here by hand, and
// differs from the tree of the raw values (the dimensions have very different spreads).
TEST(HierarchicalClusteringData, NormalisationStatesUseTheirValues)
{
    const int n = 24, dims = 3;
    const std::vector<float> values = randomValues(n, dims, 9, {0.5f, 40.0f, 3.0f});
    std::vector<double> lo(dims, 1e300), hi(dims, -1e300), mean(dims, 0), var(dims, 0);
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < dims; ++d) {
            const double v = values[static_cast<size_t>(i * dims + d)];
            lo[d] = std::min(lo[d], v);
            hi[d] = std::max(hi[d], v);
            mean[d] += v / n;
        }
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < dims; ++d) var[d] += std::pow(values[static_cast<size_t>(i * dims + d)] - mean[d], 2) / n;
    std::vector<float> minMax, meanVar;
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < dims; ++d) {
            const double v = values[static_cast<size_t>(i * dims + d)];
            minMax.push_back(float((v - lo[d]) / (hi[d] - lo[d])));
            meanVar.push_back(float((v - mean[d]) / std::sqrt(var[d])));
        }
    PointSet minMaxRaw = makeSet(dims, minMax);
    PointSet meanVarRaw = makeSet(dims, meanVar);

    PointSet set = makeSet(dims, values);
    auto raw = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
    set.m_state = Zelvo::PointSetMinMaxNorm;
    auto viaMinMax = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
    set.m_state = Zelvo::PointSetVarianceNorm;
    auto viaMeanVar = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
    auto expectMinMax = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &minMaxRaw);
    auto expectMeanVar = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &meanVarRaw);
    ASSERT_TRUE(raw && viaMinMax && viaMeanVar && expectMinMax && expectMeanVar);

    EXPECT_EQ(clustersOf(*viaMinMax, n), clustersOf(*expectMinMax, n));
    EXPECT_EQ(clustersOf(*viaMeanVar, n), clustersOf(*expectMeanVar, n));
    EXPECT_NE(clustersOf(*raw, n), clustersOf(*viaMinMax, n));
    EXPECT_NE(clustersOf(*raw, n), clustersOf(*viaMeanVar, n));
}

// ---------------------------------------------------------------------------------------------
// Refusals

TEST(HierarchicalClusteringRefusals, ReturnNullWithTheFailureLine)
{
    struct Case {
        const char* what;
        PointSet set;
        bool errorLine;
    };
    std::vector<Case> cases;
    cases.push_back({"no points", makeSet(2, {}), true});
    cases.push_back({"one point", makeSet(2, {1, 2}), true});
    cases.push_back({"no dimension", makeSet(0, {}), true});
    {
        PointSet s = makeSet(2, {1, 2, 3, 4, 5, 6}, Zelvo::PointSetUnknown);
        cases.push_back({"state 3", std::move(s), true});
    }
    {
        PointSet s = makeSet(2, {1, 2, 3, 4, 5, 6}, static_cast<Zelvo::PointSetState>(7));
        cases.push_back({"state 7", std::move(s), true});
    }
    {
        PointSet s = makeSet(2, {1, 2, 3, 4, 5, 6});
        s.m_dimMask = {false, false};
        cases.push_back({"no selected dimension", std::move(s), true});
    }
    {
        PointSet s = makeSet(2, {1, 2, std::numeric_limits<float>::quiet_NaN(), 4, 5, 6});
        cases.push_back({"NaN", std::move(s), true});
    }
    {
        PointSet s = makeSet(2, {1, 2, 3, std::numeric_limits<float>::infinity(), 5, 6});
        cases.push_back({"infinity", std::move(s), true});
    }
    {
        // An infinite value in an unselected dimension does not matter.
        PointSet s = makeSet(2, {1, std::numeric_limits<float>::infinity(), 3, 4, 5, 6});
        s.m_dimMask = {true, false};
        cases.push_back({"infinity unselected", std::move(s), false});
    }
    for (Case& c : cases) {
        for (auto linkage : kLinkages) {
            std::string out;
            auto result = run(linkage, Zelvo::DistanceEuclidean, &c.set, &out);
            if (!c.errorLine) {
                EXPECT_TRUE(result) << c.what;
                continue;
            }
            EXPECT_FALSE(result) << c.what;
            EXPECT_NE(out.find("Hierarchical Cluster failed\n"), std::string::npos) << c.what << ": " << out;
            EXPECT_EQ(out.rfind("Error", 0), 0u) << c.what << ": " << out;
        }
    }

    std::string out;
    EXPECT_FALSE(run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, nullptr, &out));
    EXPECT_NE(out.find("Hierarchical Cluster failed\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Buffers that no longer match the points

TEST(HierarchicalClusteringStale, DeletedPointsLeaveTheTree)
{
    // Two groups along dimension 0 once min-max normalised; 0 and 3 are deleted.
    const std::vector<float> values = {0, 0, 9, 1, 1, 0, 1, 1, 1, 7, 2, 1, 10, 0, 10, 1, 9, 1};
    PointSet set = makeSet(2, values, Zelvo::PointSetMinMaxNorm);
    auto before = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
    ASSERT_TRUE(before);
    clustersOf(*before, 9);

    std::vector<int> gone = {3, 0};
    ASSERT_TRUE(set.DeleteHDpoints(gone));
    auto after = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
    ASSERT_TRUE(after);
    // Remaining old points 1, 2, 4, 5, 6, 7, 8 become 0..6.
    std::vector<float> kept;
    for (int old : {1, 2, 4, 5, 6, 7, 8}) kept.insert(kept.end(), {values[old * 2], values[old * 2 + 1]});
    PointSet fresh = makeSet(2, kept, Zelvo::PointSetMinMaxNorm);
    auto expected = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &fresh);
    ASSERT_TRUE(expected);
    EXPECT_EQ(clustersOf(*after, 7), clustersOf(*expected, 7));
    EXPECT_EQ(after->GetSerializedHierarchyString(), expected->GetSerializedHierarchyString());
}

TEST(HierarchicalClusteringStale, NewValuesOfTheSameSizeReplaceOldBuffers)
{
    for (auto state : {Zelvo::PointSetMinMaxNorm, Zelvo::PointSetVarianceNorm}) {
        const int n = 20, dims = 3;
        PointSet set = makeSet(dims, randomValues(n, dims, 21, {1, 5, 2}), state);
        ASSERT_TRUE(run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set));  // caches the buffers

        // Another data set of the same shape read into the same object.
        const std::vector<float> other = randomValues(n, dims, 22, {3, 1, 8});
        set.m_values = other;
        set.UpdateDimensionMinMaxMeanVariance();
        auto reused = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
        PointSet fresh = makeSet(dims, other, state);
        auto expected = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &fresh);
        ASSERT_TRUE(reused && expected);
        EXPECT_EQ(clustersOf(*reused, n), clustersOf(*expected, n)) << state;
    }
}

// ---------------------------------------------------------------------------------------------
// The engine's tree is the library's tree of the same table for every linkage and distance; the
// library itself is checked against SciPy beside its own tests.

TEST(HierarchicalClusteringOracle, TreesAreTheLibrarysForEveryChoice)
{
    const int n = 28, dims = 4;
    const std::vector<float> values = randomValues(n, dims, 31, {1, 2, 0.5f, 3});
    std::vector<double> table(values.begin(), values.end());
    std::vector<int> present(table.size(), 1);
    std::vector<double*> rows;
    std::vector<int*> masks;
    for (int i = 0; i < n; ++i) {
        rows.push_back(table.data() + i * dims);
        masks.push_back(present.data() + i * dims);
    }
    std::vector<double> weights(dims, 1.0);
    auto libraryTree = [&](char distance, char method) {
        TreeClusterNode* nodes = treecluster(n, dims, rows.data(), masks.data(), weights.data(), 0, distance, method, nullptr);
        std::vector<Cluster> clades;
        for (int k = 0; nodes && k < n - 1; ++k) {
            Cluster joined;
            for (int id : {nodes[k].left, nodes[k].right}) {
                const Cluster part = id >= 0 ? Cluster{id} : clades[static_cast<size_t>(-id - 1)];
                joined.insert(joined.end(), part.begin(), part.end());
            }
            std::sort(joined.begin(), joined.end());
            clades.push_back(joined);
        }
        std::free(nodes);
        return std::set<Cluster>(clades.begin(), clades.end());
    };

    PointSet set = makeSet(dims, values);
    const std::pair<Zelvo::DistanceType, char> distances[] = {
        {Zelvo::DistanceEuclidean, 'e'}, {Zelvo::DistanceManhattan, 'b'}, {Zelvo::DistancePearsonCorrelation, 'c'}};
    const char methods[] = {'s', 'm', 'a', 'c'};
    std::set<std::set<Cluster>> distinct;
    for (const auto& [distance, letter] : distances)
        for (int m = 0; m < 4; ++m) {
            auto result = run(kLinkages[m], distance, &set);
            ASSERT_TRUE(result);
            const std::set<Cluster> expected = libraryTree(letter, methods[m]);
            EXPECT_EQ(clustersOf(*result, n), expected) << letter << methods[m];
            distinct.insert(expected);
        }
    // The choices give different trees on this data, so a wrong letter would show.
    EXPECT_GE(distinct.size(), 10u);
    // Out-of-range choices behave as average linkage over the Euclidean distance.
    auto fallback = run(static_cast<Zelvo::HierarchyicalClusteringType>(4), Zelvo::DistanceUnknown, &set);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(clustersOf(*fallback, n), libraryTree('e', 'a'));
}

}  // namespace
