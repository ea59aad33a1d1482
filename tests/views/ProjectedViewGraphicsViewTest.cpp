#include "SceneFixture.h"

#include "../app/ScriptedDialogService.h"
#include "ClusterNodeItem.h"
#include "ColorMapHUD.h"
#include "PointGraphicsItem.h"
#include "ShowStatisticHUD.h"
#include "distanceFunctor.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <map>

using Zelvo::ProjectedViewGraphicsView;
using Zelvo::ProjectedViewScene;

namespace {

class ViewTest : public SceneFixture {
protected:
    QPoint At(int id) const { return ViewPoint(ItemOf(id)->scenePos()); }
    QImage Grab() { return view.viewport()->grab().toImage(); }

    void Click(const QPoint& p) { QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, p); }

    // A lasso through the given scene corners, as a user draws it.
    void Lasso(const std::vector<QPointF>& corners)
    {
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, ViewPoint(corners.front()));
        for (size_t k = 1; k <= corners.size(); ++k) {
            const QPointF a = corners[k - 1], b = corners[k % corners.size()];
            for (int s = 1; s <= 4; ++s) QTest::mouseMove(view.viewport(), ViewPoint(a + (b - a) * s / 4.0));
        }
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, ViewPoint(corners.front()));
    }

    void Wheel(const QPoint& angle, const QPoint& at)
    {
        QWheelEvent event(at, view.viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
    }
};

TEST_F(ViewTest, LassoSelectsExactlyTheEnclosedBlock)
{
    MakeGrid(40, 25);
    Show();
    QSignalSpy reports(&scene, &ProjectedViewScene::UpdateSelection);
    // Half a grid step around columns and rows 5 to 15.
    const QPointF tl = ItemOf(5 * 40 + 5)->scenePos() - QPointF(5, 5);
    const QPointF br = ItemOf(15 * 40 + 15)->scenePos() + QPointF(5, 5);
    Lasso({tl, QPointF(br.x(), tl.y()), br, QPointF(tl.x(), br.y())});

    std::vector<int> expected;
    for (int j = 5; j <= 15; ++j)
        for (int i = 5; i <= 15; ++i) expected.push_back(j * 40 + i);
    std::vector<int> selected = *scene.GetSelectedPointIndex();
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, expected);
    EXPECT_EQ(reports.count(), 1);
    EXPECT_EQ(view.scene()->items().size(), 1001);  // the lasso line is gone
}

// The lasso item lives in the scene: a rebuild of the scene (which deletes every item) ends a
// lasso in progress, and a view that goes takes its lasso along.
TEST_F(ViewTest, ALassoEndsWithASceneRebuildOrWithItsView)
{
    MakeGrid(10, 10);
    Show();
    const QPoint empty(2, 2);
    ASSERT_EQ(view.itemAt(empty), nullptr);
    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, empty);
    QTest::mouseMove(view.viewport(), empty + QPoint(30, 0));
    EXPECT_EQ(scene.items().size(), 102);
    TestSupport::CaptureStdout([&] { scene.Reset(); });
    EXPECT_FALSE(view.IsLassoActive());
    QTest::mouseMove(view.viewport(), empty + QPoint(30, 30));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, empty + QPoint(30, 30));
    EXPECT_EQ(scene.items().size(), 1);  // the empty root
    {
        ProjectedViewGraphicsView other;
        other.setScene(&scene);
        other.resize(200, 200);
        QTest::mousePress(other.viewport(), Qt::LeftButton, Qt::NoModifier, empty);
        EXPECT_TRUE(other.IsLassoActive());
        EXPECT_EQ(scene.items().size(), 2);
    }
    EXPECT_EQ(scene.items().size(), 1);
}

TEST_F(ViewTest, EveryChangeOfTheSelectedPointsIsReportedOneIncluded)
{
    MakeGrid(10, 10);
    Show();
    QSignalSpy reports(&scene, &ProjectedViewScene::UpdateSelection);
    Click(At(11));
    EXPECT_EQ(reports.count(), 1);
    EXPECT_EQ(*scene.GetSelectedPointIndex(), std::vector<int>{11});
    Click(At(12));  // another single point: still one selected, a new set
    EXPECT_EQ(reports.count(), 2);
    Click(At(12));
    EXPECT_EQ(reports.count(), 2);
    Click(ViewPoint(ItemOf(0)->scenePos() + QPointF(5, 5)));
    EXPECT_EQ(reports.count(), 3);  // empty space: nothing selected
    EXPECT_TRUE(scene.GetSelectedPointIndex()->empty());

    // Neighbour highlighting recolours after a click on a point and after a lasso.
    view.colorMode = "HighlightNeighbor";
    QSignalSpy recolour(&view, &ProjectedViewGraphicsView::UpdateColorMap);
    Click(At(44));
    EXPECT_EQ(recolour.count(), 1);
    Click(ViewPoint(ItemOf(0)->scenePos() + QPointF(5, 5)));
    EXPECT_EQ(recolour.count(), 2);
}

TEST_F(ViewTest, ColoursOnScreenFaintWhileOthersAreSelected)
{
    LoadColorMap();
    MakeGrid(10, 10);
    Show();
    scene.SetDimDataColorMap(&colorMap, 2);
    QImage image = Grab();
    for (int id : {0, 37, 99}) EXPECT_EQ(image.pixelColor(At(id)).rgb(), ItemOf(id)->GetColor().rgb()) << id;

    ItemOf(1)->setSelected(true);
    ItemOf(2)->setSelected(true);
    image = Grab();
    EXPECT_EQ(image.pixelColor(At(1)).rgb(), ItemOf(1)->GetColor().rgb());
    const QColor faint = image.pixelColor(At(37));
    EXPECT_NE(faint.rgb(), ItemOf(37)->GetColor().rgb());
    EXPECT_GT(faint.lightness(), ItemOf(37)->GetColor().lightness());  // alpha 50 over the white canvas
}

TEST_F(ViewTest, WheelZoomsAboutTheMouseAndBack)
{
    MakeGrid(20, 20);
    Show();
    view.scale(3, 3);  // room to zoom without meeting the scene's border
    view.SetCenter(QPointF(0, 0));
    const QTransform start = view.transform();
    const QPoint mouse(420, 330);
    const QPointF under = view.mapToScene(mouse);

    Wheel(QPoint(0, 120), mouse);
    EXPECT_NEAR(view.transform().m11(), start.m11() * 1.15, 1e-9);
    EXPECT_NEAR(QLineF(view.mapToScene(mouse), under).length(), 0, 2 / view.transform().m11());
    Wheel(QPoint(0, -120), mouse);
    EXPECT_NEAR(view.transform().m11(), start.m11(), 1e-9);
    Wheel(QPoint(-120, 0), mouse);  // a horizontal wheel alone
    EXPECT_NEAR(view.transform().m11(), start.m11() / 1.15, 1e-9);
    Wheel(QPoint(0, 0), mouse);
    EXPECT_NEAR(view.transform().m11(), start.m11() / 1.15, 1e-9);

    // After a pan by the scroll bar the zoom keeps the new place under the mouse.
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->value() + 60);
    const QPointF panned = view.mapToScene(mouse);
    Wheel(QPoint(0, 120), mouse);
    EXPECT_NEAR(QLineF(view.mapToScene(mouse), panned).length(), 0, 2 / view.transform().m11());
}

TEST_F(ViewTest, CentreIsClampedToTheShrunkenSceneRectangle)
{
    ProjectedViewScene canvasScene;
    ProjectedViewGraphicsView canvas;
    canvas.setFrameShape(QFrame::NoFrame);
    canvas.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    canvas.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    canvas.setScene(&canvasScene);
    canvas.resize(200, 200);
    canvas.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&canvas));
    ASSERT_EQ(canvas.viewport()->size(), QSize(200, 200));
    canvas.scale(5, 5);  // 40 x 40 scene units visible
    struct Case {
        QRectF sceneRect;
        QPointF asked, expected;
    };
    const std::vector<Case> cases = {
        {{-50, -50, 100, 100}, {0, 0}, {0, 0}},
        {{-50, -50, 100, 100}, {100, -100}, {30, -30}},
        {{100, 100, 100, 100}, {150, 150}, {150, 150}},  // a scene away from the origin
        {{100, 100, 100, 100}, {0, 500}, {120, 180}},
        {{0, 0, 20, 100}, {50, 50}, {10, 50}},            // narrower than the view: its middle
    };
    for (const Case& c : cases) {
        canvasScene.setSceneRect(c.sceneRect);
        canvas.SetCenter(c.asked);
        EXPECT_NEAR(canvas.GetCenter().x(), c.expected.x(), 1e-9);
        EXPECT_NEAR(canvas.GetCenter().y(), c.expected.y(), 1e-9);
    }
}

TEST_F(ViewTest, DoubleClickRefinesANodeAndSelectsAPointAlone)
{
    MakeGrid(6, 2);
    Show();
    clustering.SetClusteringIndexArray({{0, 1, 2, 6, 7, 8}, {3, 4, 5, 9, 10, 11}});
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    QSignalSpy refine(&view, &ProjectedViewGraphicsView::RefineCurrentNode);
    ItemOf(3)->setSelected(true);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, At(0));
    EXPECT_EQ(refine.count(), 0);
    EXPECT_EQ(*scene.GetSelectedPointIndex(), std::vector<int>{0});

    const QPoint node = ViewPoint(scene.GetNodeItems()[1]->scenePos());
    std::string out;
    out = TestSupport::CaptureStdout(
        [&] { QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, node); });
    EXPECT_EQ(refine.count(), 1);
    EXPECT_NE(out.find("double clicked Zelvo::ClusterNodeItem\n"), std::string::npos);
    EXPECT_TRUE(scene.GetNodeItems()[1]->isSelected());
}

TEST_F(ViewTest, ReleaseInCostModeWritesBackOnlyAfterAMove)
{
    LoadColorMap();
    MakeGrid(6, 6);
    Show();
    embedding->cost.assign(36, 0);
    embedding->cost[5] = 1;
    TestSupport::CaptureStdout([&] { scene.InitCostColorMap(&colorMap, 1.0f); });
    view.colorMode = "Cost";
    const int calls = embedding->costCalls;
    Click(At(14));
    EXPECT_EQ(embedding->costCalls, calls);
    const QPointF before = ItemOf(14)->scenePos();
    TestSupport::CaptureStdout([&] {
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, At(14));
        QTest::mouseMove(view.viewport(), At(14) + QPoint(6, 3));
        QTest::mouseMove(view.viewport(), At(14) + QPoint(12, 6));
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, ViewPoint(ItemOf(14)->scenePos()));
    });
    EXPECT_NE(ItemOf(14)->scenePos(), before);
    EXPECT_EQ(embedding->costCalls, calls + 1);
    EXPECT_FLOAT_EQ(embedding->modifiedPositions[28], static_cast<float>(ItemOf(14)->scenePos().x()));
}

TEST_F(ViewTest, OverlaysShowTheMapAndPassTheMouseOn)
{
    LoadColorMap();
    MakeGrid(12, 8);
    Show();
    clustering.SetClusteringIndexArray({{0, 1, 2, 12, 13, 14}, {40, 41, 42, 52, 53}, {80, 81, 93, 94, 95}});
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    Zelvo::distanceFunctor distance;
    TestSupport::CaptureStdout([&] { scene.ChangeNeighborGraph(Zelvo::KNN2Graph, distance); });
    scene.SetClusteringColoring(true);
    auto* bar = new Zelvo::ColorMapHUD(&colorMap, &view);
    bar->SetSizeAndPosition(170, 30, 10, 10);
    auto* panel = new Zelvo::ShowStatisticHUD(&view);
    panel->SetSizeAndPosition(170, 250, 10, 50);
    panel->installEventFilter(&view);
    scene.SetColorMapHUD(bar);
    scene.SetStatisticHUD(panel);
    bar->show();
    panel->show();
    scene.SetClusterInfoVisibility(true);
    scene.AddNodeStatistic(scene.GetNodeItems()[2]);
    embedding->cost.assign(96, 0.5f);
    embedding->cost[0] = 0.000012345678f;
    embedding->cost[1] = 1234567;
    TestSupport::CaptureStdout([&] { scene.InitCostColorMap(&colorMap, 1.0f); });
    scene.SetClusteringColoring(true);
    QApplication::processEvents();

    const QImage shot = view.grab().toImage();
    if (const char* path = std::getenv("TOLVEMARK_VIEWS_SCREENSHOT")) shot.save(path);
    EXPECT_EQ(Zelvo::ColorMapHUD::FormatValue(0.000012345678f), "1.23457e-05");
    EXPECT_EQ(Zelvo::ColorMapHUD::FormatValue(1234567), "1.23457e+06");
    EXPECT_EQ(panel->GetEntries().at("Cost Max:"), 1234567.0f);
    // The colour bar's first band is the map's low end.
    const QPoint band = bar->mapTo(&view, QPoint(1, 20));
    EXPECT_EQ(shot.pixelColor(band).rgb(), QColor::fromRgbF(colorMap.getColorf(0.0125f).r, colorMap.getColorf(0.0125f).g,
                                                            colorMap.getColorf(0.0125f).b).rgb());

    // A click through the statistics panel reaches the canvas.
    const int under = 12 * 3 + 1;
    const QPoint onPanel = panel->mapFromGlobal(view.viewport()->mapToGlobal(At(under)));
    ASSERT_TRUE(panel->rect().contains(onPanel));
    QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, onPanel);
    EXPECT_EQ(*scene.GetSelectedPointIndex(), std::vector<int>{under});
}

TEST_F(ViewTest, ColourBarMenuLoadsThroughTheDialogService)
{
    ScriptedDialogService dialogs;
    colorMap.SetDirectory(TestSupport::SourceDir() + "/colorMaps/");
    Zelvo::ColorMapHUD bar(&colorMap, nullptr);
    QSignalSpy changed(&bar, &Zelvo::ColorMapHUD::ColorMapChanged);
    dialogs.AnswerFileName("");
    bar.loadNewColorMap();
    EXPECT_EQ(changed.count(), 0);
    dialogs.AnswerFileName(QString::fromStdString(TestSupport::SourceDir() + "/colorMaps/hot.xml"));
    bar.loadNewColorMap();
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[0].filter, "XML (*.XML *.xml)");
    EXPECT_EQ(colorMap.GetName(), TestSupport::SourceDir() + "/colorMaps/hot");
    // A missing file still announces the change (the map falls back to its default ramp).
    colorMap.SetDirectory("/nonexistent/");
    TestSupport::CaptureStdout([&] { bar.loadHazeColorMap(); });
    EXPECT_EQ(changed.count(), 2);
}

}  // namespace

namespace {

// c drawn at alpha a over white, per channel.
QRgb OverWhite(QRgb c, int a)
{
    const auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Every point on screen: in its colour, faint (alpha 50) while two or more others are selected,
// not at all once deleted, and as large as its own scale.
TEST_F(ViewTest, EveryPointShowsInItsOwnColourFaintnessAndSize)
{
    LoadColorMap();
    MakeGrid(10, 10);
    Show();
    scene.SetDimDataColorMap(&colorMap, 2);
    std::vector<int> deleted = {55};
    scene.DeletePointByIndex(deleted);
    ItemOf(0)->setSelected(true);
    ItemOf(99)->setSelected(true);
    QImage image = Grab();
    for (int id = 0; id < 100; ++id) {
        const QRgb colour = ItemOf(id)->GetColor().rgb();
        const QRgb expected = id == 55 ? qRgb(255, 255, 255) : id == 0 || id == 99 ? colour : OverWhite(colour, 50);
        EXPECT_TRUE(Near(image.pixel(At(id)), expected, 2)) << id << ": " << std::hex << image.pixel(At(id)) << " not "
                                                            << expected;
    }

    // Two points of one colour, one three times the other's size.
    scene.clearSelection();
    ItemOf(22)->SetColor(Qt::blue);
    ItemOf(23)->SetColor(Qt::blue);
    ItemOf(22)->SetScale(3);
    image = Grab();
    const int radius = static_cast<int>(ItemOf(23)->GetRadius() * view.transform().m11());
    ASSERT_GE(radius, 3);
    EXPECT_EQ(image.pixel(At(22) + QPoint(2 * radius, 0)), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(At(23) + QPoint(2 * radius, 0)), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(At(23)), qRgb(0, 0, 255));
}

// A node's disc is dimmed (alpha 30) exactly when two or more items are selected and it is not.
TEST_F(ViewTest, ANodeIsDimmedOnlyWhileTwoOrMoreOthersAreSelected)
{
    MakeGrid(10, 10);
    Show();
    std::vector<std::vector<int>> halves(2);
    for (int i = 0; i < 100; ++i) halves[i / 50].push_back(i);
    clustering.SetClusteringIndexArray(halves);
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    Zelvo::ClusterNodeItem* node = scene.GetNodeItems()[0];
    // Inside the disc, between points.
    const QPoint inside = ViewPoint(node->scenePos() + QPointF(0.75 * node->GetRadius(), 0));
    ASSERT_GT(0.75 * node->GetRadius(), 2 * scene.GetPointSize());
    const QRgb colour = node->GetColor().rgb();
    const struct {
        std::vector<int> points;
        bool nodeSelected, dimmed;
    } rows[] = {
        {{}, false, false}, {{3}, false, false}, {{3, 77}, false, true}, {{3, 4, 77}, false, true}, {{77}, true, false},
    };
    for (const auto& row : rows) {
        scene.clearSelection();
        for (int id : row.points) ItemOf(id)->setSelected(true);
        node->setSelected(row.nodeSelected);
        const QRgb pixel = Grab().pixel(inside);
        EXPECT_TRUE(Near(pixel, OverWhite(colour, row.dimmed ? 30 : 250), 2))
            << row.points.size() << " points, node " << row.nodeSelected << ": " << std::hex << pixel;
    }
}

// A drag released over a point or a node writes the positions back in the cost and distortion
// modes only.
TEST_F(ViewTest, ADraggedPointOrNodeIsWrittenBackInCostAndDistortionModesOnly)
{
    MakeGrid(6, 6);
    Show();
    clustering.SetClusteringIndexArray({{0, 1, 2, 6, 7, 8}, {3, 4, 5, 9, 10, 11}});
    scene.SetClusterNodeGraph(std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points),
                              1, 3);
    const auto drag = [&](QGraphicsItem* item) {
        const QPoint from = ViewPoint(item->scenePos());
        TestSupport::CaptureStdout([&] {
            QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
            QTest::mouseMove(view.viewport(), from + QPoint(5, 4));
            QTest::mouseMove(view.viewport(), from + QPoint(10, 8));
            QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, ViewPoint(item->scenePos()));
        });
    };
    for (const char* mode : {"DimensionValue", "Clusteirng", "HighlightNeighbor", "Cost", "Distortion"}) {
        const bool writes = std::string(mode) == "Cost" || std::string(mode) == "Distortion";
        view.colorMode = mode;
        for (QGraphicsItem* item : {static_cast<QGraphicsItem*>(ItemOf(30)),
                                    static_cast<QGraphicsItem*>(scene.GetNodeItems()[1])}) {
            SCOPED_TRACE(testing::Message() << mode << (item == ItemOf(30) ? " point" : " node"));
            const std::vector<float> before = embedding->modifiedPositions;
            const QPointF shown = ItemOf(30)->scenePos(), node = ItemOf(4)->scenePos();
            drag(item);
            ASSERT_NE(item == ItemOf(30) ? ItemOf(30)->scenePos() : ItemOf(4)->scenePos(),
                      item == ItemOf(30) ? shown : node);
            EXPECT_EQ(embedding->modifiedPositions != before, writes);
            if (writes) {
                EXPECT_FLOAT_EQ(embedding->modifiedPositions[2 * 30], static_cast<float>(ItemOf(30)->scenePos().x()));
                EXPECT_FLOAT_EQ(embedding->modifiedPositions[2 * 4 + 1], static_cast<float>(ItemOf(4)->scenePos().y()));
            }
        }
    }
}

// The statistics panel passes presses, moves and releases on to the canvas: a lasso drawn
// across it selects what it encloses.
TEST_F(ViewTest, ALassoDrawnAcrossTheStatisticsPanelSelectsWhatItEncloses)
{
    MakeGrid(12, 8);
    Show();
    auto* panel = new Zelvo::ShowStatisticHUD(&view);
    panel->SetSizeAndPosition(300, 400, 10, 50);
    panel->installEventFilter(&view);
    panel->show();
    // Half a grid step around points 1 .. 2 of rows 1 .. 3, which the panel covers.
    const QPointF tl = ItemOf(12 + 1)->scenePos() - QPointF(5, 5), br = ItemOf(36 + 2)->scenePos() + QPointF(5, 5);
    const std::vector<QPointF> corners = {tl, QPointF(br.x(), tl.y()), br, QPointF(tl.x(), br.y())};
    const auto onPanel = [&](const QPointF& scenePoint) {
        return panel->mapFromGlobal(view.viewport()->mapToGlobal(ViewPoint(scenePoint)));
    };
    for (const QPointF& corner : corners) ASSERT_TRUE(panel->rect().contains(onPanel(corner)));
    const auto send = [&](QEvent::Type type, const QPointF& scenePoint, Qt::MouseButtons buttons) {
        const QPointF at = onPanel(scenePoint);
        QMouseEvent event(type, at, panel->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(panel, &event);
    };
    send(QEvent::MouseButtonPress, corners[0], Qt::LeftButton);
    for (size_t k = 1; k <= corners.size(); ++k)
        for (int s = 1; s <= 4; ++s)
            send(QEvent::MouseMove, corners[k - 1] + (corners[k % 4] - corners[k - 1]) * s / 4.0, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, corners[0], Qt::NoButton);
    std::vector<int> selected = *scene.GetSelectedPointIndex();
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<int>{13, 14, 25, 26, 37, 38}));
}

// The colour bar shows every band in the map's colour at the band's middle, and each entry of
// its menu loads its own file from the colour maps' folder.
TEST_F(ViewTest, EveryBandAndEveryMenuEntryOfTheColourBar)
{
    const std::string folder = TestSupport::SourceDir() + "/colorMaps/";
    colorMap.SetDirectory(folder);
    Zelvo::ColorMapHUD bar(&colorMap, nullptr);
    bar.SetSizeAndPosition(200, 30, 0, 0);
    QSignalSpy changed(&bar, &Zelvo::ColorMapHUD::ColorMapChanged);
    const std::pair<QString, std::string> entries[] = {
        {"hot", "hot"}, {"haze", "haze"}, {"blueGreenRed", "blueGreenRed"}, {"spectral", "spectralColorMap"}};
    for (const auto& [entry, file] : entries) {
        SCOPED_TRACE(entry.toStdString());
        QAction* action = nullptr;
        for (QAction* a : bar.GetContextMenu()->actions())
            if (a->text() == entry) action = a;
        ASSERT_NE(action, nullptr);
        TestSupport::CaptureStdout([&] { action->trigger(); });
        EXPECT_EQ(colorMap.GetName(), folder + file);
        const QImage image = bar.grab().toImage();
        for (int band = 0; band < 40; ++band) {
            const int x = (band * 200 / 40 + (band + 1) * 200 / 40) / 2;
            const RgbColorf c = colorMap.getColorf((band + 0.5f) / 40);
            EXPECT_TRUE(Near(image.pixel(x, 20), QColor::fromRgbF(c.r, c.g, c.b).rgb(), 1)) << "band " << band;
        }
    }
    EXPECT_EQ(changed.count(), 4);
}

// The bar's marker stays where the bar ended at its first drawing; a new bar replaces the old.
TEST_F(ViewTest, TheStatisticBarKeepsItsFirstMarkerAndIsReplacedByTheNext)
{
    Zelvo::ShowStatisticHUD panel(nullptr);
    panel.SetSizeAndPosition(170, 250, 0, 0);  // the bar spans 170 pixels
    const auto black = [](const QImage& image, int x) { return image.pixel(x, 7) == qRgb(0, 0, 0); };
    panel.SetFloatEntry("Cost Max:", 5);
    panel.AddHorizontalBar("Cost Max:", 10);
    EXPECT_TRUE(black(panel.grab().toImage(), 85));
    panel.SetFloatEntry("Cost Max:", 2.5f);
    QImage image = panel.grab().toImage();
    EXPECT_TRUE(black(image, 85));
    EXPECT_FALSE(black(image, 42));
    EXPECT_EQ(image.pixel(20, 7), QColor(Qt::gray).rgb());

    panel.SetFloatEntry("Stress Max:", 1);
    panel.AddHorizontalBar("Stress Max:", 4);
    EXPECT_EQ(panel.GetBars(), (std::map<std::string, float>{{"Stress Max:", 4}}));
    image = panel.grab().toImage();
    EXPECT_TRUE(black(image, 42));
    EXPECT_FALSE(black(image, 85));
}

TEST(DialogServiceTest, EachServiceInstalledGivesBackTheOneBefore)
{
    Zelvo::DialogService* standard = &Zelvo::DialogService::Current();
    {
        ScriptedDialogService outer;
        EXPECT_EQ(&Zelvo::DialogService::Current(), &outer);
        {
            ScriptedDialogService inner;
            EXPECT_EQ(&Zelvo::DialogService::Current(), &inner);
        }
        EXPECT_EQ(&Zelvo::DialogService::Current(), &outer);
    }
    EXPECT_EQ(&Zelvo::DialogService::Current(), standard);
}

}  // namespace
