#include "BatchTimer.h"
#include "ClusterNodeItem.h"
#include "ColorMapHUD.h"
#include "DataOperationController.h"
#include "DataProfile.h"
#include "DimReductionFactory.h"
#include "EmbeddingResult.h"
#include "HDfileIO.h"
#include "MemoryBudget.h"
#include "NodeGraphItem.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewWidget.h"
#include "ShowStatisticHUD.h"
#include "TestSupport.h"
#include "../app/ScriptedDialogService.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using TestSupport::CaptureStdout;
using Zelvo::ProjectedViewWidget;

namespace {

QRgb MapColor(const xmlColorMap& map, double t)
{
    if (!std::isfinite(t)) t = 0;
    const uint32_t c = map.getColor(static_cast<float>(t));
    return qRgb(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

// The colours a value colouring gives over [min, max] of the values.
std::vector<QRgb> ExpectedColors(const xmlColorMap& map, const std::vector<float>& values)
{
    const float lo = *std::min_element(values.begin(), values.end());
    const float hi = *std::max_element(values.begin(), values.end());
    std::vector<QRgb> colors;
    for (float v : values) colors.push_back(MapColor(map, (v - static_cast<double>(lo)) / (static_cast<double>(hi) - lo)));
    return colors;
}

QStringList Items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

// Cluster-tree text: a leaf holds points [from, to); a node holds its parts.
std::string Leaf(int from, int to)
{
    std::string text = "+(L";
    for (int i = from; i < to; ++i) text += std::to_string(i) + (i + 1 < to ? "," : "");
    return text + ")-";
}
std::string Node(const std::vector<std::string>& parts)
{
    std::string text = "+(N)";
    for (const std::string& part : parts) text += part;
    return text + "-";
}

// A data set opened as the main window opens one, with its own projected view.
struct Session {
    explicit Session(const std::string& xml) : xmlPath(xml)
    {
        controller.SetDataProfile(&profile);
        widget.resize(1200, 760);
        widget.show();
    }
    void Open(const std::string& csv)
    {
        bool opened = false;
        const std::string out = CaptureStdout([&] {
            opened = io.CreateNewEmptyHDdataSet(xmlPath.c_str()) && io.ImportDataFromCSV(csv.c_str()) &&
                     profile.SetHDfileIO(&io);
            widget.SetModelController(&profile, &controller);
        });
        ASSERT_TRUE(opened) << out;
    }
    // Isomap: it has a cost, neighbour lists and every distortion measure.
    void Embed()
    {
        CaptureStdout([&] {
            auto engine = Zelvo::DimReductionFactory::FromISOMAPFactory(profile.GetDistanceFunctor(), 6);
            profile.SetCurrentEmbeddingResult(controller.ApplyDimReduction(engine.get()));
        });
        ASSERT_NE(profile.GetCurrentEmbeddingResult(), nullptr);
    }
    void Cluster(const std::string& tree)
    {
        auto result = std::make_unique<Zelvo::ClusteringResult>();
        result->SetSerializedHierarchyString(tree);
        CaptureStdout([&] { profile.SetCurrentClusteringResult(std::move(result)); });
    }
    std::vector<QRgb> ItemColors()
    {
        std::vector<QRgb> colors;
        for (Zelvo::PointGraphicsItem* item : widget.GetScene().GetPointItems())
            if (item->isVisible()) colors.push_back(item->GetColor().rgb());
        return colors;
    }
    std::vector<QRgb> ProfileColors()
    {
        std::vector<QRgb> colors;
        if (profile.GetPointColors())
            for (const QColor& c : *profile.GetPointColors()) colors.push_back(c.rgb());
        return colors;
    }
    // Clicks as the user does; returns how often the profile announced new colours.
    int Click(QAbstractButton* button)
    {
        QSignalSpy spy(&profile, &Zelvo::DataProfile::PointColorChanged);
        CaptureStdout([&] { button->click(); });
        return static_cast<int>(spy.count());
    }

    std::string xmlPath;
    Zelvo::HDfileIO io;
    Zelvo::DataProfile profile;
    Zelvo::DataOperationController controller;
    ProjectedViewWidget widget;
};

// Runs from the source directory, where the colour maps are found. The data: points on a helix,
// with an id column (point number / 10) that survives renumbering.
class ProjectedViewWidgetTest : public ::testing::Test {
protected:
    void SetUp() override { a = std::make_unique<Session>(dir.file("a.xml")); }

    std::string Helix(const std::string& name, int n, const std::set<int>& without = {})
    {
        std::ofstream out(dir.file(name));
        out << "x,y,z,id\n";
        for (int i = 0; i < n; ++i)
            if (!without.count(i))
                out << 20 * std::cos(0.2 * i) << "," << 20 * std::sin(0.2 * i) << "," << 0.8 * i << "," << i / 10.0
                    << "\n";
        return dir.file(name);
    }
    void OpenEmbedded(Session& s, int n = 80)
    {
        s.Open(Helix("helix.csv", n));
        s.Embed();
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    ScriptedDialogService dialogs;  // a slot whose work fails reports it in a warning
    TestSupport::TempDir dir;
    std::unique_ptr<Session> a;
};

TEST_F(ProjectedViewWidgetTest, FormStartsDisabledAndFollowsItsLinks)
{
    ProjectedViewWidget& w = a->widget;
    EXPECT_FALSE(w.groupBox_colorMap->isEnabled() || w.groupBox_VisualControl->isEnabled());
    EXPECT_TRUE(w.cbNode->isChecked() && w.cbGraph->isChecked() && w.radioButton_DimensionValue->isChecked());
    EXPECT_EQ(w.horizontalSlider_rangePercentage->value(), w.horizontalSlider_rangePercentage->maximum());
    for (const char* name : {"GView", "InputUI", "buttonGroup_colorMap", "horizontalSlider_pointSize"})
        EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name;
    // Restore To Default counts as a click in the colouring group.
    EXPECT_EQ(w.pushButton_restoreDefault->group(), w.buttonGroup_colorMap);
    EXPECT_EQ(w.buttonGroup_colorMap->buttons().size(), 9);

    // Enable Co-rank enables its radio button; unchecking disables it but leaves it checked.
    EXPECT_FALSE(w.radioButton_Coranking->isEnabled());
    w.checkBox_EnableCoranking->setChecked(true);
    w.radioButton_Coranking->setChecked(true);
    w.checkBox_EnableCoranking->setChecked(false);
    EXPECT_FALSE(w.radioButton_Coranking->isEnabled());
    EXPECT_TRUE(w.radioButton_Coranking->isChecked());
    w.radioButton_DimensionValue->setChecked(true);

    OpenEmbedded(*a);
    EXPECT_TRUE(w.groupBox_colorMap->isEnabled() && w.groupBox_VisualControl->isEnabled());
    ASSERT_NE(w.GetColorMapHUD(), nullptr);
    EXPECT_TRUE(w.GetColorMapHUD()->isVisible() && w.GetStatisticHUD()->isVisible());
    w.cb_showHUD->setChecked(false);
    EXPECT_FALSE(w.GetColorMapHUD()->isVisible() || w.GetStatisticHUD()->isVisible());
    EXPECT_EQ(Items(w.comboBox_ScalarFunctionSelection), QStringList({"x", "y", "z", "id"}));

    // The graph list's entry index is the graph type.
    a->Cluster(Node({Leaf(0, 40), Leaf(40, 80)}));
    const QStringList graphs = Items(w.comboBox_NeighborGraphType);
    ASSERT_EQ(graphs.size(), 14);
    EXPECT_EQ(QStringList({graphs[Zelvo::KNN10Graph], graphs[Zelvo::KNN15Graph], graphs[Zelvo::KNN30Graph],
                           graphs[Zelvo::RNGGraph], graphs[Zelvo::MSTGraph]}),
              QStringList({"kNN-10", "kNN-15", "kNN-30", "RNG", "MST"}));
    // MST draws no graph; kNN-1 does.
    w.comboBox_NeighborGraphType->setCurrentIndex(Zelvo::MSTGraph);
    EXPECT_EQ(w.GetScene().GetGraphItem(), nullptr);
    w.comboBox_NeighborGraphType->setCurrentIndex(Zelvo::KNN1Graph);
    EXPECT_NE(w.GetScene().GetGraphItem(), nullptr);
}

TEST_F(ProjectedViewWidgetTest, EachColourModeSetsItsModeAndColouring)
{
    OpenEmbedded(*a);
    a->Cluster(Node({Leaf(0, 20), Leaf(20, 40), Leaf(40, 60), Leaf(60, 80)}));
    ProjectedViewWidget& w = a->widget;
    Zelvo::EmbeddingResult& e = *a->profile.GetCurrentEmbeddingResult();
    const xmlColorMap& map = a->profile.GetColorMap();
    w.comboBox_ScalarFunctionSelection->setCurrentIndex(2);
    w.lineEdit_KDEbandWidth->setText("0.7");
    w.lineEdit_NeighborCount->setText("7");
    w.checkBox_EnableCoranking->setChecked(true);
    w.GetScene().GetPointItems()[5]->setSelected(true);

    // The measure of an embedding, asked for as the colouring should ask for it.
    auto distortion = [&](const char* name, float bandwidth, int k) {
        e.kdeBandWidth = bandwidth;
        e.corankK = k;
        float total = 0;
        return ExpectedColors(map, *e.GetPerPointDistortion(total, name));
    };
    std::vector<float> z;
    for (int i = 0; i < 80; ++i) z.push_back(a->profile.GetPointSet().m_values[i * 4 + 2]);
    std::vector<QRgb> cluster;
    for (Zelvo::PointGraphicsItem* item : w.GetScene().GetPointItems())
        cluster.push_back(static_cast<Zelvo::ClusterNodeItem*>(item->parentItem())->GetColor().rgb());
    std::vector<int> selected = {5};
    std::vector<QRgb> neighbours;
    for (float v : *e.GetSelectedPointNeighborHood(selected)) neighbours.push_back(MapColor(map, v));

    const struct {
        QRadioButton* radio;
        const char* mode;
        std::function<std::vector<QRgb>()> expected;
    } rows[] = {
        {w.radioButton_DimensionValue, "DimensionValue", [&] { return ExpectedColors(map, z); }},
        {w.radioButton_PerPointCost, "Cost",
         [&] {
             float total = 0;
             return ExpectedColors(map, *e.GetPerPointCost(total));
         }},
        {w.radioButton_Stress, "Distortion", [&] { return distortion("Stress", 0.3f, 10); }},
        {w.radioButton_RobustDistance, "Distortion", [&] { return distortion("Robust", 0.3f, 10); }},
        {w.radioButton_KDE, "Distortion", [&] { return distortion("KDE", 0.7f, 10); }},
        {w.radioButton_Coranking, "Distortion", [&] { return distortion("Corank", 0.7f, 7); }},
        {w.radioButton_ClusteringResult, "Clusteirng", [&] { return cluster; }},
        {w.radioButton_HighlightNeighbor, "HighlightNeighbor", [&] { return neighbours; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.radio->text().toStdString());
        EXPECT_EQ(a->Click(row.radio), 1);
        EXPECT_EQ(w.GView->colorMode, row.mode);
        const std::vector<QRgb> expected = row.expected();
        EXPECT_EQ(a->ItemColors(), expected);
        EXPECT_EQ(a->ProfileColors(), expected);
    }
    // The neighbours of the selection really stand out.
    EXPECT_GT(std::count(neighbours.begin(), neighbours.end(), neighbours[0]), 0);
    EXPECT_LT(std::count(neighbours.begin(), neighbours.end(), neighbours[0]), 80);
}

TEST_F(ProjectedViewWidgetTest, ClusteringFillsOneLevelPerTreeLevelBelowTheLeaves)
{
    OpenEmbedded(*a);
    ProjectedViewWidget& w = a->widget;
    const struct {
        std::string tree;
        QStringList levels;
        size_t nodes;
    } rows[] = {
        {Node({}), {}, 0},
        {Node({Leaf(0, 40), Leaf(40, 80)}), {"1"}, 2},
        {Node({Node({Node({Leaf(0, 20)}), Node({Leaf(20, 40)})}), Node({Node({Leaf(40, 60)}), Node({Leaf(60, 80)})})}),
         {"1", "2", "3"}, 2},
    };
    for (const auto& row : rows) {
        w.radioButton_DimensionValue->setChecked(true);
        a->Cluster(row.tree);
        EXPECT_EQ(Items(w.comboBox_SelectClusterLevel), row.levels);
        EXPECT_TRUE(w.radioButton_ClusteringResult->isChecked());
        EXPECT_EQ(w.GetScene().GetNodeItems().size(), row.nodes);
    }
    // A deeper level colours by cluster and hands the colours on once.
    QSignalSpy colors(&a->profile, &Zelvo::DataProfile::PointColorChanged);
    w.comboBox_SelectClusterLevel->setCurrentIndex(1);
    EXPECT_EQ(w.GetScene().GetNodeItems().size(), 4u);
    EXPECT_EQ(colors.count(), 1);
    EXPECT_EQ(a->ItemColors()[70], w.GetScene().GetNodeItems()[3]->GetColor().rgb());
    // Restore To Default goes back to the level a clustering result starts with.
    a->Click(w.pushButton_restoreDefault);
    EXPECT_EQ(w.comboBox_SelectClusterLevel->currentIndex(), 0);
    EXPECT_EQ(w.GetScene().GetNodeItems().size(), 2u);
}

TEST_F(ProjectedViewWidgetTest, RestoreToDefaultInLocalCostModeRecoloursTheComputedLayout)
{
    OpenEmbedded(*a);
    ProjectedViewWidget& w = a->widget;
    Zelvo::ProjectedViewScene& scene = w.GetScene();
    a->Click(w.radioButton_PerPointCost);
    const std::vector<QRgb> computed = a->ItemColors();
    for (int i = 0; i < 10; ++i) scene.GetPointItems()[i]->moveBy(15, -10);
    CaptureStdout([&] { scene.UpdateEmbeddingPosition(); });
    ASSERT_NE(a->ItemColors(), computed);

    EXPECT_GE(a->Click(w.pushButton_restoreDefault), 1);
    EXPECT_EQ(a->ItemColors(), computed);
    EXPECT_EQ(w.GView->colorMode, "Cost");
    const Zelvo::EmbeddingResult& e = *a->profile.GetCurrentEmbeddingResult();
    EXPECT_EQ(e.modifiedPositions, e.originalPositions);
    const Zelvo::PointGraphicsItem* first = scene.GetPointItems()[0];
    EXPECT_EQ(first->scenePos(), QPointF(first->GetRecord()->x, first->GetRecord()->y));
}

TEST_F(ProjectedViewWidgetTest, DeletingTwiceLeavesWhatAFreshCopyOfTheRestHolds)
{
    OpenEmbedded(*a);
    ProjectedViewWidget& w = a->widget;
    w.comboBox_ScalarFunctionSelection->setCurrentIndex(3);
    auto deleteItems = [&](const std::vector<int>& items) {
        for (int i : items) w.GetScene().GetPointItems()[i]->setSelected(true);
        w.GetScene().TakeSelectionChange();  // as the canvas reports a lasso
        CaptureStdout([&] { w.pushButton_deletePoints->click(); });
    };
    // Items keep their first numbering; the second deletion lies past the first.
    deleteItems({3, 7, 8});
    QSignalSpy selection(&w, &ProjectedViewWidget::PointSelectionChanged);
    deleteItems({9, 20, 79});
    EXPECT_EQ(selection.count(), 1);  // the deleted points left the selection
    w.GetScene().GetPointItems()[40]->setSelected(true);
    EXPECT_EQ(*w.GetScene().GetSelectedPointIndex(), std::vector<int>{35});
    a->Click(w.radioButton_DimensionValue);

    Session fresh(dir.file("fresh.xml"));
    fresh.Open(Helix("rest.csv", 80, {3, 7, 8, 9, 20, 79}));
    fresh.Embed();
    fresh.widget.comboBox_ScalarFunctionSelection->setCurrentIndex(3);
    EXPECT_EQ(a->profile.GetPointSet().m_values, fresh.profile.GetPointSet().m_values);
    EXPECT_EQ(a->ProfileColors(), fresh.ProfileColors());
    EXPECT_EQ(a->ItemColors(), fresh.ItemColors());

    // The measures that read the point set still pair each embedding row with its point.
    CaptureStdout([&] { w.checkBox_isMinimalEnclosingBall->toggle(); });
    EXPECT_TRUE(std::isfinite(w.GetStatisticHUD()->GetEntries().at("scaleRatio")));
    w.checkBox_EnableCoranking->setChecked(true);
    w.lineEdit_NeighborCount->setText("5");
    a->Click(w.radioButton_Coranking);
    ASSERT_TRUE(w.GetStatisticHUD()->GetEntries().count("Corank Max:"));
    EXPECT_TRUE(std::isfinite(w.GetStatisticHUD()->GetEntries().at("Corank Max:")));
}

TEST_F(ProjectedViewWidgetTest, EachChangeRunsOnceAfterThreeDataSets)
{
    ProjectedViewWidget& w = a->widget;
    // How often the profile hears of new colours for each kind of change.
    auto probe = [&] {
        QSignalSpy colors(&a->profile, &Zelvo::DataProfile::PointColorChanged);
        std::vector<int> counts;
        // Embed and Cluster keep their own lines away.
        auto mark = [&](const std::function<void()>& change, bool quiet = true) {
            colors.clear();
            if (quiet)
                CaptureStdout(change);
            else
                change();
            counts.push_back(static_cast<int>(colors.count()));
        };
        mark([&] { a->Embed(); }, false);
        mark([&] { a->Cluster(Node({Node({Leaf(0, 20), Leaf(20, 40)}), Node({Leaf(40, 60), Leaf(60, 80)})})); },
             false);
        mark([&] { w.comboBox_SelectClusterLevel->setCurrentIndex(1); });
        mark([&] { w.radioButton_Stress->click(); });
        mark([&] { w.comboBox_ScalarFunctionSelection->setCurrentIndex(1); });
        mark([&] { emit w.GetColorMapHUD()->ColorMapChanged(); });
        mark([&] { w.checkBox_isMinimalEnclosingBall->toggle(); });
        // A drag of the range slider recolours once, when let go.
        QSlider* range = w.horizontalSlider_rangePercentage;
        mark([&] {
            range->setSliderDown(true);
            for (int v : {90, 70, 50}) range->setValue(v);
        });
        mark([&] { range->setSliderDown(false); });
        CaptureStdout([&] { range->setValue(range->maximum()); });
        return counts;
    };
    OpenEmbedded(*a);
    const std::vector<int> first = probe();
    EXPECT_EQ(first[7], 0);
    EXPECT_EQ(first[8], 1);
    CaptureStdout([&] { w.CleanUp(); });
    OpenEmbedded(*a);
    probe();
    OpenEmbedded(*a);  // without CleanUp in between
    EXPECT_EQ(probe(), first);

    // Colour range changes and Stress chosen again reuse the measure; a moved point does not.
    Zelvo::BatchTimer& timers = Zelvo::BatchTimer::GetInstance();
    timers.RegisterTimer("Stress");
    const int before = timers.GetTimer("Stress")->GetCallCount();
    CaptureStdout([&] {
        w.horizontalSlider_rangePercentage->setValue(40);
        w.radioButton_Stress->click();
    });
    EXPECT_EQ(timers.GetTimer("Stress")->GetCallCount(), before);
    w.GetScene().GetPointItems()[0]->moveBy(5, 5);
    CaptureStdout([&] { w.GetScene().UpdateEmbeddingPosition(); });
    EXPECT_EQ(timers.GetTimer("Stress")->GetCallCount(), before + 1);
    timers.Clear();
}

TEST_F(ProjectedViewWidgetTest, CleanUpLeavesTheWidgetAsNew)
{
    ProjectedViewWidget& w = a->widget;
    EXPECT_TRUE(w.CleanUp());  // nothing open
    OpenEmbedded(*a);
    a->Cluster(Node({Leaf(0, 40), Leaf(40, 80)}));
    ASSERT_FALSE(w.GetScene().GetNodeItems().empty());
    EXPECT_TRUE(w.CleanUp());
    EXPECT_TRUE(w.CleanUp());
    const Zelvo::ProjectedViewScene& scene = w.GetScene();
    EXPECT_EQ(scene.items().size(), 1);  // the empty root
    EXPECT_EQ(scene.GetEmbeddingResult(), nullptr);
    EXPECT_EQ(scene.GetClusterNodeGraphModel(), nullptr);
    EXPECT_EQ(w.comboBox_ScalarFunctionSelection->count() + w.comboBox_SelectClusterLevel->count() +
                  w.comboBox_NeighborGraphType->count(),
              0);
    EXPECT_FALSE(w.groupBox_colorMap->isEnabled() || w.groupBox_VisualControl->isEnabled());
    EXPECT_EQ(w.GetColorMapHUD(), nullptr);
    EXPECT_EQ(w.GetStatisticHUD(), nullptr);

    // The next data set shows only itself; a stored clustering made current without an
    // embedding shows nothing.
    std::ofstream(dir.file("two.csv")) << "u,v\n1,2\n3,5\n4,4\n";
    a->Open(dir.file("two.csv"));
    EXPECT_EQ(w.comboBox_ScalarFunctionSelection->count(), 2);
    EXPECT_TRUE(w.GetStatisticHUD()->GetEntries().empty());
    EXPECT_FALSE(w.GetColorMapHUD()->isVisible() || w.GetColorMapHUD()->HasRange());
    auto stored = std::make_unique<Zelvo::ClusteringResult>();
    stored->SetSerializedHierarchyString(Node({Leaf(0, 2), Leaf(2, 3)}));
    std::string id = "stored";
    CaptureStdout([&] {
        ASSERT_TRUE(a->profile.AddClusteringResult(id, std::move(stored)));
        ASSERT_TRUE(a->profile.SetCurrentClusteringResultByIDString(id));
    });
    EXPECT_EQ(w.comboBox_SelectClusterLevel->count(), 0);
    EXPECT_EQ(scene.GetClusterNodeGraphModel(), nullptr);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, "Error: No existing embeddingResult!");
}

}  // namespace

namespace {

// Oracle: the measure asked for directly, with the parameters of the form. Each colouring, also
// the same one again with another parameter, shows its own range, its own three entries and one
// bar, and colours every point from them.
TEST_F(ProjectedViewWidgetTest, EachValueColouringShowsItsOwnMeasureRangeAndEntries)
{
    OpenEmbedded(*a);
    ProjectedViewWidget& w = a->widget;
    Zelvo::EmbeddingResult& e = *a->profile.GetCurrentEmbeddingResult();
    const xmlColorMap& map = a->profile.GetColorMap();
    w.checkBox_EnableCoranking->setChecked(true);
    const struct {
        QRadioButton* radio;
        const char* name;  // of the entries
        const char* bandwidth;
        const char* neighbours;
    } rows[] = {
        {w.radioButton_Stress, "Stress", "0.4", "80"},   {w.radioButton_PerPointCost, "Cost", "0.4", "80"},
        {w.radioButton_KDE, "KDE", "0.7", "80"},         {w.radioButton_KDE, "KDE", "0.2", "80"},
        {w.radioButton_RobustDistance, "Robust", "0.2", "80"}, {w.radioButton_Coranking, "Corank", "0.2", "5"},
        {w.radioButton_Coranking, "Corank", "0.2", "9"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.name << " " << row.bandwidth << " " << row.neighbours);
        w.lineEdit_KDEbandWidth->setText(row.bandwidth);
        w.lineEdit_NeighborCount->setText(row.neighbours);
        a->Click(row.radio);
        const std::string name = row.name;
        float total = 0;
        std::vector<float> values;
        if (name == "Cost") {
            std::vector<float> same = e.modifiedPositions;
            e.SetModifiedEmbeddedPosition(same);  // the cost anew: only a new one passes its total back
            values = *e.GetPerPointCost(total);
        } else {
            const bool fixed = name == "Stress" || name == "Robust";  // the form's fixed parameters
            e.kdeBandWidth = fixed ? 0.3f : std::stof(row.bandwidth);
            e.corankK = fixed || name == "KDE" ? 10 : std::stoi(row.neighbours);
            values = *e.GetPerPointDistortion(total, name);
        }
        const float lo = *std::min_element(values.begin(), values.end());
        const float hi = *std::max_element(values.begin(), values.end());
        ASSERT_LT(lo, hi);
        EXPECT_EQ(w.GetStatisticHUD()->GetEntries(),
                  (std::map<std::string, float>{{name + " Max:", hi}, {name + " Min:", lo}, {name + " Total: ", total}}));
        EXPECT_EQ(w.GetStatisticHUD()->GetBars(), (std::map<std::string, float>{{name + " Max:", hi}}));
        EXPECT_EQ(w.GetColorMapHUD()->GetMinimum(), lo);
        EXPECT_EQ(w.GetColorMapHUD()->GetMaximum(), hi);
        EXPECT_EQ(a->ItemColors(), ExpectedColors(map, values));
    }
}

// Each check box and slider of the visual panel changes its own items and nothing else; a new
// embedding keeps the overlays as Show HUD says.
TEST_F(ProjectedViewWidgetTest, EachVisualControlReachesOnlyItsOwnItems)
{
    OpenEmbedded(*a);
    a->Cluster(Node({Leaf(0, 30), Leaf(30, 80)}));
    ProjectedViewWidget& w = a->widget;
    Zelvo::ProjectedViewScene& scene = w.GetScene();
    ASSERT_NE(scene.GetGraphItem(), nullptr);
    std::vector<float> radii;
    for (const Zelvo::ClusterNodeItem* node : scene.GetNodeItems()) radii.push_back(node->GetRadius());
    struct State {
        bool nodes, graph;
        float nodeScale, pointScale;
        bool operator==(const State& o) const
        {
            return nodes == o.nodes && graph == o.graph && nodeScale == o.nodeScale && pointScale == o.pointScale;
        }
    };
    const auto state = [&] {
        State s{true, scene.GetGraphItem()->isVisible(), scene.GetNodeItems()[1]->GetRadius() / radii[1],
                scene.GetPointItems()[79]->GetScale()};
        for (const Zelvo::ClusterNodeItem* node : scene.GetNodeItems()) s.nodes = s.nodes && node->GetNodeVisibility();
        for (const Zelvo::PointGraphicsItem* point : scene.GetPointItems())
            if (point->GetScale() != s.pointScale) s.pointScale = -1;
        return s;
    };
    const struct {
        std::function<void()> change;
        State expected;
    } rows[] = {
        {[&] { w.cbNode->setChecked(false); }, {false, true, 1, 1}},
        {[&] { w.cbNode->setChecked(true); }, {true, true, 1, 1}},
        {[&] { w.cbGraph->setChecked(false); }, {true, false, 1, 1}},
        {[&] { w.cbGraph->setChecked(true); }, {true, true, 1, 1}},
        {[&] { w.horizontalSlider_clusterSize->setValue(50); }, {true, true, 0.5f, 1}},
        {[&] { w.horizontalSlider_pointSize->setValue(200); }, {true, true, 0.5f, 2}},
        {[&] { w.horizontalSlider_clusterSize->setValue(150); }, {true, true, 1.5f, 2}},
    };
    for (size_t k = 0; k < std::size(rows); ++k) {
        rows[k].change();
        EXPECT_TRUE(state() == rows[k].expected) << "row " << k;
    }
    for (bool on : {true, false}) {
        w.cb_clusterInfo->setChecked(on);
        Zelvo::ClusterNodeItem* node = scene.GetNodeItems()[on ? 0 : 1];
        scene.AddNodeStatistic(node);
        EXPECT_EQ(node->HasStatisticSummary(), on);
    }

    w.cb_showHUD->setChecked(false);
    a->Embed();
    EXPECT_FALSE(w.GetColorMapHUD()->isVisible() || w.GetStatisticHUD()->isVisible());
    w.cb_showHUD->setChecked(true);
    EXPECT_TRUE(w.GetColorMapHUD()->isVisible() && w.GetStatisticHUD()->isVisible());
}

}  // namespace

namespace {

// Every colouring the embedding can refuse: the colours stay, the warning says why, and the form
// goes back to the colouring shown, whose mode a later drag still recolours by.
TEST_F(ProjectedViewWidgetTest, ARefusedColouringLeavesTheFormOnTheColouringShown)
{
    OpenEmbedded(*a);
    ProjectedViewWidget& w = a->widget;
    w.checkBox_EnableCoranking->setChecked(true);
    TestSupport::BudgetScope budget;
    const auto setText = [](QLineEdit* edit, const char* text) { return [=] { edit->setText(text); }; };
    const struct {
        QRadioButton* radio;
        std::function<void()> refuse, allow;
        const char* cause;
    } rows[] = {
        {w.radioButton_KDE, setText(w.lineEdit_KDEbandWidth, "0"), setText(w.lineEdit_KDEbandWidth, "0.4"),
         "Error: KDE distortion needs a finite bandwidth above 0"},
        {w.radioButton_Coranking, setText(w.lineEdit_NeighborCount, "0"), setText(w.lineEdit_NeighborCount, "80"),
         "Error: Corank distortion needs a neighbourhood size"},
        {w.radioButton_Stress, [] { Zelvo::MemoryBudget::SetLimit(1); }, [] { Zelvo::MemoryBudget::SetLimit(0); },
         "Error: "},
        {w.radioButton_RobustDistance, [] { Zelvo::MemoryBudget::SetLimit(1); },
         [] { Zelvo::MemoryBudget::SetLimit(0); }, "Error: "},
    };
    // Shown before each refusal: a cost, then a distortion colouring.
    const struct {
        QRadioButton* radio;
        const char* mode;
        const char* dragLine;  // what recolouring after a drag prints
    } shown[] = {{w.radioButton_PerPointCost, "Cost", "the cost range"},
                 {w.radioButton_Stress, "Distortion", "the stress range"}};
    for (const auto& before : shown) {
        for (const auto& row : rows) {
            if (row.radio == before.radio) continue;
            SCOPED_TRACE(before.radio->text().toStdString() + " then " + row.radio->text().toStdString());
            a->Click(before.radio);
            const std::vector<QRgb> colours = a->ItemColors();
            const size_t warnings = dialogs.Calls().size();
            row.refuse();
            EXPECT_EQ(a->Click(row.radio), 1);
            row.allow();
            EXPECT_TRUE(before.radio->isChecked());
            EXPECT_FALSE(row.radio->isChecked());
            EXPECT_EQ(w.GView->colorMode, before.mode);
            EXPECT_EQ(a->ItemColors(), colours);
            EXPECT_EQ(a->ProfileColors(), colours);
            ASSERT_EQ(dialogs.Calls().size(), warnings + 1);
            EXPECT_TRUE(dialogs.Calls().back().text.startsWith(row.cause)) << dialogs.Calls().back().text.toStdString();

            w.GetScene().GetPointItems()[0]->moveBy(3, 3);
            const std::string drag = CaptureStdout([&] { w.GetScene().UpdateEmbeddingPosition(); });
            EXPECT_NE(drag.find(before.dragLine), std::string::npos) << drag;
            EXPECT_EQ(drag.find("Error"), std::string::npos) << drag;
        }
    }
    // A new level colours by cluster, the form's choice staying as it was; a refusal then goes
    // back to the clusters.
    a->Cluster(Node({Node({Leaf(0, 20), Leaf(20, 40)}), Node({Leaf(40, 60), Leaf(60, 80)})}));
    a->Click(w.radioButton_DimensionValue);
    CaptureStdout([&] { w.comboBox_SelectClusterLevel->setCurrentIndex(1); });
    w.lineEdit_KDEbandWidth->setText("0");
    a->Click(w.radioButton_KDE);
    EXPECT_TRUE(w.radioButton_ClusteringResult->isChecked());
}

// An embedding without a per-point cost or neighbour lists refuses those colourings with the
// lines it printed; shown anew while one of them is chosen, it falls back to the first choice.
TEST_F(ProjectedViewWidgetTest, ColouringsAnEmbeddingCannotGiveAreRefused)
{
    OpenEmbedded(*a);
    ProjectedViewWidget& w = a->widget;
    a->Click(w.radioButton_PerPointCost);
    std::vector<float> xy;
    const std::vector<float>& values = a->profile.GetPointSet().m_values;
    for (size_t i = 0; i < values.size(); i += 4) xy.insert(xy.end(), {values[i], values[i + 1]});
    CaptureStdout([&] {
        a->profile.SetCurrentEmbeddingResult(
            std::make_unique<Zelvo::EmbeddingResult>(xy.data(), 2, 80, &a->profile.GetPointSet()));
    });
    EXPECT_TRUE(w.radioButton_DimensionValue->isChecked());
    EXPECT_EQ(w.GView->colorMode, "DimensionValue");
    std::vector<float> x;
    for (size_t i = 0; i < values.size(); i += 4) x.push_back(values[i]);
    const std::vector<QRgb> byX = ExpectedColors(a->profile.GetColorMap(), x);
    EXPECT_EQ(a->ItemColors(), byX);

    const struct {
        QRadioButton* radio;
        QString cause;
    } rows[] = {{w.radioButton_PerPointCost, "(GetPerPointCost) - Need implement this!!"},
                {w.radioButton_HighlightNeighbor, "(GetSelectedPointNeighborHood) - Need implement this!!"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cause.toStdString());
        const size_t warnings = dialogs.Calls().size();
        a->Click(row.radio);
        EXPECT_TRUE(w.radioButton_DimensionValue->isChecked());
        EXPECT_EQ(w.GView->colorMode, "DimensionValue");
        EXPECT_EQ(a->ItemColors(), byX);
        ASSERT_EQ(dialogs.Calls().size(), warnings + 1);
        EXPECT_EQ(dialogs.Calls().back().text, row.cause);
    }
}

}  // namespace
