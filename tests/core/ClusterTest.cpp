#include "Cluster.h"
#include "ClusterStatistics.h"
#include "ClusteringLevelFilter.h"
#include "ClusteringResult.h"
#include "hNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using Zelvo::Cluster;
using Zelvo::ClusteringLevelFilter;
using Zelvo::ClusteringResult;
using Zelvo::ClusterStatistics;
using Zelvo::HDpoint;
using Zelvo::HDpointSet;
using Zelvo::hNode;

namespace {

// root
//  +- A: N ---+- L0
//  |          +- B: N -+- L1
//  |                   +- L2
//  +- L3
//  +- C: N ---+- L4,5
// Depths: A, L3, C at 1; L0, B, L4,5 at 2; L1, L2 at 3.
const char* kUnevenTree = "+(N)+(N)+(L0)-+(N)+(L1)-+(L2)---+(L3)-+(N)+(L4,5)--";

std::unique_ptr<HDpointSet<float>> MakeSet(const std::vector<std::vector<float>>& rows, std::vector<bool> mask = {})
{
    auto set = std::make_unique<HDpointSet<float>>();
    const size_t D = rows.empty() ? mask.size() : rows[0].size();
    set->m_dimMask = mask.empty() ? std::vector<bool>(D, true) : mask;
    set->m_dimension = static_cast<int64_t>(D);
    for (size_t d = 0; d < D; ++d) set->m_dimLabels.push_back("dim" + std::to_string(d));
    for (const auto& row : rows) set->m_values.insert(set->m_values.end(), row.begin(), row.end());
    set->UpdateDimensionMinMaxMeanVariance();
    return set;
}

std::vector<std::vector<int>> MembersOf(const std::vector<std::unique_ptr<Cluster>>& clusters)
{
    std::vector<std::vector<int>> members;
    for (const auto& c : clusters) members.push_back(c->GetMembers());
    return members;
}

std::vector<std::vector<int>> Cut(const char* text, int level)
{
    ClusteringResult result;
    result.SetSerializedHierarchyString(text);
    ClusteringLevelFilter filter(level);
    return MembersOf(filter.ApplyClusterFilter(result));
}

using Lists = std::vector<std::vector<int>>;

}  // namespace

TEST(ClusteringLevelFilterTest, CutsAnUnevenTreeLevelByLevel)
{
    EXPECT_EQ(Cut(kUnevenTree, -1), Lists{});
    EXPECT_EQ(Cut(kUnevenTree, -5), Lists{});
    // The root's members are its leaves in breadth-first order.
    EXPECT_EQ(Cut(kUnevenTree, 0), (Lists{{3, 0, 4, 5, 1, 2}}));
    EXPECT_EQ(Cut(kUnevenTree, 1), (Lists{{0, 1, 2}, {3}, {4, 5}}));
    // The leaf L3 above the level stays; B stands for its two leaves.
    EXPECT_EQ(Cut(kUnevenTree, 2), (Lists{{3}, {0}, {1, 2}, {4, 5}}));
    EXPECT_EQ(Cut(kUnevenTree, 3), (Lists{{3}, {0}, {4, 5}, {1}, {2}}));
    EXPECT_EQ(Cut(kUnevenTree, 4), Cut(kUnevenTree, 3));
    EXPECT_EQ(Cut(kUnevenTree, 100), Cut(kUnevenTree, 3));
}

TEST(ClusteringLevelFilterTest, NoTreeGivesNoClusters)
{
    EXPECT_EQ(Cut("", 0), Lists{});
    EXPECT_EQ(Cut("no node at all", 1), Lists{});
    // A root without children is itself the only cluster of level 0 and gives none below.
    EXPECT_EQ(Cut("+(N)", 0), (Lists{{}}));
    EXPECT_EQ(Cut("+(N)", 1), Lists{});
}

TEST(ClusterTest, SpawnsOneClusterPerChild)
{
    ClusteringResult result;
    result.SetSerializedHierarchyString(kUnevenTree);
    hNode* a = result.GetRoot()->children[0];
    Cluster cluster(a);
    auto children = cluster.SpawnChildrenClusters();
    EXPECT_EQ(MembersOf(children), (Lists{{0}, {1, 2}}));
    EXPECT_EQ(children[1]->GetNode(), a->children[1]);
    EXPECT_TRUE(children[0]->SpawnChildrenClusters().empty());
    // A childless internal node and a null node spawn nothing either.
    ClusteringResult bare;
    bare.SetSerializedHierarchyString("+(N)");
    EXPECT_TRUE(Cluster(bare.GetRoot()).SpawnChildrenClusters().empty());
    EXPECT_TRUE(Cluster(nullptr).SpawnChildrenClusters().empty());
    EXPECT_EQ(Cluster(nullptr).GetPointCount(), 0);
}

TEST(ClusterTest, TieKeepsTheEarlierMemberInMemberOrder)
{
    // Points 0 and 1 lie at the same distance from the centre (1, 0); member order is 1, 0.
    auto set = MakeSet({{0, 0}, {2, 0}});
    ClusteringResult result;
    result.SetSerializedHierarchyString("+(N)+(L1)-+(L0)-");
    Cluster cluster(result.GetRoot());
    EXPECT_EQ(cluster.GetMembers(), (std::vector<int>{1, 0}));
    EXPECT_EQ(cluster.GetGeometricCenter(*set).values(), (std::vector<float>{1, 0}));
    EXPECT_EQ(cluster.GetCenterIndex(*set), 1);
    EXPECT_EQ(cluster.GetRepresentativePoint().values(), (std::vector<float>{2, 0}));
}

TEST(ClusterTest, RepresentativeIsTheNearestMemberByBruteForce)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-5, 5);
    std::vector<std::vector<float>> rows(40, std::vector<float>(5));
    for (auto& row : rows)
        for (float& v : row) v = value(rng);
    auto set = MakeSet(rows, {true, false, true, true, false});
    std::vector<int> labels(rows.size());
    for (size_t i = 0; i < labels.size(); ++i) labels[i] = static_cast<int>(rng() % 4);
    ClusteringResult result;
    result.SetFlatClusteringLabel(&labels);
    ClusteringLevelFilter filter(1);
    for (const auto& cluster : filter.ApplyClusterFilter(result)) {
        std::vector<double> centre(5, 0.0);
        for (int m : cluster->GetMembers())
            for (int d = 0; d < 5; ++d) centre[d] += rows[m][d];
        for (double& c : centre) c /= cluster->GetMembers().size();
        int best = -1;
        double bestDistance = std::numeric_limits<double>::max();
        for (int m : cluster->GetMembers()) {
            double s = 0;
            for (int d : {0, 2, 3}) s += (rows[m][d] - centre[d]) * (rows[m][d] - centre[d]);
            if (s < bestDistance) {
                bestDistance = s;
                best = m;
            }
        }
        EXPECT_EQ(cluster->GetCenterIndex(*set), best);
        for (int d = 0; d < 5; ++d) EXPECT_NEAR(cluster->GetStoredGeometricCenter()[d], centre[d], 1e-5);
    }
}

TEST(ClusterTest, StatisticsMatchBruteForce)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> value(-100, 100);
    std::vector<std::vector<float>> rows(60, std::vector<float>(4));
    for (auto& row : rows)
        for (float& v : row) v = value(rng);
    auto set = MakeSet(rows, {true, false, false, true});
    // Two clusters over a random split of the points.
    std::vector<std::vector<int>> lists(2);
    for (int i = 0; i < 60; ++i) lists[rng() % 2].push_back(i);
    ClusteringResult result;
    result.SetClusteringIndexArray(lists);
    ClusteringLevelFilter filter(1);
    auto clusters = filter.ApplyClusterFilter(result);
    ASSERT_EQ(clusters.size(), 2u);
    for (size_t c = 0; c < 2; ++c) {
        ClusterStatistics* stats = clusters[c]->GetClusterStatistic(*set);
        ASSERT_NE(stats, nullptr);
        ASSERT_EQ(stats->memberMean.size(), 4u);
        for (int d = 0; d < 4; ++d) {
            double mean = 0;
            float lo = rows[lists[c][0]][d], hi = lo;
            float setLo = rows[0][d], setHi = setLo;
            for (int m : lists[c]) {
                mean += rows[m][d];
                lo = std::min(lo, rows[m][d]);
                hi = std::max(hi, rows[m][d]);
            }
            for (const auto& row : rows) {
                setLo = std::min(setLo, row[d]);
                setHi = std::max(setHi, row[d]);
            }
            mean /= lists[c].size();
            EXPECT_NEAR(stats->memberMean[d], mean, 1e-3) << "cluster " << c << " dim " << d;
            EXPECT_EQ(stats->memberMin[d], lo);
            EXPECT_EQ(stats->memberMax[d], hi);
            EXPECT_EQ(stats->pointSetMin[d], setLo);
            EXPECT_EQ(stats->pointSetMax[d], setHi);
            EXPECT_EQ(stats->dimensionLabels[d], "dim" + std::to_string(d));
        }
        // A second call starts again rather than accumulating.
        const std::vector<float> first = stats->memberMean;
        EXPECT_EQ(clusters[c]->GetClusterStatistic(*set)->memberMean, first);
    }
}

TEST(ClusterTest, MembersOutsideThePointSetAreNeverRead)
{
    // Point 7 does not exist (an imported hierarchy); points 4 and 5 disappear by deletion.
    auto set = MakeSet({{0, 0}, {2, 2}, {4, 10}, {9, 9}, {100, 100}, {-100, -100}});
    ClusteringResult result;
    result.SetSerializedHierarchyString("+(N)+(N)+(L0)-+(L7)-+(L1)--+(N)+(L4)-+(L5)--+(N)+(L7)--");
    std::vector<int> gone{4, 5};
    ASSERT_TRUE(set->DeleteHDpoints(gone));

    ClusteringLevelFilter filter(1);
    auto clusters = filter.ApplyClusterFilter(result);
    ASSERT_EQ(clusters.size(), 3u);

    Cluster& mixed = *clusters[0];
    EXPECT_EQ(mixed.GetMembers(), (std::vector<int>{0, 7, 1}));
    EXPECT_EQ(mixed.GetGeometricCenter(*set).values(), (std::vector<float>{1, 1}));
    EXPECT_EQ(mixed.GetCenterIndex(*set), 0);
    ClusterStatistics* stats = mixed.GetClusterStatistic(*set);
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats->memberMax, (std::vector<float>{2, 2}));
    EXPECT_EQ(stats->memberMean, (std::vector<float>{1, 1}));

    for (size_t c : {1u, 2u}) {
        Cluster& empty = *clusters[c];
        EXPECT_EQ(empty.GetCenterIndex(*set), -1) << c;
        EXPECT_EQ(empty.GetGeometricCenter(*set).values(), (std::vector<float>{0, 0})) << c;
        EXPECT_EQ(empty.GetClusterStatistic(*set), nullptr) << c;
    }
}

