// Deleting points through the data profile renumbers its current clustering with the set: each
// cluster keeps exactly its kept points under their new numbers, in the tree and in the text
// that is stored.
#include "ClusteringResult.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

using Zelvo::ClusteringResult;
using Zelvo::DataProfile;
using Zelvo::hNode;

namespace {

using Clusters = std::vector<std::vector<int>>;

// Ten points whose only value is their first number; level-1 clusters of several shapes: leaves
// side by side, a single point, a cluster with a cluster inside.
const char* const kTree =
    "+(N)+(N)+(L0)-+(L1)-+(L2)--(N)+(N)+(L3)-+(L4)--(N)+(N)+(L5)--(N)"
    "+(N)+(N)+(L6)-+(L7)--(N)+(L8)-+(L9)--(N)";
const Clusters kClusters = {{0, 1, 2}, {3, 4}, {5}, {6, 7, 8, 9}};
const int kPoints = 10;

// The points each level-1 cluster of the tree holds, by their first numbers (read from the
// set), sorted; clusters left without points are not listed. Every index must name a point of
// the set, and no point may be in two places.
Clusters ClustersOf(hNode* root, const Zelvo::HDpointSet<float>& set)
{
    Clusters clusters;
    std::set<int> seen;
    const int count = static_cast<int>(set.m_values.size());
    for (hNode* cluster : root->children) {
        std::vector<int> ids;
        for (hNode* leaf : cluster->GetAllChildrenLeafNode())
            for (int index : leaf->pointIndices) {
                EXPECT_TRUE(index >= 0 && index < count) << "index " << index << " of " << count;
                EXPECT_TRUE(seen.insert(index).second) << "index " << index << " twice";
                if (index >= 0 && index < count) ids.push_back(static_cast<int>(set.m_values[index]));
            }
        std::sort(ids.begin(), ids.end());
        if (!ids.empty()) clusters.push_back(ids);
    }
    EXPECT_EQ(static_cast<int>(seen.size()), count) << "every kept point in one cluster";
    return clusters;
}

}  // namespace

TEST(DeletionRenumber, TheCurrentClusteringKeepsEachClustersKeptPoints)
{
    // Deletions in the numbering of their moment, lists as a user's selection gives them.
    const struct {
        const char* what;
        std::vector<std::vector<int>> steps;
    } cases[] = {
        {"one point", {{1}}},
        {"a single-point cluster in the middle", {{5}}},
        {"unsorted, first and last", {{9, 0, 4}}},
        {"the inner cluster", {{7, 6}}},
        {"a whole cluster and more", {{8, 3, 6, 7, 9}}},
        {"twice, the second past the first", {{2}, {6, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataProfile profile;
        Zelvo::HDpointSet<float>& set = profile.GetPointSet();
        set.m_dimMask = {true};
        set.m_dimLabels = {"id"};
        std::vector<float> xy;
        for (int i = 0; i < kPoints; ++i) {
            set.m_values.push_back(static_cast<float>(i));
            xy.insert(xy.end(), {static_cast<float>(i), static_cast<float>(i % 3)});
        }
        set.UpdateDimensionMinMaxMeanVariance();
        TestSupport::CaptureStdout([&] {
            profile.SetCurrentEmbeddingResult(std::make_unique<Zelvo::EmbeddingResult>(xy.data(), 2, kPoints, &set));
            auto clustering = std::make_unique<ClusteringResult>();
            clustering->SetSerializedHierarchyString(kTree);
            profile.SetCurrentClusteringResult(std::move(clustering));
        });
        ASSERT_NE(profile.GetCurrentClusteringResult(), nullptr);

        std::set<int> gone;
        for (std::vector<int> step : c.steps) {
            std::vector<int> ids;
            for (int row : step) ids.push_back(static_cast<int>(set.m_values[row]));
            TestSupport::CaptureStdout([&] { profile.DeletePointByIndex(step); });
            gone.insert(ids.begin(), ids.end());
        }
        Clusters expected;
        for (const std::vector<int>& cluster : kClusters) {
            std::vector<int> kept;
            for (int id : cluster)
                if (!gone.count(id)) kept.push_back(id);
            if (!kept.empty()) expected.push_back(kept);
        }
        ASSERT_EQ(set.GetPointCount(), kPoints - static_cast<int>(gone.size()));
        ClusteringResult& clustering = *profile.GetCurrentClusteringResult();
        EXPECT_EQ(ClustersOf(clustering.GetRoot(), set), expected);
        // The text that is stored reads back as the same clusters.
        ClusteringResult stored;
        stored.SetSerializedHierarchyString(clustering.GetSerializedHierarchyString());
        ASSERT_NE(stored.GetRoot(), nullptr) << clustering.GetSerializedHierarchyString();
        EXPECT_EQ(ClustersOf(stored.GetRoot(), set), expected) << clustering.GetSerializedHierarchyString();

        // A list the set refuses (a row past it, a row twice) leaves the clustering as it was.
        const std::string before = clustering.GetSerializedHierarchyString();
        for (std::vector<int> refused : {std::vector<int>{0, kPoints}, std::vector<int>{1, 1}}) {
            TestSupport::CaptureStdout([&] { profile.DeletePointByIndex(refused); });
            EXPECT_EQ(clustering.GetSerializedHierarchyString(), before);
        }
    }
}
