#include "SceneFixture.h"

#include "ClusterNodeItem.h"
#include "ClusterStatistics.h"
#include "ClusterSummaryItem.h"
#include "GraphicsItemNode.h"
#include "NodeGraphItem.h"
#include "distanceFunctor.h"
#include "PointGraphicsItem.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSignalSpy>

#include <algorithm>
#include <string>

using Zelvo::ClusterNodeItem;
using Zelvo::PointGraphicsItem;

namespace {

QColor MapColor(const xmlColorMap& map, float t)
{
    const uint32_t c = map.getColor(t);
    return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

std::vector<int> Sorted(std::vector<int> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// Six points on a line at x = 0, 10, ..., 50. Level 1: X (a chain of single children down to
// {0,1} and {2,3}), X2 (one child holding point 4 alone) and the leaf {5}.
const char* kChainTree = "+(N)+(N)+(N)+(N)+(L0,1)-+(L2,3)----+(N)+(L4)--+(L5)--";

class SceneTest : public SceneFixture {};

TEST_F(SceneTest, PaletteStartsAtEntryOneAndWrapsAfterThirteen)
{
    MakeGrid(14, 2);
    Show();
    std::vector<std::vector<int>> clusters(14);
    for (int i = 0; i < 28; ++i) clusters[i % 14].push_back(i);
    clustering.SetClusteringIndexArray(clusters);
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    const std::vector<QColor> expected = {{197, 227, 132}, {205, 164, 222}, {50, 74, 178}};
    ASSERT_EQ(scene.GetNodeItems().size(), 14u);
    for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(scene.GetNodeItems()[k]->GetColor().rgb(), expected[k].rgb());
    EXPECT_EQ(scene.GetNodeItems()[12]->GetColor().rgb(), QColor(110, 81, 96).rgb());
    EXPECT_EQ(scene.GetNodeItems()[13]->GetColor().rgb(), expected[0].rgb());
    // Every point is held by the node of its cluster and keeps its place in the scene.
    for (int i = 0; i < 28; ++i) {
        EXPECT_EQ(ItemOf(i)->parentItem(), scene.GetNodeItems()[i % 14]);
        EXPECT_EQ(ItemOf(i)->scenePos(), QPointF(ItemOf(i)->GetRecord()->x, ItemOf(i)->GetRecord()->y));
    }
}

TEST_F(SceneTest, RefinementDescendsThroughSingleChildrenAndStopsAtOnePoint)
{
    MakeFrom({0, 0, 0, 1, 0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5}, {0, 0, 10, 0, 20, 0, 30, 0, 40, 0, 50, 0});
    Show();
    Cluster(kChainTree, 5);
    ASSERT_EQ(scene.GetNodeItems().size(), 3u);
    const auto refine = [&](int k) {
        scene.clearSelection();
        scene.GetNodeItems()[k]->setSelected(true);
        TestSupport::CaptureStdout([&] { scene.RefineSelectedClusterNode(); });
    };
    const auto members = [&] {
        std::vector<std::vector<int>> all;
        for (ClusterNodeItem* item : scene.GetNodeItems()) all.push_back(*item->GetAllChildrenPointIndex());
        return all;
    };

    // X -> Y -> Z: the grandchildren {0,1} and {2,3}; X's colour goes to the first.
    const QColor xColor = scene.GetNodeItems()[0]->GetColor();
    refine(0);
    EXPECT_EQ(members(), (std::vector<std::vector<int>>{{4}, {5}, {0, 1}, {2, 3}}));
    EXPECT_EQ(scene.GetNodeItems()[2]->GetColor(), xColor);
    // X2's only child holds one point: the descent stops there.
    refine(0);
    EXPECT_EQ(members(), (std::vector<std::vector<int>>{{5}, {0, 1}, {2, 3}, {4}}));

    // A leaf node disappears; its point stays visible in place under the root, colour kept.
    scene.SetClusteringColoring(true);
    const QColor before = ItemOf(5)->GetColor();
    refine(0);
    EXPECT_EQ(scene.GetNodeItems().size(), 3u);
    EXPECT_EQ(ItemOf(5)->parentItem(), scene.GetRootItem());
    EXPECT_TRUE(ItemOf(5)->isVisible());
    EXPECT_EQ(ItemOf(5)->scenePos(), QPointF(ItemOf(5)->GetRecord()->x, ItemOf(5)->GetRecord()->y));
    scene.SetClusteringColoring(true);
    EXPECT_EQ(ItemOf(5)->GetColor(), before);
}

TEST_F(SceneTest, DraggedNodeShiftsItsPointsWhenRefined)
{
    MakeFrom({0, 0, 0, 1, 0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5}, {0, 0, 10, 0, 20, 0, 30, 0, 40, 0, 50, 0});
    Show();
    Cluster(kChainTree, 5);
    ClusterNodeItem* leaf = scene.GetNodeItems()[2];  // {5}: refining removes it
    leaf->setPos(leaf->pos() + QPointF(3, 4));
    leaf->setSelected(true);
    TestSupport::CaptureStdout([&] { scene.RefineSelectedClusterNode(); });
    EXPECT_EQ(ItemOf(5)->scenePos(), QPointF(ItemOf(5)->GetRecord()->x + 3, ItemOf(5)->GetRecord()->y + 4));
}

TEST_F(SceneTest, MSTRemovesTheGraphAndShowsNone)
{
    MakeGrid(6, 5);
    Show();
    std::vector<std::vector<int>> clusters(5);
    for (int i = 0; i < 30; ++i) clusters[i / 6].push_back(i);
    clustering.SetClusteringIndexArray(clusters);
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    Zelvo::distanceFunctor distance;
    TestSupport::CaptureStdout([&] { scene.ChangeNeighborGraph(Zelvo::KNN1Graph, distance); });
    ASSERT_NE(scene.GetGraphItem(), nullptr);
    EXPECT_EQ(scene.GetGraphItem()->scene(), &scene);
    TestSupport::CaptureStdout([&] { scene.ChangeNeighborGraph(Zelvo::MSTGraph, distance); });
    EXPECT_EQ(scene.GetGraphItem(), nullptr);
    for (QGraphicsItem* item : scene.items()) EXPECT_NE(item->type(), Zelvo::NodeGraphItem::Type);
}

TEST_F(SceneTest, PointSizeFromTheExtents)
{
    struct Case {
        std::vector<float> xy;
        float size;
        bool warned;
    };
    const std::vector<Case> cases = {
        {{0, 0, 400, 0, 0, 200}, 2.0f, false},  // the smaller extent / 100
        {{0, 0, 50, 0, 0, 80}, 0.5f, true},     // below 1: the warning, points still built
        {{0, 5, 300, 5, 150, 5}, 3.0f, false},  // collinear: the larger extent
        {{7, 7}, 1.0f, false},                  // one point
    };
    for (const Case& c : cases) {
        Zelvo::ProjectedViewScene fresh;
        std::vector<float> values;
        for (size_t i = 0; i < c.xy.size() / 2; ++i) values.insert(values.end(), {c.xy[2 * i], c.xy[2 * i + 1], 0});
        MakeFrom(values, c.xy);
        const std::string out =
            TestSupport::CaptureStdout([&] { fresh.SetEmbeddingResult(embedding.get(), false, false); });
        EXPECT_FLOAT_EQ(fresh.GetPointSize(), c.size);
        EXPECT_EQ(out.find("Points maybe too small") != std::string::npos, c.warned);
        EXPECT_EQ(fresh.GetPointItems().size(), c.xy.size() / 2);
    }
    Zelvo::ProjectedViewScene empty;
    EXPECT_EQ(empty.ZoomToFitAllItem(), QRectF(0, 0, 1, 1));
}

TEST_F(SceneTest, DimensionColouringOfConstantAndVaryingValues)
{
    LoadColorMap();
    struct Case {
        float value;  // of every point in dimension 2
        float t;      // the map position expected
    };
    for (const Case& c : {Case{3.5f, 1.0f}, Case{0.0f, 0.0f}}) {
        MakeFrom({0, 0, c.value, 10, 5, c.value, 20, 9, c.value}, {0, 0, 10, 5, 20, 9});
        TestSupport::CaptureStdout([&] { scene.SetEmbeddingResult(embedding.get(), false, false); });
        scene.SetDimDataColorMap(&colorMap, 2);
        for (QColor color : *scene.GetPointColor()) EXPECT_EQ(color, MapColor(colorMap, c.t));
    }
    // Varying values span the map; out-of-range dimensions change nothing.
    scene.SetDimDataColorMap(&colorMap, 0);
    EXPECT_EQ(ItemOf(0)->GetColor(), MapColor(colorMap, 0));
    EXPECT_EQ(ItemOf(2)->GetColor(), MapColor(colorMap, 1));
    scene.SetDimDataColorMap(&colorMap, 3);
    scene.SetDimDataColorMap(&colorMap, -1);
    EXPECT_EQ(ItemOf(2)->GetColor(), MapColor(colorMap, 1));
}

TEST_F(SceneTest, CostColouringWithEmptyRangesAndShortVectors)
{
    LoadColorMap();
    MakeGrid(4, 1);
    Show();
    // All equal (max = min): the low end of the map, never a NaN index.
    embedding->cost = {2, 2, 2, 2};
    TestSupport::CaptureStdout([&] { scene.InitCostColorMap(&colorMap, 1.0f); });
    for (QColor color : *scene.GetPointColor()) EXPECT_EQ(color, MapColor(colorMap, 0));
    // A vector shorter than the items colours what it covers.
    embedding->cost = {0, 4};
    TestSupport::CaptureStdout([&] { scene.InitCostColorMap(&colorMap, 1.0f); });
    EXPECT_EQ(ItemOf(1)->GetColor(), MapColor(colorMap, 1));
    EXPECT_EQ(ItemOf(3)->GetColor(), MapColor(colorMap, 0));
    // The range slider at 0: an infinite upper end, every point at the low end.
    embedding->cost = {0, 1, 2, 3};
    TestSupport::CaptureStdout([&] { scene.InitCostColorMap(&colorMap, 0.0f); });
    EXPECT_EQ(ItemOf(3)->GetColor(), MapColor(colorMap, 0));
    // Refusals (Stress without distances, a cost without its vector): the colours, the mode a
    // drag recolours by and the measure's parameters stay those of the colouring shown.
    const std::vector<QColor> shown = *scene.GetPointColor();
    const float bandwidth = embedding->kdeBandWidth;
    bool coloured = true;
    TestSupport::CaptureStdout(
        [&] { coloured = scene.InitDistortionColorMap(&colorMap, "Stress", 1, bandwidth + 1, 10); });
    EXPECT_FALSE(coloured);
    EXPECT_TRUE(scene.IsCostMode());
    EXPECT_EQ(embedding->kdeBandWidth, bandwidth);
    embedding->cost.clear();
    TestSupport::CaptureStdout([&] { coloured = scene.InitCostColorMap(&colorMap, 1.0f); });
    EXPECT_FALSE(coloured);
    EXPECT_EQ(*scene.GetPointColor(), shown);
}

TEST_F(SceneTest, WriteBackOnlyWhenMovedAndWithTheFirstRange)
{
    LoadColorMap();
    MakeGrid(4, 1);
    Show();
    embedding->cost = {0, 1, 2, 4};
    TestSupport::CaptureStdout([&] { scene.InitCostColorMap(&colorMap, 1.0f); });
    const int calls = embedding->costCalls;
    scene.UpdateEmbeddingPosition();
    EXPECT_EQ(embedding->costCalls, calls);  // nothing moved

    ItemOf(1)->setPos(ItemOf(1)->pos() + QPointF(0, 7));
    embedding->cost = {0, 8, 2, 4};  // the new costs reach 8, the stored range stays [0, 4]
    const std::string out = TestSupport::CaptureStdout([&] { scene.UpdateEmbeddingPosition(); });
    EXPECT_EQ(embedding->costCalls, calls + 1);
    EXPECT_NE(out.find("the cost range: 0.000000 - 8.000000"), std::string::npos);
    EXPECT_FLOAT_EQ(embedding->modifiedPositions[3], static_cast<float>(ItemOf(1)->scenePos().y()));
    EXPECT_EQ(ItemOf(1)->GetColor(), MapColor(colorMap, 2));  // t = 8 / 4, the map's top entry
    EXPECT_EQ(ItemOf(2)->GetColor(), MapColor(colorMap, 0.5f));
}

TEST_F(SceneTest, DeletionKeepsItemsWithTheirPointsAsAFreshCopyNumbersThem)
{
    LoadColorMap();
    MakeGrid(10, 8);
    Show();
    // First deletion through the point-set rows, second through a selection in the new numbering.
    std::vector<int> first = {3, 40, 41, 79};
    scene.DeletePointByIndex(first);
    ASSERT_TRUE(points.DeleteHDpoints(first));
    for (int id : {10, 50, 60}) ItemOf(id)->setSelected(true);
    std::vector<int> second = *scene.GetSelectedPointIndex();
    EXPECT_EQ(Sorted(second), (std::vector<int>{9, 47, 57}));
    scene.DeletePointByIndex(second);
    ASSERT_TRUE(points.DeleteHDpoints(second));
    // Refused lists change nothing, as the point set refuses them.
    std::vector<int> twice = {1, 1}, outside = {2, 73};
    scene.DeletePointByIndex(twice);
    scene.DeletePointByIndex(outside);

    // The oracle: a scene of a freshly loaded copy of the remaining points.
    Zelvo::HDpointSet<float> copy;
    copy.m_dimMask.assign(3, true);
    copy.m_dimension = 3;
    copy.m_values = points.m_values;
    copy.UpdateDimensionMinMaxMeanVariance();
    std::vector<float> xy;
    for (size_t i = 0; i < copy.m_values.size(); i += 3) xy.insert(xy.end(), {copy.m_values[i], copy.m_values[i + 1]});
    ScriptedEmbedding copyEmbedding(xy.data(), 2, static_cast<int>(xy.size() / 2), &copy);
    Zelvo::ProjectedViewScene fresh;
    TestSupport::CaptureStdout([&] { fresh.SetEmbeddingResult(&copyEmbedding, false, false); });
    scene.SetDimDataColorMap(&colorMap, 2);
    fresh.SetDimDataColorMap(&colorMap, 2);
    EXPECT_EQ(*scene.GetPointColor(), *fresh.GetPointColor());
    ASSERT_EQ(scene.GetPointColor()->size(), 73u);

    // Every row handed on names the same point as in the copy.
    for (int id : {0, 11, 42, 78}) ItemOf(id)->setSelected(true);
    for (int row : *scene.GetSelectedPointIndex()) {
        const float shownId = points.m_values[static_cast<size_t>(row) * 3 + 2];
        EXPECT_TRUE(shownId == 0 || shownId == 11 || shownId == 42 || shownId == 78) << row;
    }
    const int visible = static_cast<int>(std::count_if(scene.GetPointItems().begin(), scene.GetPointItems().end(),
                                                       [](PointGraphicsItem* p) { return p->isVisible(); }));
    EXPECT_EQ(visible, 73);
}

TEST_F(SceneTest, RestoreDefaultShowsTheStoredLevelAndKeepsDeletedPointsHidden)
{
    MakeFrom({0, 0, 0, 1, 0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5}, {0, 0, 10, 0, 20, 0, 30, 0, 40, 0, 50, 0});
    Show();
    Cluster(kChainTree, 5);
    TestSupport::CaptureStdout([&] { scene.ChangeClusterLevel(3); });
    std::vector<int> gone = {4};
    scene.DeletePointByIndex(gone);
    ItemOf(0)->setPos(ItemOf(0)->pos() + QPointF(1, 1));
    QSignalSpy colours(&scene, &Zelvo::ProjectedViewScene::UpdateColorMap);
    TestSupport::CaptureStdout([&] { scene.RestoreDefault(); });
    EXPECT_EQ(scene.GetClusterLevel(), 1);
    EXPECT_EQ(scene.GetNodeItems().size(), 3u);
    EXPECT_FALSE(ItemOf(4)->isVisible());
    EXPECT_EQ(ItemOf(0)->scenePos(), QPointF(ItemOf(0)->GetRecord()->x, ItemOf(0)->GetRecord()->y));
    EXPECT_GE(colours.count(), 1);
}

TEST_F(SceneTest, ResetForgetsEverythingAndANewEmbeddingStartsClean)
{
    MakeGrid(5, 4);
    Show();
    std::vector<std::vector<int>> clusters = {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}};
    clustering.SetClusteringIndexArray(clusters);
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    Zelvo::distanceFunctor distance;
    TestSupport::CaptureStdout([&] { scene.ChangeNeighborGraph(Zelvo::KNN1Graph, distance); });
    scene.SetClusterInfoVisibility(true);
    scene.AddNodeStatistic(scene.GetNodeItems()[0]);
    scene.GetNodeItems()[1]->setSelected(true);
    TestSupport::CaptureStdout([&] { scene.RefineSelectedClusterNode(); });
    std::vector<int> gone = {2};
    scene.DeletePointByIndex(gone);

    scene.Reset();
    EXPECT_TRUE(scene.GetPointItems().empty());
    EXPECT_TRUE(scene.GetNodeItems().empty());
    EXPECT_EQ(scene.GetGraphItem(), nullptr);
    EXPECT_EQ(scene.GetClusterNodeGraphModel(), nullptr);
    EXPECT_EQ(scene.GetEmbeddingResult(), nullptr);
    EXPECT_EQ(scene.GetClusterLevel(), -1);
    EXPECT_EQ(scene.GetTreeDepth(), -1);
    EXPECT_EQ(scene.items().size(), 1);  // the root alone
    EXPECT_EQ(scene.items().first(), scene.GetRootItem());

    // The same embedding again is new after a reset: every point shows.
    TestSupport::CaptureStdout([&] { scene.SetEmbeddingResult(embedding.get(), false, false); });
    EXPECT_EQ(scene.GetPointItems().size(), 20u);
    EXPECT_TRUE(std::all_of(scene.GetPointItems().begin(), scene.GetPointItems().end(),
                            [](PointGraphicsItem* p) { return p->isVisible(); }));
}

}  // namespace

namespace {

TEST_F(SceneTest, OperationsWithoutTheirDataDoNothing)
{
    xmlColorMap map;
    Zelvo::distanceFunctor distance;
    std::vector<int> rows = {0};
    TestSupport::CaptureStdout([&] {
        scene.ChangeClusterLevel(1);
        scene.RefineSelectedClusterNode();
        scene.ChangeNeighborGraph(Zelvo::KNN3Graph, distance);
        scene.SetDimDataColorMap(&map, 0);
        scene.InitCostColorMap(&map, 1);
        scene.InitDistortionColorMap(&map, "KDE", 1, 3, 10);
        scene.HighlightSelectedPointNeighbor(&map);
        scene.UpdateEmbeddingPosition();
        scene.RestoreDefault();
        scene.DeletePointByIndex(rows);
        scene.AddNodeStatistic(nullptr);
        scene.SetEmbeddingResult(nullptr, true, false);
        scene.SetClusterNodeGraph(nullptr, 1, 2);
    });
    EXPECT_EQ(scene.items().size(), 1);
    EXPECT_TRUE(scene.GetPointColor()->empty());
}

TEST_F(SceneTest, DegenerateStatisticsAndEdgesDrawNothingFromThem)
{
    // Edges naming node items that are not there are skipped.
    Zelvo::ClusterNodeItem a(nullptr, 1), b(nullptr, 1);
    a.setPos(0, 0);
    b.setPos(10, 4);
    std::vector<Zelvo::ClusterNodeItem*> nodes = {&a, &b};
    auto graph = std::make_unique<Zelvo::GraphModel<float>>();
    graph->edges = {{0, 1}, {0, 5}, {-1, 1}};
    Zelvo::NodeGraphItem lines(&nodes, std::move(graph));
    EXPECT_NEAR(lines.boundingRect().width(), 10, 1e-2);
    EXPECT_NEAR(lines.boundingRect().height(), 4, 1e-2);

    // A dimension with no data range gets no cluster range or mean drawn.
    struct Case {
        float setMin, setMax;
        bool yellow;
    };
    for (const Case& c : {Case{0, 10, true}, Case{3, 3, false}}) {
        Zelvo::ClusterStatistics statistics;
        statistics.Resize(1);
        statistics.dimensionLabels = {"d"};
        statistics.memberMin = {2};
        statistics.memberMax = {6};
        statistics.memberMean = {4};
        statistics.pointSetMin = {c.setMin};
        statistics.pointSetMax = {c.setMax};
        QGraphicsScene boxScene;
        auto* box = new Zelvo::ClusterSummaryItem(&statistics, nullptr);
        boxScene.addItem(box);
        QImage image(300, 60, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        boxScene.render(&painter, QRectF(0, 0, 300, 60), QRectF(0, 0, 300, 60));
        painter.end();
        bool sawYellow = false;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) sawYellow |= image.pixelColor(x, y) == QColor(Qt::yellow);
        EXPECT_EQ(sawYellow, c.yellow);
    }
}

}  // namespace

namespace {

// Clusters of 10, 5 and 15 points of a 6 x 5 grid.
std::vector<std::vector<int>> UnevenClusters()
{
    std::vector<std::vector<int>> clusters(3);
    for (int i = 0; i < 30; ++i) clusters[i < 10 ? 0 : i < 15 ? 1 : 2].push_back(i);
    return clusters;
}

TEST_F(SceneTest, NodesGraphsAndReleasedPointsFollowTheFlagsAndShares)
{
    MakeGrid(6, 5);
    Show();
    clustering.SetClusteringIndexArray(UnevenClusters());
    scene.SetNodeVisibility(false);
    scene.SetGraphVisibility(false);
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    // Every node's radius: its share of the points times the node size, plus half the node size.
    const double nodeSize = 4 * scene.GetPointSize();
    ASSERT_EQ(scene.GetNodeItems().size(), 3u);
    for (ClusterNodeItem* node : scene.GetNodeItems()) {
        const double share = node->GetAllChildrenPointIndex()->size() / 30.0;
        EXPECT_NEAR(node->GetRadius(), share * nodeSize + 0.5 * nodeSize, 1e-5);
    }
    // Nodes made later (a new level, a refinement) and graphs chosen later keep the flags.
    const auto nodesShown = [&] {
        return std::count_if(scene.GetNodeItems().begin(), scene.GetNodeItems().end(),
                             [](ClusterNodeItem* n) { return n->GetNodeVisibility(); });
    };
    Zelvo::distanceFunctor distance;
    TestSupport::CaptureStdout([&] {
        scene.ChangeClusterLevel(1);
        EXPECT_EQ(nodesShown(), 0);
        scene.GetNodeItems()[2]->setSelected(true);
        scene.RefineSelectedClusterNode();
        EXPECT_GT(scene.GetNodeItems().size(), 3u);
        EXPECT_EQ(nodesShown(), 0);
        scene.ChangeNeighborGraph(Zelvo::KNN1Graph, distance);
        ASSERT_NE(scene.GetGraphItem(), nullptr);
        EXPECT_FALSE(scene.GetGraphItem()->isVisible());
        scene.SetGraphVisibility(true);
        scene.ChangeNeighborGraph(Zelvo::KNN2Graph, distance);
        EXPECT_TRUE(scene.GetGraphItem()->isVisible());
        scene.ChangeClusterLevel(1);
    });

    // Without a model the points go back to the root where they are shown, a dragged node's
    // members included.
    ClusterNodeItem* dragged = scene.GetNodeItems()[0];
    const std::vector<int> moved = *dragged->GetAllChildrenPointIndex();
    dragged->moveBy(7, 3);
    TestSupport::CaptureStdout([&] { scene.SetClusterNodeGraph(nullptr, -1, -1); });
    EXPECT_TRUE(scene.GetNodeItems().empty());
    for (int id = 0; id < 30; ++id) {
        const bool shifted = std::count(moved.begin(), moved.end(), id) > 0;
        EXPECT_EQ(ItemOf(id)->parentItem(), scene.GetRootItem()) << id;
        EXPECT_EQ(ItemOf(id)->scenePos(), QPointF(ItemOf(id)->GetRecord()->x, ItemOf(id)->GetRecord()->y) +
                                              (shifted ? QPointF(7, 3) : QPointF()))
            << id;
    }
}

// A press toggles a node's box. In the box every row shows the cluster's range and mean of its
// dimension where they lie in the data range, one and a half rows below the one before.
TEST_F(SceneTest, SummaryBoxTogglesAndPlacesEveryRowsRangeAndMean)
{
    MakeGrid(6, 5);
    Show();
    clustering.SetClusteringIndexArray(UnevenClusters());
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    ClusterNodeItem* node = scene.GetNodeItems()[1];
    scene.AddNodeStatistic(node);
    EXPECT_FALSE(node->HasStatisticSummary());  // cluster info is off
    scene.SetClusterInfoVisibility(true);
    for (bool shown : {true, false, true}) {
        scene.AddNodeStatistic(node);
        EXPECT_EQ(node->HasStatisticSummary(), shown);
    }

    Zelvo::ClusterStatistics statistics;
    statistics.Resize(3);
    statistics.dimensionLabels = {"a", "bb", "c"};
    statistics.pointSetMin = {0, 0, -5};
    statistics.pointSetMax = {10, 20, 5};
    statistics.memberMin = {2, 10, -5};
    statistics.memberMax = {6, 18, 0};
    statistics.memberMean = {4, 15, -1};
    QGraphicsScene boxScene;
    boxScene.addItem(new Zelvo::ClusterSummaryItem(&statistics, nullptr));
    QImage image(400, 120, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    boxScene.render(&painter, QRectF(0, 0, 400, 120), QRectF(0, 0, 400, 120));
    painter.end();

    // Labels this narrow shrink the box to the widest label / 0.13; the label column keeps the
    // share of the full width.
    QFont font("Helvetica");
    font.setPixelSize(11);
    const int widest = QFontMetrics(font).horizontalAdvance("bb");
    const double width = widest / 0.13, share = (widest + 4) / (260 * 0.9);
    const double barX = 5 + 2 + (share + 0.03) * width, barWidth = width - (share + 0.03) * width - 0.03 * width;
    int right = 0;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, 16 + 2).rgb() != qRgb(255, 255, 255)) right = x;
    EXPECT_NEAR(right, 5 + width + 2, 2);  // the border's outer edge
    const auto runOf = [&](int y, const QColor& colour) {
        int first = -1, last = -1;
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour) {
                if (first < 0) first = x;
                last = x;
            }
        return std::make_pair(first, last);
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const int middle = static_cast<int>(15 + 6 + 18 * i + 6);
        const double range = statistics.pointSetMax[i] - statistics.pointSetMin[i];
        const double lo = (statistics.memberMin[i] - statistics.pointSetMin[i]) / range;
        const double hi = (statistics.memberMax[i] - statistics.pointSetMin[i]) / range;
        const double mean = (statistics.memberMean[i] - statistics.pointSetMin[i]) / range;
        const auto yellow = runOf(middle, Qt::yellow), red = runOf(middle, Qt::red);
        ASSERT_GE(yellow.first, 0);
        ASSERT_GE(red.first, 0);
        EXPECT_NEAR(yellow.first, barX + lo * barWidth + 1, 1.5);
        EXPECT_NEAR(yellow.second, barX + hi * barWidth - 1, 1.5);
        EXPECT_NEAR((red.first + red.second) / 2.0, barX + mean * barWidth, 1.5);
    }
}

TEST_F(SceneTest, GraphBoundsHoldEveryLine)
{
    Zelvo::ClusterNodeItem a(nullptr, 1), b(nullptr, 1), c(nullptr, 1);
    a.setPos(0, 0);
    b.setPos(10, 4);
    c.setPos(-6, 12);
    std::vector<Zelvo::ClusterNodeItem*> nodes = {&a, &b, &c};
    const struct {
        std::vector<std::pair<int, int>> edges;
        QRectF bounds;
    } rows[] = {
        {{{0, 1}}, {0, 0, 10, 4}},
        {{{0, 1}, {1, 2}}, {-6, 0, 16, 12}},
        {{{1, 2}, {0, 1}}, {-6, 0, 16, 12}},
        {{{2, 0}, {0, 2}}, {-6, 0, 6, 12}},
    };
    for (const auto& row : rows) {
        auto graph = std::make_unique<Zelvo::GraphModel<float>>();
        graph->edges = row.edges;
        const QRectF bounds = Zelvo::NodeGraphItem(&nodes, std::move(graph)).boundingRect();
        EXPECT_NEAR(bounds.left(), row.bounds.left(), 1e-2);
        EXPECT_NEAR(bounds.top(), row.bounds.top(), 1e-2);
        EXPECT_NEAR(bounds.right(), row.bounds.right(), 1e-2);
        EXPECT_NEAR(bounds.bottom(), row.bounds.bottom(), 1e-2);
    }
}

}  // namespace
