#include "ClusterNodeGraphModel.h"
#include "ClusteringInterface.h"
#include "ClusteringResult.h"
#include "DataOperationController.h"
#include "DataProfile.h"
#include "DimReductionInterface.h"
#include "EmbeddingResult.h"
#include "NeighborhoodGraphGeneratorInterface.h"
#include "TestSupport.h"
#include "distanceFunctor.h"
#include "kNNgraphGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace Zelvo;

namespace {

// Embeds by copying the first two raw values of every point; records what it was given.
class CopyingEmbedder : public DimReductionInterface {
public:
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override
    {
        ++calls;
        lastTargetDim = targetDim;
        lastPoints = points;
        const size_t D = points->m_dimMask.size();
        const int n = points->GetPointCount();
        std::vector<float> xy;
        for (int i = 0; i < n; ++i) {
            xy.push_back(points->m_values[i * D]);
            xy.push_back(points->m_values[i * D + 1]);
        }
        return std::make_unique<EmbeddingResult>(xy.data(), 2, n, points);
    }
    int calls = 0;
    int lastTargetDim = -1;
    HDpointSet<float>* lastPoints = nullptr;
};

// One cluster per point parity; null on request.
class ParityClustering : public ClusteringInterface {
public:
    std::unique_ptr<ClusteringResult> DoClustering(HDpointSet<float>* points) override
    {
        lastPoints = points;
        if (fail) return nullptr;
        std::vector<int> labels;
        for (int i = 0; i < points->GetPointCount(); ++i) labels.push_back(i % 2);
        auto result = std::make_unique<ClusteringResult>();
        result->SetFlatClusteringLabel(&labels);
        return result;
    }
    bool fail = false;
    HDpointSet<float>* lastPoints = nullptr;
};

// Records the points and mask it is asked to connect; links node 0 to every other node.
class RecordingGenerator : public NeighborhoodGraphGeneratorInterface {
public:
    using NeighborhoodGraphGeneratorInterface::GenerateNeighborhoodGraph;
    std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(const std::vector<HDpoint<float>>& points,
                                                                 const std::vector<bool>& dimMask,
                                                                 distanceFunctor&) override
    {
        seenPoints = points;
        seenMask = dimMask;
        auto graph = std::make_unique<GraphModel<float>>();
        for (size_t i = 1; i < points.size(); ++i) graph->AddEdge(0, static_cast<int>(i), 1.0f);
        return graph;
    }
    std::vector<HDpoint<float>> seenPoints;
    std::vector<bool> seenMask;
};

class DataOperationControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Five points in three dimensions: point i = (i, 10 - i, i * i).
        HDpointSet<float>& points = m_profile.GetPointSet();
        points.m_dimMask = {true, false, true};
        points.m_dimension = 3;
        points.m_dimLabels = {"a", "b", "c"};
        for (int i = 0; i < 5; ++i)
            points.m_values.insert(points.m_values.end(), {float(i), float(10 - i), float(i * i)});
        points.UpdateDimensionMinMaxMeanVariance();
        m_controller.SetDataProfile(&m_profile);
    }

    DataProfile m_profile;
    DataOperationController m_controller;
};

}  // namespace

TEST_F(DataOperationControllerTest, EnginesRunOnTheProfilesPointsEmbeddingsInTwoDimensions)
{
    CopyingEmbedder embedder;
    std::unique_ptr<EmbeddingResult> embedding = m_controller.ApplyDimReduction(&embedder);
    ASSERT_NE(embedding, nullptr);
    EXPECT_EQ(embedder.lastTargetDim, 2);
    EXPECT_EQ(embedder.lastPoints, &m_profile.GetPointSet());
    EXPECT_EQ(embedding->pointCount, 5);

    ParityClustering clustering;
    std::unique_ptr<ClusteringResult> result = m_controller.ApplyClustering(&clustering);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(clustering.lastPoints, &m_profile.GetPointSet());
    // A failing engine's null result is passed on quietly.
    clustering.fail = true;
    std::unique_ptr<ClusteringResult> failed;
    const std::string out = TestSupport::CaptureStdout([&] { failed = m_controller.ApplyClustering(&clustering); });
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(out, "");
}

TEST_F(DataOperationControllerTest, RefusesToRunWithoutProfileOrEngine)
{
    ParityClustering clustering;
    CopyingEmbedder embedder;
    std::string out = TestSupport::CaptureStdout([&] {
        EXPECT_EQ(m_controller.ApplyClustering(nullptr), nullptr);
        EXPECT_EQ(m_controller.ApplyDimReduction(nullptr), nullptr);
    });
    EXPECT_EQ(out.find("Error"), 0u) << out;

    DataOperationController bare;
    out = TestSupport::CaptureStdout([&] {
        EXPECT_EQ(bare.ApplyClustering(&clustering), nullptr);
        EXPECT_EQ(bare.ApplyDimReduction(&embedder), nullptr);
        EXPECT_EQ(bare.GenerateGraphModelFromClusteringResult(nullptr, nullptr), nullptr);
    });
    EXPECT_EQ(embedder.calls, 0);
    EXPECT_EQ(clustering.lastPoints, nullptr);
    EXPECT_EQ(out.find("Error"), 0u) << out;
}

TEST_F(DataOperationControllerTest, GraphModelUsesTheExplicitEmbeddingElseTheProfilesOne)
{
    ParityClustering clustering;
    CopyingEmbedder embedder;
    std::unique_ptr<ClusteringResult> result = m_controller.ApplyClustering(&clustering);

    // No embedding anywhere: the one error line and no model.
    std::unique_ptr<ClusterNodeGraphModel> model;
    std::string out = TestSupport::CaptureStdout(
        [&] { model = m_controller.GenerateGraphModelFromClusteringResult(result.get(), nullptr); });
    EXPECT_EQ(model, nullptr);
    EXPECT_EQ(out.rfind("Error", 0), 0u) << out;

    m_profile.SetCurrentEmbeddingResult(m_controller.ApplyDimReduction(&embedder));
    EmbeddingResult* current = m_profile.GetCurrentEmbeddingResult();
    ASSERT_NE(current, nullptr);
    model = m_controller.GenerateGraphModelFromClusteringResult(result.get(), nullptr);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetEmbeddingResult(), current);
    EXPECT_EQ(model->GetClusteringResult(), result.get());
    EXPECT_EQ(model->GetPointSet(), &m_profile.GetPointSet());
    EXPECT_TRUE(model->GetClusterNodes().empty());

    std::unique_ptr<EmbeddingResult> explicitEmbedding = m_controller.ApplyDimReduction(&embedder);
    model = m_controller.GenerateGraphModelFromClusteringResult(result.get(), explicitEmbedding.get());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetEmbeddingResult(), explicitEmbedding.get());

    // Even points {0,2,4} and odd points {1,3}; their representatives sit at the copied values.
    model->UpdateClusterNodeByLevel(1);
    ASSERT_EQ(model->GetClusterNodes().size(), 2u);
    const Position2D two = explicitEmbedding->Get2Dpoint(2);
    EXPECT_EQ(model->GetClusterNodes()[0]->GetX(), two.x);
    EXPECT_EQ(model->GetClusterNodes()[0]->GetY(), two.y);
}

TEST_F(DataOperationControllerTest, GraphModelRefusesAnEmbeddingOfAnotherPointCount)
{
    ParityClustering clustering;
    std::unique_ptr<ClusteringResult> result = m_controller.ApplyClustering(&clustering);
    std::vector<float> xy{0, 0, 1, 1, 2, 2, 3, 3};
    EmbeddingResult fourPoints(xy.data(), 2, 4, &m_profile.GetPointSet());
    std::unique_ptr<ClusterNodeGraphModel> model;
    const std::string out = TestSupport::CaptureStdout(
        [&] { model = m_controller.GenerateGraphModelFromClusteringResult(result.get(), &fourPoints); });
    EXPECT_EQ(model, nullptr);
    EXPECT_EQ(out.rfind("Error", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;

    // After deleting a point the profile's own embedding no longer fits either.
    CopyingEmbedder embedder;
    m_profile.SetCurrentEmbeddingResult(m_controller.ApplyDimReduction(&embedder));
    std::vector<int> gone{1};
    ASSERT_TRUE(m_profile.GetPointSet().DeleteHDpoints(gone));
    TestSupport::CaptureStdout(
        [&] { model = m_controller.GenerateGraphModelFromClusteringResult(result.get(), nullptr); });
    EXPECT_EQ(model, nullptr);
}

TEST_F(DataOperationControllerTest, GraphModelRefusesAClusteringOfPointsTheSetDoesNotHave)
{
    CopyingEmbedder embedder;
    std::unique_ptr<EmbeddingResult> embedding = m_controller.ApplyDimReduction(&embedder);
    // A tree stored before points were deleted numbers points past the set's end.
    for (const auto& [clusters, accepted] : std::vector<std::pair<std::vector<std::vector<int>>, bool>>{
             {{{0, 1, 2}, {3, 4}}, true}, {{{0, 1, 2}, {3, 5}}, false}}) {
        ClusteringResult result;
        result.SetClusteringIndexArray(clusters);
        std::unique_ptr<ClusterNodeGraphModel> model;
        const std::string out = TestSupport::CaptureStdout(
            [&] { model = m_controller.GenerateGraphModelFromClusteringResult(&result, embedding.get()); });
        EXPECT_EQ(model != nullptr, accepted) << out;
        if (!accepted) {
            EXPECT_EQ(out.rfind("Error", 0), 0u) << out;
        }
    }
}

TEST_F(DataOperationControllerTest, GraphOverClusterNodesTakesRepresentativesInListOrder)
{
    ParityClustering clustering;
    CopyingEmbedder embedder;
    std::unique_ptr<ClusteringResult> result = m_controller.ApplyClustering(&clustering);
    std::unique_ptr<EmbeddingResult> embedding = m_controller.ApplyDimReduction(&embedder);
    std::unique_ptr<ClusterNodeGraphModel> model =
        m_controller.GenerateGraphModelFromClusteringResult(result.get(), embedding.get());
    ASSERT_NE(model, nullptr);
    model->UpdateClusterNodeByLevel(2);  // every point its own node: 0, 2, 4, 1, 3
    ASSERT_EQ(model->GetClusterNodes().size(), 5u);

    RecordingGenerator generator;
    distanceFunctor distance = m_profile.GetDistanceFunctor(DistanceEuclidean);
    std::unique_ptr<GraphModel<float>> graph = generator.GenerateNeighborhoodGraph(*model, distance);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->edges.size(), 4u);
    ASSERT_EQ(generator.seenPoints.size(), 5u);
    const int order[] = {0, 2, 4, 1, 3};
    for (size_t k = 0; k < 5; ++k) {
        const float i = static_cast<float>(order[k]);
        EXPECT_EQ(generator.seenPoints[k].values(), (std::vector<float>{i, 10 - i, i * i})) << k;
    }
    EXPECT_EQ(generator.seenMask, (std::vector<bool>{true, false, true}));

    // A model without nodes gives the generator nothing to connect.
    ClusterNodeGraphModel empty(result.get(), embedding.get(), &m_profile.GetPointSet());
    generator.GenerateNeighborhoodGraph(empty, distance);
    EXPECT_TRUE(generator.seenPoints.empty());
}

TEST_F(DataOperationControllerTest, NearestNeighbourGraphOverLevelOneNodes)
{
    // Points on a line over the selected dimensions a and c: representatives 2 and 1.
    ParityClustering clustering;
    CopyingEmbedder embedder;
    std::unique_ptr<ClusteringResult> result = m_controller.ApplyClustering(&clustering);
    std::unique_ptr<EmbeddingResult> embedding = m_controller.ApplyDimReduction(&embedder);
    auto model = m_controller.GenerateGraphModelFromClusteringResult(result.get(), embedding.get());
    model->UpdateClusterNodeByLevel(1);
    kNNgraphGenerator knn(1);
    distanceFunctor& distance = m_profile.GetDistanceFunctor(DistanceEuclidean);
    auto graph = knn.GenerateNeighborhoodGraph(*model, distance);
    ASSERT_NE(graph, nullptr);
    ASSERT_EQ(graph->edges.size(), 1u);
    EXPECT_EQ(graph->edges[0], std::make_pair(0, 1));
    // Distance between (2, 8, 4) and (1, 9, 1) over a and c only.
    EXPECT_FLOAT_EQ(graph->edgeWeights.at({0, 1}), std::sqrt(10.0f));
}
