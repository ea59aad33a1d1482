// Deleting points, then going on as a user does: every view must show what a fresh import of the
// kept rows shows with the same clustering, mask and choices.
#include "AppMainFrame.h"
#include "ClusterNode.h"
#include "ClusterNodeItem.h"
#include "DataPropertyWidget.h"
#include "ParallelCoordinateWidget.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewWidget.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

using TestSupport::CaptureStdout;

namespace {

const int kRows = 90, kDims = 4;

// One application window, driven through its menus, panel and view as a user drives them.
struct Window : WindowDriver {
    explicit Window(ScriptedDialogService& dialogs) : WindowDriver(dialogs) { Trigger("Parallel Coordinate"); }
    void KMeans()
    {
        std::srand(0);  // both windows draw the same seeds
        Panel().comboBox_kmeansType->setCurrentIndex(1);
        Panel().spinBox_kmeansClusterNumber->setValue(3);
        Apply(1, 1);
    }
    void Unselect(int dimension)
    {
        Panel().table_DimensionProperty->item(dimension, 0)->setCheckState(Qt::Unchecked);
        Apply(0, 0);
    }
    void Level(int level) { View().comboBox_SelectClusterLevel->setCurrentIndex(level - 1); }
    // Deletes the points of the given rows of the moment (beside what is selected already).
    void Delete(const std::vector<int>& rows)
    {
        for (int row : rows) ItemOfRow(row)->setSelected(true);
        CaptureStdout([&] { View().pushButton_deletePoints->click(); });
        QCoreApplication::processEvents();
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) original.erase(original.begin() + *it);
    }
    // Refines the node that holds the point imported as row `first` of the table.
    void RefineNodeOf(int first)
    {
        const int row = static_cast<int>(std::find(original.begin(), original.end(), first) - original.begin());
        QGraphicsItem* node = ItemOfRow(row)->parentItem();
        Scene().clearSelection();
        node->setSelected(true);
        CaptureStdout([&] { Scene().RefineSelectedClusterNode(); });
    }

    std::vector<int> original;  // per point-set row: its row in the table first imported
};

// What a user sees of the data: per node its members (point-set rows) with their statistics,
// per row its colour, the panel's tables and the parallel coordinates as drawn.
struct Shown {
    std::map<std::vector<int>, std::vector<float>> nodeMeans;
    std::vector<QRgb> colours;
    int panelRows = 0;
    std::vector<QString> dimensionTable;
    QImage coordinates;
};

Shown Look(Window& w)
{
    Shown shown;
    Zelvo::HDpointSet<float>& points = w.frame.GetDataProfile().GetPointSet();
    for (Zelvo::ClusterNodeItem* node : w.Scene().GetNodeItems()) {
        std::vector<int> members;
        for (QGraphicsItem* child : node->childItems())
            if (child->type() == Zelvo::PointGraphicsItem::Type && child->isVisible())
                members.push_back(w.Scene().GetPointSetRows()[static_cast<Zelvo::PointGraphicsItem*>(child)->GetPointIndex()]);
        std::sort(members.begin(), members.end());
        EXPECT_EQ(*node->GetNode()->GetCluster()->GetAllPointIndex(), members) << "the node's cluster is what it holds";
        shown.nodeMeans[members] = node->GetNode()->GetCluster()->GetClusterStatistic(points)->memberMean;
        if (w.View().radioButton_ClusteringResult->isChecked()) {
            for (int row : members)
                EXPECT_EQ((*w.frame.GetDataProfile().GetPointColors())[row], node->GetColor()) << "row " << row;
        }
    }
    for (const QColor& colour : *w.frame.GetDataProfile().GetPointColors()) shown.colours.push_back(colour.rgb());
    shown.panelRows = w.Panel().table_PointProperty->rowCount();
    for (int r = 0; r < w.Panel().table_DimensionProperty->rowCount(); ++r)
        for (int c = 3; c < 7; ++c) shown.dimensionTable.push_back(w.Panel().table_DimensionProperty->item(r, c)->text());
    shown.coordinates = w.frame.GetParallelCoordinate()->grab().toImage();
    return shown;
}

class DeletionJourneyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<float> values = TestSupport::Blobs(kRows, kDims, 3, 2.0f, 7);
        for (int r = 0; r < kRows; ++r) {
            std::ostringstream line;
            for (int d = 0; d < kDims; ++d) line << (d ? "," : "") << values[size_t(r) * kDims + d];
            lines.push_back(line.str());
        }
    }
    // A new data set of the given rows of the table.
    void Import(Window& w, const std::string& name, const std::vector<int>& rows)
    {
        w.original = rows;
        std::ofstream csv(dir.file(name + ".csv"));
        csv << "a,b,c,d\n";
        for (int r : rows) csv << lines[size_t(r)] << '\n';
        csv.close();
        w.Trigger("&New ...", dir.file(name + ".xml"));
        w.Trigger("&Import CSV...", dir.file(name + ".csv"));
    }

    TestSupport::InSourceTree inSourceTree;
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
    std::vector<std::string> lines;
};

using Step = std::function<void(Window&)>;
// A deletion (rows in the numbering of that moment) or a choice the oracle repeats.
struct Action {
    std::vector<int> deleted;
    Step step;
    bool repeatInOracle = true;
};

Action Delete(std::vector<int> rows) { return {std::move(rows), nullptr, false}; }
Action Do(Step step, bool repeat = true) { return {{}, std::move(step), repeat}; }

TEST_F(DeletionJourneyTest, EveryViewMatchesAFreshImportOfTheKeptRows)
{
    const auto restore = [](Window& w) { w.View().pushButton_restoreDefault->click(); };
    const auto meb = [](Window& w) { w.View().checkBox_isMinimalEnclosingBall->toggle(); };
    const auto pca = [](Window& w) { w.Pca(); };
    const auto byDimension = [](Window& w) { w.View().radioButton_DimensionValue->click(); };
    const struct {
        const char* name;
        std::vector<Action> actions;
    } journeys[] = {
        {"delete", {Delete({4, 40, 41})}},
        {"delete, restore", {Delete({0, 89}), Do(restore)}},
        {"delete, level 2", {Delete({10, 11, 12}), Do([](Window& w) { w.Level(2); })}},
        {"delete, MEB", {Delete({30}), Do(meb)}},
        {"delete, new embedding, delete", {Delete({5, 6}), Do(pca), Delete({0, 50, 85})}},
        {"delete, mask, colour by dimension", {Delete({20, 21}), Do([](Window& w) { w.Unselect(1); }), Do(byDimension)}},
        {"delete, new clustering", {Delete({1, 2, 3}), Do([](Window& w) { w.KMeans(); }, false)}},
        {"refine, delete", {Do([](Window& w) { w.RefineNodeOf(10); }), Delete({8, 9})}},
    };
    for (const auto& journey : journeys) {
        SCOPED_TRACE(journey.name);
        Window subject(dialogs);
        std::vector<int> all(kRows);
        for (int r = 0; r < kRows; ++r) all[size_t(r)] = r;
        Import(subject, "subject", all);
        subject.Pca();
        subject.KMeans();
        for (const Action& action : journey.actions) {
            if (action.step) action.step(subject);
            if (!action.deleted.empty()) subject.Delete(action.deleted);
        }
        ASSERT_EQ(subject.frame.GetDataProfile().GetPointSet().GetPointCount(), static_cast<int>(subject.original.size()));

        // The oracle: the kept rows imported afresh, the subject's clustering as it stands now
        // imported as labels and loaded, the same choices made.
        Window oracle(dialogs);
        Import(oracle, "oracle", subject.original);
        oracle.Pca();
        std::vector<int> label(subject.original.size(), -1);
        int next = 0;
        for (Zelvo::hNode* cluster : subject.frame.GetDataProfile().GetCurrentClusteringResult()->GetRoot()->children) {
            for (Zelvo::hNode* leaf : cluster->GetAllChildrenLeafNode())
                for (int row : leaf->pointIndices)
                    if (row < static_cast<int>(label.size())) label[size_t(row)] = next;
            ++next;
        }
        std::ofstream labels(dir.file("labels.txt"));
        for (int l : label) labels << l << '\n';
        labels.close();
        oracle.Trigger("&Import Clustering...", dir.file("labels.txt"));
        auto* load = qobject_cast<QPushButton*>(oracle.Panel().tableWidget_ClusteringResults->cellWidget(0, 1));
        ASSERT_NE(load, nullptr);
        CaptureStdout([&] { load->click(); });
        for (const Action& action : journey.actions)
            if (action.step && action.repeatInOracle) action.step(oracle);
        QCoreApplication::processEvents();

        const Shown seen = Look(subject), truth = Look(oracle);
        EXPECT_EQ(seen.nodeMeans, truth.nodeMeans);
        EXPECT_EQ(seen.colours, truth.colours);
        EXPECT_EQ(seen.panelRows, truth.panelRows);
        EXPECT_EQ(seen.dimensionTable, truth.dimensionTable);
        EXPECT_TRUE(seen.coordinates == truth.coordinates) << "the parallel coordinates differ";
    }
}

}  // namespace
