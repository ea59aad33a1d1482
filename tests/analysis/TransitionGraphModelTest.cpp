#include "DataProfile.h"
#include "LinearProjection.h"
#include "SubspaceDistance.h"
#include "SubspaceTransitionGraphModel.h"
#include "TestSupport.h"

#include <Eigen/Eigenvalues>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

using namespace Zelvo;
using Eigen::MatrixXf;

namespace {

// Links every pair of nodes by their distance and records what it was asked.
class CompleteGraphGenerator : public ViewGraphGeneratorInterface {
public:
    struct Call {
        size_t nodes;
        const GraphModel<float>* previous;  // null for a full build
        GraphNodeIndexMap map;
        const GraphModel<float>* made;
    };
    explicit CompleteGraphGenerator(std::vector<Call>& calls) : m_calls(calls) {}

    std::unique_ptr<GraphModel<float>> GenerateGraph(const std::vector<GraphNodeModelInterface*>& nodes) override
    {
        return UpdateGraph(nodes, nullptr, GraphNodeIndexMap());
    }
    std::unique_ptr<GraphModel<float>> UpdateGraph(const std::vector<GraphNodeModelInterface*>& nodes,
                                                   const GraphModel<float>* previous,
                                                   const GraphNodeIndexMap& map) override
    {
        auto graph = std::make_unique<GraphModel<float>>();
        for (size_t i = 0; i < nodes.size(); ++i)
            for (size_t j = i + 1; j < nodes.size(); ++j)
                graph->AddEdge(int(i), int(j), nodes[i]->DistanceFromNode(nodes[j]));
        m_calls.push_back({nodes.size(), previous, map, graph.get()});
        return graph;
    }

private:
    std::vector<Call>& m_calls;
};

constexpr int kPoints = 60;
constexpr int kDims = 4;

// Points 0-29 near a 3-D subspace, 30-59 near a plane. The first dimension is a hundred
// times wider than the others, so a PCA of raw and one of normalised values differ.
class TransitionGraphModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(5);
        std::normal_distribution<float> normal;
        basis0 = MatrixXf::NullaryExpr(kDims, 3, [&] { return normal(random); });
        basis1 = MatrixXf::NullaryExpr(kDims, 2, [&] { return normal(random); });
        HDpointSet<float>& points = profile.GetPointSet();
        points.m_dimMask.assign(kDims, true);
        points.m_dimension = kDims;
        for (int i = 0; i < kPoints; ++i) {
            const MatrixXf& basis = i < kPoints / 2 ? basis0 : basis1;
            Eigen::VectorXf point = basis * Eigen::VectorXf::NullaryExpr(basis.cols(), [&] { return normal(random); });
            point[0] *= 100.0f;
            for (int d = 0; d < kDims; ++d) points.m_values.push_back(point[d] + 0.01f * normal(random));
        }
        points.UpdateDimensionMinMaxMeanVariance();
    }

    // Labels 1.. in equal runs, one basis per label.
    static std::unique_ptr<SubspaceModel> Model(std::vector<MatrixXf> bases, int pointCount = kPoints)
    {
        std::vector<int> labels;
        for (int i = 0; i < pointCount; ++i) labels.push_back(1 + i * int(bases.size()) / pointCount);
        auto descriptor = std::make_unique<SubspaceDescriptor>();
        descriptor->bases = std::move(bases);
        return std::make_unique<SubspaceModel>(std::make_unique<LabelingResult>(labels), std::move(descriptor));
    }

    bool Load(ViewTransitionGraphModel& model, std::unique_ptr<SubspaceModel> m, std::string* out = nullptr)
    {
        bool accepted = false;
        const std::string text = TestSupport::CaptureStdout([&] { accepted = model.SetSubspaceModel(std::move(m)); });
        if (out) *out = text;
        return accepted;
    }

    // A view on two coordinate axes, kept by the test.
    std::unique_ptr<LinearProjectionEmbeddingResult> AxisView(int axis)
    {
        MatrixXf axes = MatrixXf::Zero(kDims, 2);
        axes(axis, 0) = axes((axis + 1) % kDims, 1) = 1;
        std::unique_ptr<EmbeddingResult> view;
        TestSupport::CaptureStdout([&] { view = LinearProjection(axes).DoEmbeding(&profile.GetPointSet(), 2); });
        return std::unique_ptr<LinearProjectionEmbeddingResult>(
            dynamic_cast<LinearProjectionEmbeddingResult*>(view.release()));
    }

    DataProfile profile;
    MatrixXf basis0, basis1;
};

MatrixXf PrincipalPlane(const MatrixXf& rows)
{
    const MatrixXf centred = rows.rowwise() - rows.colwise().mean();
    return Eigen::SelfAdjointEigenSolver<MatrixXf>(centred.transpose() * centred).eigenvectors().rightCols(2);
}

}  // namespace

TEST_F(TransitionGraphModel, SubspacesBecomePairwiseViewsAndOverviewNodes)
{
    ViewTransitionGraphModel model;
    model.dataProfile = &profile;
    QSignalSpy updated(&model, &ViewTransitionGraphModel::GraphUpdated);
    std::string out;
    ASSERT_TRUE(Load(model, Model({basis0, basis1}), &out)) << out;

    // In this order, between the projections' own lines; the overview note has no line end.
    size_t at = 0;
    for (const char* text : {"Create subspace <0> with Dim:3\n", "  Create view (1,0)\n", "  Create view (2,0)\n",
                             "  Create view (2,1)\n", "Create subspace <1> with Dim:2\n", "  Create view (1,0)\n",
                             "Create subspace overview 0", "Create subspace overview 1"}) {
        at = out.find(text, at);
        ASSERT_NE(at, std::string::npos) << text << " in\n" << out;
    }
    EXPECT_EQ(updated.count(), 1);
    EXPECT_EQ(model.graph, nullptr);  // no generator attached
    ASSERT_EQ(model.graphNodes.size(), 2u);
    EXPECT_EQ(model.graphNodes, model.subspaceOverviews);
    ASSERT_EQ(model.subspaceViews.size(), 2u);
    EXPECT_EQ(model.subspaceViews[0].size(), 3u);
    EXPECT_EQ(model.subspaceViews[1].size(), 1u);
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(model.subspaceOverviews[s]->id, s);
        for (ProjectionViewGraphNode* view : model.subspaceViews[s]) EXPECT_EQ(view->id, s);
    }
    // View (2,1) of subspace 0 projects on its unit columns 2 and 1.
    const MatrixXf* plane = model.subspaceViews[0][2]->GetSubspaceBasis();
    ASSERT_NE(plane, nullptr);
    EXPECT_TRUE(plane->col(0).isApprox(basis0.col(2).normalized()));
    EXPECT_TRUE(plane->col(1).isApprox(basis0.col(1).normalized()));

    // A two-column subspace is shown on its own basis; overviews measure with the full basis.
    ProjectionViewGraphNode* overview0 = model.subspaceOverviews[0];
    ProjectionViewGraphNode* overview1 = model.subspaceOverviews[1];
    EXPECT_TRUE(dynamic_cast<LinearProjectionEmbeddingResult&>(*overview1->embedding).basis.isApprox(basis1));
    const float distance = 2 * SubspaceDistance(basis0, basis1, GrassmanianSubspaceDistance);
    EXPECT_FLOAT_EQ(overview0->DistanceFromNode(overview1), distance);
    EXPECT_NEAR(overview0->DistanceFromNode(model.subspaceViews[0][1]), 0.0f, 2e-3f);  // a plane of its span
}

TEST_F(TransitionGraphModel, OverviewPlaneIsThePrincipalPlaneOfTheNormalisedPoints)
{
    HDpointSet<float>& points = profile.GetPointSet();
    points.m_state = PointSetVarianceNorm;
    const std::vector<float>* packed = nullptr;
    TestSupport::CaptureStdout([&] { packed = points.GetPackedRawDataArray(true); });
    using Rows = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    const MatrixXf expected = PrincipalPlane(Eigen::Map<const Rows>(packed->data(), kPoints / 2, kDims));
    const MatrixXf raw = PrincipalPlane(Eigen::Map<const Rows>(points.m_values.data(), kPoints / 2, kDims));
    ASSERT_GT(SubspaceDistance(expected, raw, GrassmanianSubspaceDistance), 0.1f);

    ViewTransitionGraphModel model;
    model.dataProfile = &profile;
    ASSERT_TRUE(Load(model, Model({basis0, basis1})));
    const auto& shown = dynamic_cast<LinearProjectionEmbeddingResult&>(*model.subspaceOverviews[0]->embedding);
    EXPECT_LT(SubspaceDistance(shown.basis, expected, GrassmanianSubspaceDistance), 2e-3f);
}

TEST_F(TransitionGraphModel, AddedViewsAreNumberedAfterTheSubspacesAndRebuildFromTwoNodes)
{
    for (bool withSubspaces : {true, false}) {
        SCOPED_TRACE(withSubspaces);
        const auto first = AxisView(0), second = AxisView(1);
        std::vector<CompleteGraphGenerator::Call> calls;
        ViewTransitionGraphModel model;
        model.dataProfile = &profile;
        model.graphGenerator = std::make_unique<CompleteGraphGenerator>(calls);
        if (withSubspaces) {
            ASSERT_TRUE(Load(model, Model({basis0, basis1})));
        }
        const size_t before = calls.size();
        QSignalSpy embedding(&model, &ViewTransitionGraphModel::UpdateEmbedding);

        model.AddEmbeddingResult(first.get(), false);
        EXPECT_EQ(model.graphNodes.back()->id, withSubspaces ? 2 : 0);
        EXPECT_EQ(calls.size(), before + (withSubspaces ? 1 : 0));
        model.AddEmbeddingResult(second.get(), true);
        EXPECT_EQ(model.graphNodes.back()->id, withSubspaces ? 3 : 1);
        EXPECT_TRUE(model.graphNodes.back()->addFlag);
        EXPECT_EQ(calls.size(), before + (withSubspaces ? 2 : 1));
        EXPECT_EQ(embedding.count(), 2);
        ASSERT_NE(model.graph, nullptr);
        for (const auto& [edge, weight] : model.graph->edgeWeights) EXPECT_TRUE(std::isfinite(weight));
    }
}

TEST_F(TransitionGraphModel, NodeSelectionFollowsTheFirstSelectedNode)
{
    const auto first = AxisView(0), second = AxisView(1);
    ViewTransitionGraphModel model;
    model.AddEmbeddingResult(first.get(), false);
    model.AddEmbeddingResult(second.get(), false);
    ProjectionViewGraphNode* a = model.graphNodes[0];
    ProjectionViewGraphNode* b = model.graphNodes[1];
    QSignalSpy selection(&model, &ViewTransitionGraphModel::UpdateNodeSelection);
    // Selection before each call, then the expected current and previous node.
    const std::tuple<bool, bool, ProjectionViewGraphNode*, ProjectionViewGraphNode*> steps[] = {
        {false, true, b, nullptr}, {false, true, b, nullptr},      {true, true, a, b},
        {false, false, nullptr, a}, {false, false, nullptr, nullptr}};
    for (const auto& [aSelected, bSelected, current, previous] : steps) {
        a->isSelected = aSelected;
        b->isSelected = bSelected;
        model.NodeSelectionChanged();
        EXPECT_EQ(model.currentSelectedNode, current);
        EXPECT_EQ(model.previousSelectedNode, previous);
    }
    EXPECT_EQ(selection.count(), 5);
}

TEST_F(TransitionGraphModel, IncrementalRebuildGetsThePreviousGraphAndTheIndexMap)
{
    const auto first = AxisView(0), second = AxisView(1), third = AxisView(2);
    std::vector<CompleteGraphGenerator::Call> calls;
    SubspaceTransitionGraphModel model;
    model.dataProfile = &profile;
    model.graphGenerator = std::make_unique<CompleteGraphGenerator>(calls);
    model.AddEmbeddingResult(first.get(), false);  // one node: nothing to link
    model.AddEmbeddingResult(second.get(), false);
    ASSERT_TRUE(Load(model, Model({basis0, basis1})));
    model.AddEmbeddingResult(third.get(), false);
    // A second clustering with fewer subspaces: its overview joins the graph.
    ASSERT_TRUE(Load(model, Model({basis1})));

    const std::vector<int> forward[] = {{0, 1}, {0, 1, 2, 3}, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4, 5}};
    const std::vector<int> reverse[] = {{0, -1}, {0, 1, -1, -1}, {0, 1, 2, 3, -1}, {0, 1, 2, 3, 4, -1}};
    ASSERT_EQ(calls.size(), 4u);
    for (size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(calls[k].nodes, forward[k].size());
        EXPECT_EQ(calls[k].map.forwardMap, forward[k]);
        EXPECT_EQ(calls[k].map.reverseMap, reverse[k]);
        EXPECT_EQ(calls[k].previous, k == 0 ? nullptr : calls[k - 1].made);
    }
    EXPECT_EQ(model.graph.get(), calls.back().made);
    EXPECT_EQ(model.previousGraph, model.graph.get());
    // The first clustering's overviews stay listed and keep measuring with their own bases.
    EXPECT_EQ(model.subspaceViews.size(), 1u);
    EXPECT_EQ(model.subspaceViews[0].size(), 4u);
    ASSERT_EQ(model.subspaceOverviews.size(), 2u);
    EXPECT_EQ(model.subspaceOverviews[0], model.graphNodes[2]);
    EXPECT_FLOAT_EQ(model.graphNodes[2]->DistanceFromNode(model.graphNodes[5]),
                    2 * SubspaceDistance(basis0, basis1, GrassmanianSubspaceDistance));
    // Every node, model and graph goes with the model (the leak sanitizer checks).
}

TEST_F(TransitionGraphModel, UnfitModelsAreRefusedAndFailedViewsHaveNoBasis)
{
    const std::pair<bool, std::function<std::unique_ptr<SubspaceModel>()>> refusals[] = {
        {false, [&] { return Model({basis0, basis1}); }},  // no data set
        {true, [] { return nullptr; }},
        {true, [] { return Model({MatrixXf::Identity(kDims + 1, 2)}); }},
        {true, [&] { return Model({basis0, basis1}, kPoints - 1); }}};
    for (const auto& [withProfile, make] : refusals) {
        ViewTransitionGraphModel model;
        model.dataProfile = withProfile ? &profile : nullptr;
        std::string out;
        EXPECT_FALSE(Load(model, make(), &out));
        EXPECT_EQ(out.rfind("Error ", 0), 0u) << out;
        EXPECT_TRUE(model.graphNodes.empty() && model.subspaceViews.empty() && !model.subspaceModel);
    }

    // A missing basis file (empty basis): an overview, but no views and no basis to measure.
    ViewTransitionGraphModel missing;
    missing.dataProfile = &profile;
    ASSERT_TRUE(Load(missing, Model({basis0, MatrixXf()})));
    EXPECT_TRUE(missing.subspaceViews[1].empty());
    EXPECT_NE(missing.subspaceOverviews[1]->embedding, nullptr);
    EXPECT_TRUE(std::isnan(missing.subspaceOverviews[0]->DistanceFromNode(missing.subspaceOverviews[1])));

    // Without packed data every projection fails: no embedding, no basis, NaN distances.
    profile.GetPointSet().m_state = PointSetUnknown;
    ViewTransitionGraphModel failed;
    failed.dataProfile = &profile;
    ASSERT_TRUE(Load(failed, Model({basis0, basis1})));
    for (ProjectionViewGraphNode* node :
         {failed.subspaceViews[0][0], failed.subspaceOverviews[0], failed.subspaceOverviews[1]}) {
        EXPECT_EQ(node->embedding, nullptr);
        EXPECT_EQ(node->GetSubspaceBasis(), nullptr);
        EXPECT_TRUE(std::isnan(node->DistanceFromNode(missing.subspaceOverviews[0])));
    }
}
