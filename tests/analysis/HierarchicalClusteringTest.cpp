#include "HierarchicalClustering.h"

#include "ClusteringResult.h"
#include "HDpointSet.h"
#include "TestSupport.h"
#include "TreeCluster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace Zelvo {

// Reaches the engine's private steps so each can be checked on its own.
struct HierarchicalClusteringTestAccess {
    static char Distance(HierarchicalClustering& e, DistanceType t) { return e._convertDistanceType(t); }
    static char Linkage(HierarchicalClustering& e, HierarchyicalClusteringType t) { return e._convertClusteringType(t); }
    static const std::string& DistanceName(const HierarchicalClustering& e) { return e.m_distanceName; }
    static const std::string& LinkageName(const HierarchicalClustering& e) { return e.m_linkageName; }
    static std::string Serialize(HierarchicalClustering& e, const std::vector<TreeClusterNode>& tree)
    {
        e.m_rowCount = static_cast<int>(tree.size()) + 1;
        return e._getSerializedHierarchy(tree.data());
    }
    static bool Fill(HierarchicalClustering& e, HDpointSet<float>* set) { return e._setHDdataSet(set); }
    static int Rows(const HierarchicalClustering& e) { return e.m_rowCount; }
    static int Columns(const HierarchicalClustering& e) { return e.m_columnCount; }
    static double At(const HierarchicalClustering& e, int r, int c) { return e.m_data[r][c]; }
    static int MaskAt(const HierarchicalClustering& e, int r, int c) { return e.m_mask[r][c]; }
    static double Weight(const HierarchicalClustering& e, int c) { return e.m_weights[c]; }
};

}  // namespace Zelvo

namespace {

using Zelvo::HierarchicalClustering;
using Access = Zelvo::HierarchicalClusteringTestAccess;
using PointSet = Zelvo::HDpointSet<float>;
using Cluster = std::vector<int>;  // sorted member indices

PointSet makeSet(int dims, const std::vector<float>& values, Zelvo::PointSetState state = Zelvo::PointSetOriginal)
{
    PointSet set;
    set.m_dimension = dims;
    set.m_dimMask.assign(static_cast<size_t>(dims), true);
    for (int d = 0; d < dims; ++d) set.m_dimLabels.push_back("d" + std::to_string(d));
    set.m_values = values;
    set.m_state = state;
    set.UpdateDimensionMinMaxMeanVariance();
    return set;
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

// The root's two children as point sets (the clusters of level 1).
std::set<Cluster> levelOne(Zelvo::ClusteringResult& result)
{
    std::set<Cluster> level;
    Zelvo::hNode* root = result.GetRoot();
    if (!root) return level;
    for (Zelvo::hNode* child : root->children) {
        std::set<Cluster> ignored;
        Cluster members;
        collect(child, ignored, members);
        std::sort(members.begin(), members.end());
        level.insert(members);
    }
    return level;
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
// Choices, letters and names

TEST(HierarchicalClusteringChoices, DistanceLettersAndNames)
{
    struct Case {
        int value;
        char letter;
        const char* name;
    } cases[] = {{0, 'e', "EuclideanDist"}, {1, 'b', "ManhattanDist"}, {2, 'c', "CorrelationDist"},
                 {3, 'e', "EuclideanDist"}, {-1, 'e', "EuclideanDist"}, {42, 'e', "EuclideanDist"}};
    for (const Case& c : cases) {
        HierarchicalClustering engine(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean);
        EXPECT_EQ(Access::Distance(engine, static_cast<Zelvo::DistanceType>(c.value)), c.letter) << c.value;
        EXPECT_EQ(Access::DistanceName(engine), c.name) << c.value;
    }
}

TEST(HierarchicalClusteringChoices, LinkageLettersAndNames)
{
    struct Case {
        int value;
        char letter;
        const char* name;
    } cases[] = {{0, 's', "SingleLinkage"}, {1, 'm', "MaximumLinkage"}, {2, 'a', "AverageLinkage"},
                 {3, 'c', "CentroidLinkage"}, {4, 'a', "AverageLinkage"}, {-3, 'a', "AverageLinkage"}};
    for (const Case& c : cases) {
        HierarchicalClustering engine(Zelvo::SingleLinkage, Zelvo::DistanceEuclidean);
        EXPECT_EQ(Access::Linkage(engine, static_cast<Zelvo::HierarchyicalClusteringType>(c.value)), c.letter)
            << c.value;
        EXPECT_EQ(Access::LinkageName(engine), c.name) << c.value;
    }
}

TEST(HierarchicalClusteringChoices, DescriptionNamesTheMethod)
{
    PointSet set = makeSet(2, {0, 0, 1, 0, 5, 5});
    const std::map<std::pair<int, int>, std::string> expected = {
        {{2, 0}, "classicHClusteringAverageLinkage_EuclideanDist"},
        {{0, 1}, "classicHClusteringSingleLinkage_ManhattanDist"},
        {{1, 2}, "classicHClusteringMaximumLinkage_CorrelationDist"},
        {{3, 0}, "classicHClusteringCentroidLinkage_EuclideanDist"},
        {{4, 3}, "classicHClusteringAverageLinkage_EuclideanDist"},
    };
    for (const auto& [choice, description] : expected) {
        auto result = run(static_cast<Zelvo::HierarchyicalClusteringType>(choice.first),
                          static_cast<Zelvo::DistanceType>(choice.second), &set);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->GetDescription(), description);
    }
}

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

TEST(HierarchicalClusteringText, LargeTreeParsesBackToTheMerges)
{
    // Chain and balanced parts mixed, 64 items: every merge is one internal node.
    const int n = 64;
    std::vector<TreeClusterNode> tree;
    std::vector<Cluster> members;  // per node
    std::vector<int> pending;
    for (int i = 0; i < n; ++i) pending.push_back(i);
    std::mt19937 rng(5);
    auto membersOf = [&](int id) { return id >= 0 ? Cluster{id} : members[static_cast<size_t>(-id - 1)]; };
    while (pending.size() > 1) {
        std::uniform_int_distribution<size_t> pick(0, pending.size() - 1);
        const size_t a = pick(rng);
        const int left = pending[a];
        pending.erase(pending.begin() + static_cast<long>(a));
        std::uniform_int_distribution<size_t> pick2(0, pending.size() - 1);
        const size_t b = pick2(rng);
        const int right = pending[b];
        pending.erase(pending.begin() + static_cast<long>(b));
        tree.push_back({left, right, double(tree.size())});
        Cluster joined = membersOf(left);
        const Cluster r = membersOf(right);
        joined.insert(joined.end(), r.begin(), r.end());
        std::sort(joined.begin(), joined.end());
        members.push_back(joined);
        pending.push_back(-static_cast<int>(tree.size()));
    }
    HierarchicalClustering engine(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean);
    Zelvo::ClusteringResult result;
    result.SetSerializedHierarchyString(Access::Serialize(engine, tree));
    EXPECT_EQ(clustersOf(result, n), std::set<Cluster>(members.begin(), members.end()));
}

TEST(HierarchicalClusteringText, TwoPointsPerLinkage)
{
    PointSet set = makeSet(3, {1, 2, 3, 4, 0, 7});
    const std::map<int, std::string> expected = {{0, "+(N)+(L1)-+(L0)"},
                                                 {1, "+(N)+(L0)-+(L1)"},
                                                 {2, "+(N)+(L0)-+(L1)"},
                                                 {3, "+(N)+(L1)-+(L0)"},
                                                 {4, "+(N)+(L0)-+(L1)"}};
    for (const auto& [linkage, text] : expected) {
        std::string out;
        auto result = run(static_cast<Zelvo::HierarchyicalClusteringType>(linkage), Zelvo::DistanceEuclidean, &set, &out);
        ASSERT_TRUE(result) << linkage;
        EXPECT_EQ(result->GetSerializedHierarchyString(), text) << linkage;
        EXPECT_EQ(out.find("failed"), std::string::npos);
    }
}

TEST(HierarchicalClusteringText, ThreePointsEndToEnd)
{
    // Points 0 and 2 are close, point 1 is far: the first merge joins 0 and 2 under the root.
    PointSet set = makeSet(1, {0.0f, 10.0f, 1.0f});
    for (auto linkage : kLinkages) {
        auto result = run(linkage, Zelvo::DistanceEuclidean, &set);
        ASSERT_TRUE(result);
        const std::string& text = result->GetSerializedHierarchyString();
        // Root, then an inner node of {0, 2} and leaf 1 in either order.
        EXPECT_TRUE(text == "+(N)+(N)+(L2)-+(L0)--+(L1)" || text == "+(N)+(N)+(L0)-+(L2)--+(L1)" ||
                    text == "+(N)+(L1)-+(N)+(L2)-+(L0)" || text == "+(N)+(L1)-+(N)+(L0)-+(L2)")
            << text;
        EXPECT_EQ(clustersOf(*result, 3), (std::set<Cluster>{{0, 2}, {0, 1, 2}}));
    }
}

// ---------------------------------------------------------------------------------------------
// Data copy, selection and normalisation

TEST(HierarchicalClusteringData, TablesHoldTheSelectedColumnsInDimensionOrder)
{
    PointSet set = makeSet(4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    set.m_dimMask = {false, true, false, true};
    HierarchicalClustering engine(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean);
    ASSERT_TRUE(Access::Fill(engine, &set));
    ASSERT_EQ(Access::Rows(engine), 3);
    ASSERT_EQ(Access::Columns(engine), 2);
    const double expected[3][2] = {{2, 4}, {6, 8}, {10, 12}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(Access::At(engine, r, c), expected[r][c]);
            EXPECT_EQ(Access::MaskAt(engine, r, c), 1);
        }
    EXPECT_EQ(Access::Weight(engine, 0), 1.0);
    EXPECT_EQ(Access::Weight(engine, 1), 1.0);

    // Min-max values of the selected columns: (v - min) / (max - min).
    set.m_state = Zelvo::PointSetMinMaxNorm;
    ASSERT_TRUE(Access::Fill(engine, &set));
    const double minMax[3][2] = {{0, 0}, {0.5, 0.5}, {1, 1}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(Access::At(engine, r, c), minMax[r][c], 1e-7);

    // Mean-variance: column values 2, 6, 10 have mean 6 and population deviation sqrt(32/3).
    set.m_state = Zelvo::PointSetVarianceNorm;
    ASSERT_TRUE(Access::Fill(engine, &set));
    const double z = 4.0 / std::sqrt(32.0 / 3.0);
    const double meanVar[3][2] = {{-z, -z}, {0, 0}, {z, z}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(Access::At(engine, r, c), meanVar[r][c], 1e-6);
}

TEST(HierarchicalClusteringData, UnselectedDimensionsDoNotReachTheTree)
{
    // Dimension 0 separates {0,1,2} from {3,4,5}; dimension 1 would pair them the other way.
    const std::vector<float> values = {0.0f, 0.0f,   0.1f, 100.0f, 0.2f, 0.0f,
                                       5.0f, 100.0f, 5.1f, 0.0f,   5.2f, 100.0f};
    PointSet set = makeSet(2, values);
    auto both = run(Zelvo::AverageLinkage, Zelvo::DistanceEuclidean, &set);
    ASSERT_TRUE(both);
    EXPECT_EQ(levelOne(*both), (std::set<Cluster>{{0, 2, 4}, {1, 3, 5}}));

    set.m_dimMask = {true, false};
    for (auto linkage : kLinkages) {
        auto selected = run(linkage, Zelvo::DistanceEuclidean, &set);
        ASSERT_TRUE(selected);
        EXPECT_EQ(levelOne(*selected), (std::set<Cluster>{{0, 1, 2}, {3, 4, 5}})) << linkage;
    }
}

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

TEST(HierarchicalClusteringData, WellSeparatedGroupsFormTheTopLevels)
{
    // Two groups of six in 3-D far apart: the root's children are exactly the groups.
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> jitter(-0.5f, 0.5f);
    std::vector<float> values;
    const float centres[3][3] = {{0, 0, 0}, {40, 0, 10}, {0, 60, -30}};
    const int groupOf[] = {0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1};
    for (int g : groupOf)
        for (int d = 0; d < 3; ++d) values.push_back(centres[g][d] + jitter(rng));
    PointSet two = makeSet(3, values);
    const std::set<Cluster> groups = {{0, 2, 5, 6, 9, 10}, {1, 3, 4, 7, 8, 11}};
    for (auto linkage : kLinkages)
        for (auto distance : {Zelvo::DistanceEuclidean, Zelvo::DistanceManhattan}) {
            auto result = run(linkage, distance, &two);
            ASSERT_TRUE(result);
            EXPECT_EQ(levelOne(*result), groups) << linkage << " " << distance;
        }

    // Three groups: each is one cluster of the tree.
    values.clear();
    const int groupOf3[] = {2, 0, 1, 2, 1, 0, 0, 2, 1, 1, 2, 0, 2, 1, 0};
    for (int g : groupOf3)
        for (int d = 0; d < 3; ++d) values.push_back(centres[g][d] + jitter(rng));
    PointSet three = makeSet(3, values);
    for (auto linkage : kLinkages) {
        auto result = run(linkage, Zelvo::DistanceEuclidean, &three);
        ASSERT_TRUE(result);
        const std::set<Cluster> clusters = clustersOf(*result, 15);
        for (int g = 0; g < 3; ++g) {
            Cluster members;
            for (int i = 0; i < 15; ++i)
                if (groupOf3[i] == g) members.push_back(i);
            EXPECT_EQ(clusters.count(members), 1u) << linkage << " group " << g;
        }
    }
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

TEST(HierarchicalClusteringRefusals, EngineRunsAgainAfterAFailure)
{
    HierarchicalClustering engine(Zelvo::SingleLinkage, Zelvo::DistanceEuclidean);
    PointSet bad = makeSet(2, {1, 2, 3, 4}, Zelvo::PointSetUnknown);
    EXPECT_FALSE(run(engine, &bad));
    EXPECT_EQ(Access::Rows(engine), 0);
    PointSet good = makeSet(1, {0, 1, 9});
    auto result = run(engine, &good);
    ASSERT_TRUE(result);
    EXPECT_EQ(clustersOf(*result, 3), (std::set<Cluster>{{0, 1}, {0, 1, 2}}));
    PointSet single = makeSet(1, {0});
    EXPECT_FALSE(run(engine, &single));
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
// Oracle: the merges agree with SciPy's linkage for every linkage and distance

TEST(HierarchicalClusteringOracle, MergesAgreeWithScipy)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Debian python with scipy";
    const int n = 28, dims = 4;
    const std::vector<float> values = randomValues(n, dims, 31, {1, 2, 0.5f, 3});
    TestSupport::TempDir dir;
    {
        std::ofstream x(dir.file("x.txt"));
        char buffer[64];
        for (int i = 0; i < n; ++i) {
            for (int d = 0; d < dims; ++d) {
                std::snprintf(buffer, sizeof buffer, "%.17g ", double(values[static_cast<size_t>(i * dims + d)]));
                x << buffer;
            }
            x << "\n";
        }
    }
    // One line per linkage/metric pair: every merge as its sorted members.
    std::ofstream(dir.file("oracle.py")) << R"(
import sys
import numpy as np
from scipy.cluster.hierarchy import linkage
from scipy.spatial.distance import pdist
X = np.loadtxt(sys.argv[1] + 'x.txt')
n = X.shape[0]
for method, metric in [('single','sqeuclidean'), ('complete','sqeuclidean'), ('average','sqeuclidean'),
                       ('centroid','euclidean'), ('single','cityblock'), ('complete','cityblock'),
                       ('average','cityblock'), ('single','correlation'), ('complete','correlation'),
                       ('average','correlation')]:
    Z = linkage(X, 'centroid') if method == 'centroid' else linkage(pdist(X, metric), method)
    members = [[i] for i in range(n)]
    out = []
    for a, b, _, _ in Z:
        m = sorted(members[int(a)] + members[int(b)])
        members.append(m)
        out.append(','.join(map(str, m)))
    print(';'.join(out))
)";
    int code = -1;
    const std::string text =
        TestSupport::RunCommand("/usr/bin/python3 " + dir.file("oracle.py") + " " + dir.path() + " 2>/dev/null", &code);
    ASSERT_EQ(code, 0);
    std::vector<std::set<Cluster>> oracle;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::set<Cluster> clusters;
        std::istringstream merges(line);
        for (std::string merge; std::getline(merges, merge, ';');) {
            Cluster c;
            std::istringstream ids(merge);
            for (std::string id; std::getline(ids, id, ',');) c.push_back(std::stoi(id));
            clusters.insert(c);
        }
        oracle.push_back(clusters);
    }
    ASSERT_EQ(oracle.size(), 10u);

    const std::pair<Zelvo::HierarchyicalClusteringType, Zelvo::DistanceType> runs[] = {
        {Zelvo::SingleLinkage, Zelvo::DistanceEuclidean},          {Zelvo::MaximumLinkage, Zelvo::DistanceEuclidean},
        {Zelvo::AverageLinkage, Zelvo::DistanceEuclidean},         {Zelvo::CentroidLinkage, Zelvo::DistanceEuclidean},
        {Zelvo::SingleLinkage, Zelvo::DistanceManhattan},          {Zelvo::MaximumLinkage, Zelvo::DistanceManhattan},
        {Zelvo::AverageLinkage, Zelvo::DistanceManhattan},         {Zelvo::SingleLinkage, Zelvo::DistancePearsonCorrelation},
        {Zelvo::MaximumLinkage, Zelvo::DistancePearsonCorrelation}, {Zelvo::AverageLinkage, Zelvo::DistancePearsonCorrelation},
    };
    PointSet set = makeSet(dims, values);
    for (size_t k = 0; k < 10; ++k) {
        auto result = run(runs[k].first, runs[k].second, &set);
        ASSERT_TRUE(result);
        EXPECT_EQ(clustersOf(*result, n), oracle[k]) << result->GetDescription();
    }
    // Out-of-range choices behave as average linkage over the Euclidean distance.
    auto fallback = run(static_cast<Zelvo::HierarchyicalClusteringType>(4), Zelvo::DistanceUnknown, &set);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(clustersOf(*fallback, n), oracle[2]);
    // The three linkages really differ on this data, so a wrong letter would show.
    EXPECT_NE(oracle[0], oracle[1]);
    EXPECT_NE(oracle[1], oracle[2]);
    EXPECT_NE(oracle[2], oracle[6]);
    EXPECT_NE(oracle[6], oracle[9]);
}

}  // namespace
