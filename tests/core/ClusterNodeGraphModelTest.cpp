#include "ClusterNode.h"
#include "ClusterNodeGraphModel.h"
#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using Zelvo::ClusterNode;
using Zelvo::ClusterNodeGraphModel;
using Zelvo::ClusteringResult;
using Zelvo::EmbeddingResult;
using Zelvo::HDpointSet;

namespace {

// Same shape as the level-cut tests: A = {0, {1, 2}}, L3, C = {4,5}; depth 4.
const char* kUnevenTree = "+(N)+(N)+(L0)-+(N)+(L1)-+(L2)---+(L3)-+(N)+(L4,5)--";

// Point i sits at (i, i*i) in two dimensions; the embedding puts it at (scale i, -i), moved so
// that the positions are centred on the origin.
class ClusterNodeGraphModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_points.m_dimMask.assign(2, true);
        m_points.m_dimension = 2;
        m_points.m_dimLabels = {"a", "b"};
        for (int i = 0; i < 6; ++i) {
            m_points.m_values.push_back(static_cast<float>(i));
            m_points.m_values.push_back(static_cast<float>(i * i));
        }
        m_points.UpdateDimensionMinMaxMeanVariance();
        m_clustering.SetSerializedHierarchyString(kUnevenTree);
        m_embedding = MakeEmbedding(10);
    }

    std::unique_ptr<EmbeddingResult> MakeEmbedding(float scale)
    {
        std::vector<float> xy;
        for (int i = 0; i < 6; ++i) {
            xy.push_back(scale * i);
            xy.push_back(-static_cast<float>(i));
        }
        return std::make_unique<EmbeddingResult>(xy.data(), 2, 6, &m_points);
    }

    static std::vector<std::vector<int>> Members(const ClusterNodeGraphModel& model)
    {
        std::vector<std::vector<int>> members;
        for (ClusterNode* node : model.GetClusterNodes()) members.push_back(*node->GetAllPointIndex());
        return members;
    }

    HDpointSet<float> m_points;
    ClusteringResult m_clustering;
    std::unique_ptr<EmbeddingResult> m_embedding;
};

using Lists = std::vector<std::vector<int>>;

}  // namespace

TEST_F(ClusterNodeGraphModelTest, FreshModelHasNoNodesUntilALevelIsBuilt)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    EXPECT_TRUE(model.GetClusterNodes().empty());
    EXPECT_EQ(model.GetLevel(), 1);
    model.UpdateClusterNodeByLevel(-1);
    EXPECT_EQ(Members(model), (Lists{{0, 1, 2}, {3}, {4, 5}}));
}

TEST_F(ClusterNodeGraphModelTest, NodesSitAtTheirRepresentativesInTheEmbedding)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    model.UpdateClusterNodeByLevel(1);
    const auto& nodes = model.GetClusterNodes();
    ASSERT_EQ(nodes.size(), 3u);
    // {0,1,2}: centre (1, 5/3), nearest point 1. {4,5}: centre (4.5, 20.5), tie, first is 4.
    const int expected[] = {1, 3, 4};
    for (size_t k = 0; k < 3; ++k) {
        const int r = expected[k];
        EXPECT_EQ(nodes[k]->GetX(), 10.0f * r - 25.0f) << k;
        EXPECT_EQ(nodes[k]->GetY(), 2.5f - static_cast<float>(r)) << k;
        EXPECT_EQ(nodes[k]->GetRepresentativePoint().values(), (std::vector<float>{float(r), float(r * r)}));
        EXPECT_EQ(nodes[k]->GetCluster()->GetRepresentativeIndex(), r);
    }
    EXPECT_FLOAT_EQ(nodes[0]->GetGeometricCenter()[1], 5.0f / 3.0f);
    EXPECT_EQ(nodes[2]->GetPointCount(), 2);
    EXPECT_EQ(nodes[0]->DistanceFromNode(nodes[2]), 1.0f);
    EXPECT_EQ(nodes[0]->DistanceFromNode(nullptr), 1.0f);
}

TEST_F(ClusterNodeGraphModelTest, MinusOneRebuildsTheStoredLevel)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    model.UpdateClusterNodeByLevel(3);
    const Lists level3 = Members(model);
    EXPECT_EQ(level3, (Lists{{3}, {0}, {4, 5}, {1}, {2}}));
    model.UpdateClusterNodeByLevel(-1);
    EXPECT_EQ(model.GetLevel(), 3);
    EXPECT_EQ(Members(model), level3);
    model.UpdateClusterNodeByLevel(0);
    EXPECT_EQ(Members(model), (Lists{{3, 0, 4, 5, 1, 2}}));
    // Other negative levels are stored and give no nodes.
    model.UpdateClusterNodeByLevel(-2);
    EXPECT_EQ(model.GetLevel(), -2);
    EXPECT_TRUE(model.GetClusterNodes().empty());
}

TEST_F(ClusterNodeGraphModelTest, RefiningReplacesANodeByItsChildren)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    model.UpdateClusterNodeByLevel(1);
    ClusterNode* a = model.GetClusterNodes()[0];
    const std::vector<ClusterNode*> refined = model.RefineClusterNode(a);
    ASSERT_EQ(refined.size(), 2u);
    EXPECT_EQ(*refined[0]->GetAllPointIndex(), (std::vector<int>{0}));
    EXPECT_EQ(*refined[1]->GetAllPointIndex(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Members(model), (Lists{{3}, {4, 5}, {0}, {1, 2}}));
    EXPECT_EQ(model.GetClusterNodes()[2], refined[0]);
    EXPECT_EQ(refined[1]->GetX(), -15.0f);  // {1,2}: centre (1.5, 2.5), tie, point 1 first

    // The node taken out stays readable for whoever still holds it.
    EXPECT_EQ(a->GetPointCount(), 3);
    // ... but it is no longer in the list, so refining it again changes nothing.
    EXPECT_TRUE(model.RefineClusterNode(a).empty());
    EXPECT_EQ(model.GetClusterNodes().size(), 4u);

    // Refine the two-point node, then refine one of its single points: it just disappears.
    const auto twoLeaves = model.RefineClusterNode(refined[1]);
    ASSERT_EQ(twoLeaves.size(), 2u);
    EXPECT_EQ(Members(model), (Lists{{3}, {4, 5}, {0}, {1}, {2}}));
    EXPECT_TRUE(model.RefineClusterNode(twoLeaves[0]).empty());
    EXPECT_EQ(Members(model), (Lists{{3}, {4, 5}, {0}, {2}}));
}

TEST_F(ClusterNodeGraphModelTest, RefiningALeafWithTwoIndicesRemovesIt)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    model.UpdateClusterNodeByLevel(1);
    ClusterNode* c = model.GetClusterNodes()[2];
    ASSERT_EQ(c->GetPointCount(), 2);
    // C's only child is the leaf {4,5}.
    const auto children = model.RefineClusterNode(c);
    ASSERT_EQ(children.size(), 1u);
    EXPECT_TRUE(model.RefineClusterNode(children[0]).empty());
    EXPECT_EQ(Members(model), (Lists{{0, 1, 2}, {3}}));
}

TEST_F(ClusterNodeGraphModelTest, RefiningANodeOutsideTheListChangesNothing)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    EXPECT_TRUE(model.RefineClusterNode(nullptr).empty());
    model.UpdateClusterNodeByLevel(1);

    ClusterNodeGraphModel other(&m_clustering, m_embedding.get(), &m_points);
    other.UpdateClusterNodeByLevel(1);
    EXPECT_TRUE(model.RefineClusterNode(other.GetClusterNodes()[0]).empty());
    EXPECT_TRUE(model.RefineClusterNode(nullptr).empty());
    EXPECT_EQ(Members(model), (Lists{{0, 1, 2}, {3}, {4, 5}}));
}

TEST_F(ClusterNodeGraphModelTest, NewEmbeddingReachesNodesOnlyAfterARebuild)
{
    ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
    model.UpdateClusterNodeByLevel(1);
    std::unique_ptr<EmbeddingResult> wider = MakeEmbedding(100);
    model.UpdateEmbeddingResult(wider.get());
    EXPECT_EQ(model.GetEmbeddingResult(), wider.get());
    EXPECT_EQ(model.GetClusterNodes()[1]->GetX(), 5.0f);
    // Refined nodes are new, so they already use the new embedding.
    const auto children = model.RefineClusterNode(model.GetClusterNodes()[0]);
    EXPECT_EQ(children[0]->GetX(), -250.0f);
    model.UpdateClusterNodeByLevel(-1);
    EXPECT_EQ(model.GetClusterNodes()[1]->GetX(), 50.0f);
}

TEST_F(ClusterNodeGraphModelTest, ClustersWithoutPointsOfTheSetCreateNoNode)
{
    // The second cluster names only points that do not exist; the third no point at all.
    ClusteringResult clustering;
    clustering.SetSerializedHierarchyString("+(N)+(N)+(L0)-+(L1)--+(N)+(L9)-+(L6)--+(N)-+(N)+(L5)--");
    ClusterNodeGraphModel model(&clustering, m_embedding.get(), &m_points);
    model.UpdateClusterNodeByLevel(1);
    EXPECT_EQ(Members(model), (Lists{{0, 1}, {5}}));
    // A text without a tree gives no nodes at any level.
    ClusteringResult broken;
    broken.SetSerializedHierarchyString("nothing here");
    ClusterNodeGraphModel empty(&broken, m_embedding.get(), &m_points);
    empty.UpdateClusterNodeByLevel(0);
    EXPECT_TRUE(empty.GetClusterNodes().empty());
}

TEST_F(ClusterNodeGraphModelTest, RepresentativeWithoutEmbeddedPositionCreatesNoNode)
{
    // An embedding of the first three points only cannot place points 3 to 5.
    const std::vector<float> xy{0, 0, 1, 1, 2, 2};
    EmbeddingResult shortEmbedding(const_cast<float*>(xy.data()), 2, 3, &m_points);
    ClusterNodeGraphModel model(&m_clustering, &shortEmbedding, &m_points);
    const std::string out = TestSupport::CaptureStdout([&] { model.UpdateClusterNodeByLevel(1); });
    EXPECT_EQ(Members(model), (Lists{{0, 1, 2}}));
    EXPECT_NE(out.find("Error"), std::string::npos) << out;
}

TEST_F(ClusterNodeGraphModelTest, BuildRefineRebuildDestroyCycleReleasesEveryNode)
{
    // Run under LeakSanitizer: every created node, listed or refined away, is freed.
    for (int round = 0; round < 3; ++round) {
        ClusterNodeGraphModel model(&m_clustering, m_embedding.get(), &m_points);
        model.UpdateClusterNodeByLevel(0);
        auto level1 = model.RefineClusterNode(model.GetClusterNodes()[0]);
        ASSERT_EQ(level1.size(), 3u);
        auto below = model.RefineClusterNode(level1[0]);
        ASSERT_EQ(below.size(), 2u);
        model.RefineClusterNode(below[1]);
        EXPECT_EQ(Members(model), (Lists{{3}, {4, 5}, {0}, {1}, {2}}));
        model.UpdateClusterNodeByLevel(2);
        EXPECT_EQ(Members(model), (Lists{{3}, {0}, {1, 2}, {4, 5}}));
        if (round > 0) model.RefineClusterNode(model.GetClusterNodes()[2]);
    }
}
