// The application end to end: the real main window with scripted dialogs, driven as a user
// drives it, checked in every view and on disk.
#include "AppMainFrame.h"
#include "ClusterNodeItem.h"
#include "ClusteringResult.h"
#include "CoordinateAxisItem.h"
#include "DataPropertyWidget.h"
#include "MemoryBudget.h"
#include "ParallelCoordinateWidget.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewWidget.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

using TestSupport::CaptureStdout;
using Zelvo::AppMainFrame;

namespace {

enum Tab { DataTab = 0, ClusteringTab = 1, DimReductionTab = 2 };

// A table of `rows` points whose first column is the row's own number, so a point keeps its
// identity through deletions; the other columns spread the points over the plane.
std::string NumberedTable(int rows)
{
    std::ostringstream csv;
    csv << "id,a,b\n";
    for (int r = 0; r < rows; ++r) csv << r << ',' << (r % 7) * 1.5 + r * 0.01 << ',' << (r / 7) * 2.0 << '\n';
    return csv.str();
}

// The main window as the application shows it, run from the source tree where the colour
// maps are. Every dialog is answered from the script.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<AppMainFrame>();
        window->resize(1800, 1100);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Triggers the action whose dialog is answered with name; returns what was printed.
    std::string Trigger(const QString& text, const std::string& name = "")
    {
        if (!name.empty()) dialogs.AnswerFileName(QString::fromStdString(name));
        QAction* action = nullptr;
        for (QAction* a : window->findChildren<QAction*>())
            if (a->text() == text) action = a;
        EXPECT_NE(action, nullptr) << text.toStdString();
        return action ? CaptureStdout([&] { action->trigger(); }) : std::string();
    }
    void NewAndImport(const std::string& xml, const std::string& csv)
    {
        Trigger("&New ...", xml);
        Trigger("&Import CSV...", csv);
    }
    std::string Apply(int tab, int page)
    {
        Panel().tabWidget->setCurrentIndex(tab);
        QToolBox* boxes[] = {Panel().toolBoxDataView, Panel().toolBoxClustering, Panel().toolBoxDimReduction};
        boxes[tab]->setCurrentIndex(page);
        return CaptureStdout([&] { Panel().pbApply->click(); });
    }
    void Pca() { Apply(DimReductionTab, 0); }
    void KMeans(int k)
    {
        Panel().comboBox_kmeansType->setCurrentIndex(1);
        Panel().spinBox_kmeansClusterNumber->setValue(k);
        Apply(ClusteringTab, 1);
    }

    Zelvo::DataPropertyWidget& Panel() { return *window->GetDataOperationPanel(); }
    Zelvo::ProjectedViewWidget& View() { return *window->GetProjectedView(); }
    Zelvo::ProjectedViewScene& Scene() { return View().GetScene(); }
    Zelvo::ParallelCoordinateWidget& Coordinates() { return *window->GetParallelCoordinate(); }

    int VisiblePoints()
    {
        int count = 0;
        for (const Zelvo::PointGraphicsItem* item : Scene().GetPointItems()) count += item->isVisible();
        return count;
    }
    // Point-set rows the parallel coordinates show selected.
    std::vector<int> CoordinateSelection()
    {
        std::vector<int> rows;
        if (Coordinates().GetAxisItems().empty()) return rows;
        const std::vector<char>& flags = Coordinates().GetAxisItems().front()->GetSelectedFlags();
        for (size_t i = 0; i < flags.size(); ++i)
            if (flags[i]) rows.push_back(static_cast<int>(i));
        return rows;
    }
    // The view nothing of a data set shows in.
    void ExpectEmptyViews()
    {
        EXPECT_TRUE(Scene().GetPointItems().empty());
        EXPECT_TRUE(Scene().GetNodeItems().empty());
        EXPECT_EQ(View().comboBox_SelectClusterLevel->count(), 0);
        EXPECT_EQ(Panel().table_PointProperty->rowCount(), 0);
        EXPECT_EQ(Panel().tableWidget_ClusteringResults->rowCount(), 0);
        EXPECT_TRUE(Coordinates().GetAxisItems().empty());
    }
    // A lasso drawn on the canvas through the scene corners.
    void Lasso(const QRectF& area)
    {
        QGraphicsView* canvas = View().GView;
        const QPoint corners[] = {canvas->mapFromScene(area.topLeft()), canvas->mapFromScene(area.topRight()),
                                  canvas->mapFromScene(area.bottomRight()), canvas->mapFromScene(area.bottomLeft())};
        QTest::mousePress(canvas->viewport(), Qt::LeftButton, Qt::NoModifier, corners[0]);
        for (int k = 1; k <= 4; ++k)
            for (int s = 1; s <= 4; ++s)
                QTest::mouseMove(canvas->viewport(), corners[k - 1] + (corners[k % 4] - corners[k - 1]) * s / 4);
        QTest::mouseRelease(canvas->viewport(), Qt::LeftButton, Qt::NoModifier, corners[0]);
    }

    // The texts of the warnings shown since the call count from.
    QStringList WarningsSince(size_t from)
    {
        QStringList texts;
        for (size_t i = from; i < dialogs.Calls().size(); ++i)
            if (dialogs.Calls()[i].kind == "warning") texts << dialogs.Calls()[i].text;
        return texts;
    }
    QPushButton* LoadButton(int row)
    {
        return qobject_cast<QPushButton*>(Panel().tableWidget_ClusteringResults->cellWidget(row, 1));
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
    std::unique_ptr<AppMainFrame> window;

};

TEST_F(MainWindowTest, StartsWithTheProjectedViewInTheCentreAndTheViewMenuTogglesTheDocks)
{
    EXPECT_EQ(window->centralWidget(), &View());
    const auto docks = window->findChildren<QDockWidget*>();
    ASSERT_EQ(docks.size(), 3);
    for (QDockWidget* dock : docks) {
        SCOPED_TRACE(dock->windowTitle().toStdString());
        EXPECT_EQ(dock->isVisible(), dock->windowTitle() == "Data Operation");
    }
    QDockWidget* panelDock = qobject_cast<QDockWidget*>(Panel().parentWidget());
    ASSERT_NE(panelDock, nullptr);
    EXPECT_EQ(window->dockWidgetArea(panelDock), Qt::LeftDockWidgetArea);

    Trigger("Data Operation");
    EXPECT_FALSE(panelDock->isVisible());
    Trigger("Parallel Coordinate");
    EXPECT_TRUE(window->GetParallelCoordinateDock()->isVisible());
    EXPECT_EQ(window->dockWidgetArea(window->GetParallelCoordinateDock()), Qt::BottomDockWidgetArea);
    Trigger("Show Distortion Analysis View");  // back to the panel and the view alone
    EXPECT_TRUE(panelDock->isVisible());
    EXPECT_FALSE(window->GetParallelCoordinateDock()->isVisible());
    EXPECT_EQ(window->centralWidget(), &View());
}

TEST_F(MainWindowTest, ImportClusterExploreSaveCloseAndReopen)
{
    const std::string xml = dir.file("demo.xml");
    NewAndImport(xml, TestSupport::DataPath("iris.csv"));
    EXPECT_EQ(Panel().table_PointProperty->rowCount(), 150);
    EXPECT_EQ(Panel().table_DimensionProperty->rowCount(), 4);
    EXPECT_EQ(Coordinates().GetAxisItems().size(), 4u);

    Pca();
    EXPECT_EQ(Scene().GetPointItems().size(), 150u);
    KMeans(3);
    ASSERT_EQ(Scene().GetNodeItems().size(), 3u);
    std::set<QRgb> colours;
    for (Zelvo::ClusterNodeItem* node : Scene().GetNodeItems()) colours.insert(node->GetColor().rgb());
    EXPECT_EQ(colours.size(), 3u) << "nodes coloured by cluster";
    EXPECT_GT(View().comboBox_SelectClusterLevel->count(), 0);

    // A lasso around the one cluster whose box holds no other point selects exactly it, and
    // the parallel coordinates, opened from the View menu, light it up.
    Trigger("Parallel Coordinate");
    std::vector<int> cluster;
    QRectF box;
    for (Zelvo::ClusterNodeItem* node : Scene().GetNodeItems()) {
        std::vector<int> members = *node->GetAllChildrenPointIndex();
        QRectF around;
        for (int row : members) around |= QRectF(Scene().GetPointItems()[row]->scenePos(), QSizeF(1e-4, 1e-4));
        around.adjust(-0.05, -0.05, 0.05, 0.05);
        int inside = 0;
        for (const Zelvo::PointGraphicsItem* item : Scene().GetPointItems()) inside += around.contains(item->scenePos());
        if (inside == static_cast<int>(members.size())) {
            cluster = members;
            box = around;
        }
    }
    ASSERT_FALSE(cluster.empty()) << "no cluster stands apart";
    View().GView->fitInView(box.adjusted(-1, -1, 1, 1), Qt::KeepAspectRatio);
    Lasso(box);
    std::sort(cluster.begin(), cluster.end());
    EXPECT_EQ(CoordinateSelection(), cluster);

    Panel().lineEdit_Clustering_IDString->setText("km3");
    CaptureStdout([&] { Panel().pb_SaveClusteringResult->click(); });
    EXPECT_EQ(Panel().tableWidget_ClusteringResults->rowCount(), 1);
    bool saved = false;
    CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "save", Q_RETURN_ARG(bool, saved)); });
    EXPECT_TRUE(saved);
    Trigger("&Close");
    ExpectEmptyViews();

    Trigger("&Open...", xml);
    ASSERT_EQ(Panel().tableWidget_ClusteringResults->rowCount(), 1);
    EXPECT_EQ(Panel().tableWidget_ClusteringResults->item(0, 0)->text(), "km3");
    EXPECT_EQ(Coordinates().GetAxisItems().size(), 4u);
    Pca();
    auto* load = qobject_cast<QPushButton*>(Panel().tableWidget_ClusteringResults->cellWidget(0, 1));
    ASSERT_NE(load, nullptr);
    CaptureStdout([&] { load->click(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(Scene().GetNodeItems().size(), 3u);
}

TEST_F(MainWindowTest, ImportBeforeNewWarnsAndChangesNothing)
{
    Trigger("&Import CSV...", TestSupport::DataPath("iris.csv"));
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[1].kind, "warning");
    EXPECT_EQ(dialogs.Calls()[1].text, "Require to create an empty XML file before import CSV files!");
    ExpectEmptyViews();

    // The other imports and Close before any data set say why and show nothing.
    const std::string out = Trigger("&Import Clustering...", dir.file("none.txt")) +
                            Trigger("&Import Cluster Hierarchy...", dir.file("none.txt")) +
                            Trigger("&Import Subspace Clustering ...") + Trigger("&Close") + Trigger("&Close");
    EXPECT_NE(out.find("Error"), std::string::npos) << out;
    ExpectEmptyViews();
}

TEST_F(MainWindowTest, DeletedPointsAreGoneFromEveryViewAndFromTheSavedFile)
{
    const int rows = 60;
    const std::string csv = dir.file("numbered.csv");
    std::ofstream(csv) << NumberedTable(rows);
    NewAndImport(dir.file("kept.xml"), csv);
    std::vector<int> kept(rows);
    for (int r = 0; r < rows; ++r) kept[r] = r;
    // A clustering stored before the deletion numbers the points as they were.
    Pca();
    KMeans(4);
    Panel().lineEdit_Clustering_IDString->setText("before");
    CaptureStdout([&] { Panel().pb_SaveClusteringResult->click(); });

    // Two rounds, the second after a new embedding, each deleting by the current numbering.
    for (const std::vector<int>& doomed : {std::vector<int>{3, 10, 11, 40}, std::vector<int>{0, 5, 55}}) {
        Pca();
        for (int row : doomed) Scene().GetPointItems()[row]->setSelected(true);
        CaptureStdout([&] { View().pushButton_deletePoints->click(); });
        for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) kept.erase(kept.begin() + *it);
        QCoreApplication::processEvents();
        EXPECT_EQ(VisiblePoints(), static_cast<int>(kept.size()));
        EXPECT_EQ(Panel().table_PointProperty->rowCount(), static_cast<int>(kept.size()));
        ASSERT_FALSE(Coordinates().GetAxisItems().empty());
        EXPECT_EQ(Coordinates().GetAxisItems().front()->GetMappedValues().size(), kept.size());
    }
    // One clicked point fills the panel's point view with the point it shows now.
    View().GView->fitInView(Scene().itemsBoundingRect(), Qt::KeepAspectRatio);
    const int shown = 7, row = Scene().GetPointSetRows()[shown];
    ASSERT_GE(row, 0);
    QTest::mouseClick(View().GView->viewport(), Qt::LeftButton, Qt::NoModifier,
                      View().GView->mapFromScene(Scene().GetPointItems()[shown]->scenePos()));
    ASSERT_EQ(Panel().table_PointValue->rowCount(), 3);
    EXPECT_EQ(Panel().table_PointValue->item(0, 1)->text(), QString::number(kept[row]));

    bool saved = false;
    CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "save", Q_RETURN_ARG(bool, saved)); });
    ASSERT_TRUE(saved);

    // The same as a fresh import of the rows kept.
    std::istringstream all(NumberedTable(rows));
    std::string line, keptCsv;
    std::getline(all, line);
    keptCsv = line + "\n";
    for (int r = 0; std::getline(all, line); ++r)
        if (std::binary_search(kept.begin(), kept.end(), r)) keptCsv += line + "\n";
    std::ofstream(dir.file("fresh.csv")) << keptCsv;
    Zelvo::HDfileIO fresh;
    CaptureStdout([&] {
        ASSERT_TRUE(fresh.CreateNewEmptyHDdataSet(dir.file("fresh.xml").c_str()));
        ASSERT_TRUE(fresh.ImportDataFromCSV(dir.file("fresh.csv").c_str()));
    });
    EXPECT_EQ(TestSupport::ReadFile(dir.file("kept.bin")), TestSupport::ReadFile(dir.file("fresh.bin")));

    // Reopened, the kept points come back; the older clustering is refused, not misplaced.
    Trigger("&Open...", dir.file("kept.xml"));
    EXPECT_EQ(Panel().table_PointProperty->rowCount(), static_cast<int>(kept.size()));
    Pca();
    ASSERT_EQ(Panel().tableWidget_ClusteringResults->rowCount(), 1);
    auto* load = qobject_cast<QPushButton*>(Panel().tableWidget_ClusteringResults->cellWidget(0, 1));
    ASSERT_NE(load, nullptr);
    const std::string out = CaptureStdout([&] { load->click(); });
    EXPECT_NE(out.find("Error"), std::string::npos) << out;
    EXPECT_TRUE(Scene().GetNodeItems().empty());
    const std::vector<float>& values = window->GetDataProfile().GetPointSet().m_values;
    ASSERT_EQ(values.size(), kept.size() * 3);
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(values[i * 3], float(kept[i]));
}

TEST_F(MainWindowTest, ASecondDataSetShowsNothingOfTheFirst)
{
    // Two data sets in one directory whose names differ only after a dot keep their own files.
    const std::string first = dir.file("set.xml"), second = dir.file("set.v2.xml");
    NewAndImport(first, TestSupport::DataPath("iris.csv"));
    Pca();
    KMeans(3);
    Panel().lineEdit_Clustering_IDString->setText("iris3");
    CaptureStdout([&] { Panel().pb_SaveClusteringResult->click(); });
    std::ofstream(dir.file("numbered.csv")) << NumberedTable(20);
    NewAndImport(second, dir.file("numbered.csv"));
    EXPECT_EQ(TestSupport::ReadFile(dir.file("set.bin")).size(), 150u * 4 * 4);
    EXPECT_EQ(TestSupport::ReadFile(dir.file("set.v2.bin")).size(), 20u * 3 * 4);

    Trigger("&Open...", first);
    Pca();
    KMeans(3);
    ASSERT_EQ(Scene().GetNodeItems().size(), 3u);
    Trigger("&Open...", second);
    EXPECT_TRUE(Scene().GetPointItems().empty());
    EXPECT_TRUE(Scene().GetNodeItems().empty());
    EXPECT_EQ(View().comboBox_SelectClusterLevel->count(), 0);
    EXPECT_EQ(View().comboBox_ScalarFunctionSelection->count(), 3);
    EXPECT_EQ(Panel().table_PointProperty->rowCount(), 20);
    EXPECT_EQ(Panel().tableWidget_ClusteringResults->rowCount(), 0);
    EXPECT_EQ(Coordinates().GetAxisItems().size(), 3u);
    Pca();
    EXPECT_EQ(Scene().GetPointItems().size(), 20u);

    Trigger("&Close");
    Trigger("&Close");
    ExpectEmptyViews();

    // A new data set saved before any import holds nothing of the points still in the profile.
    Trigger("&New ...", dir.file("empty.xml"));
    bool saved = false;
    CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "save", Q_RETURN_ARG(bool, saved)); });
    EXPECT_TRUE(saved);
    EXPECT_EQ(TestSupport::ReadFile(dir.file("empty.xml")).find("dim0"), std::string::npos);
}

TEST_F(MainWindowTest, SubspaceClusteringImportsIntoTheTransitionModel)
{
    std::ofstream(dir.file("numbered.csv")) << NumberedTable(12);
    // Labels of two subspaces and their bases, beside the label file.
    const auto writeImport = [&](int basisRows) {
        std::ofstream labels(dir.file("sub_labels.txt"));
        for (int r = 0; r < 12; ++r) labels << 1 + r % 2 << '\n';
        std::ofstream one(dir.file("sub_Sub1_Basis.csv")), two(dir.file("sub_Sub2_Basis.csv"));
        for (int r = 0; r < basisRows; ++r) {
            one << (r == 0) << ',' << (r == 1) << ',' << (r == 2) << '\n';
            two << (r == 1) << ',' << (r == 2) << '\n';
        }
    };
    Zelvo::SubspaceTransitionGraphModel& model = window->GetSubspaceTransitionGraphModel();
    writeImport(3);
    EXPECT_NE(Trigger("&Import Subspace Clustering ...").find("Error"), std::string::npos);
    EXPECT_TRUE(model.subspaceOverviews.empty()) << "nothing to project before a data set";

    NewAndImport(dir.file("sub.xml"), dir.file("numbered.csv"));
    writeImport(4);  // one row too many for three dimensions
    EXPECT_NE(Trigger("&Import Subspace Clustering ...", dir.file("sub_labels.txt")).find("Error"),
              std::string::npos);
    EXPECT_TRUE(model.subspaceOverviews.empty());

    writeImport(3);
    Trigger("&Import Subspace Clustering ...", dir.file("sub_labels.txt"));
    ASSERT_EQ(model.subspaceOverviews.size(), 2u);
    ASSERT_EQ(model.subspaceViews.size(), 2u);
    EXPECT_EQ(model.subspaceViews[0].size(), 3u);  // the pairs of three basis columns
    EXPECT_EQ(model.subspaceViews[1].size(), 1u);
}

// Each failing operation says why in one warning, in the words of the line it printed, and
// leaves what was shown; an operation whose result is not what was asked warns too.
TEST_F(MainWindowTest, FailingOperationsSayWhyInOneWarning)
{
    const std::string notXml = dir.file("notes.xml"), empty = dir.file("empty.csv"), header = dir.file("header.csv"),
                      labels = dir.file("labels.txt"), missing = dir.file("missing.csv");
    std::ofstream(notXml) << "plain text\n";
    std::ofstream{empty};
    std::ofstream(header) << "a,b\n";
    {
        std::ofstream out(labels);
        for (int i = 0; i < 150; ++i) out << i % 3 << '\n';
    }
    const Zelvo::EmbeddingResult* shown = nullptr;
    const auto keepsEmbedding = [&] { EXPECT_EQ(window->GetDataProfile().GetCurrentEmbeddingResult(), shown); };
    struct Case {
        std::function<void()> run;
        std::string warning;  // what the warning starts with; "" for none
        std::function<void()> check;
    };
    const Case cases[] = {
        {[&] { Trigger("&Import Subspace Clustering ..."); },
         "Error: load a data set before importing a subspace clustering", nullptr},
        {[&] { Trigger("&Import CSV...", empty); }, "Require to create an empty XML file before import CSV files!",
         nullptr},
        {[&] { Trigger("&Open...", notXml); }, "Error in opening: " + notXml + " file", nullptr},
        {[&] { Trigger("&New ...", dir.file("t.xml")); }, "", nullptr},
        {[&] { Trigger("&Import CSV...", missing); },
         "Error in reading: " + missing + "\nError: No data to import from " + missing + ": the file can't be read",
         nullptr},
        {[&] { Trigger("&Import CSV...", empty); }, "Error: No data to import from " + empty + ": the file is empty",
         nullptr},
        {[&] { Trigger("&Import CSV...", header); },
         "Error: No data to import from " + header + ": no row of data below the header was kept",
         [&] { ExpectEmptyViews(); }},
        {[&] { Trigger("&Import CSV...", TestSupport::DataPath("iris.csv")); }, "", nullptr},
        {[&] { Trigger("&Import Clustering...", labels); }, "", nullptr},
        {[&] { Trigger("&Import Clustering...", missing); },
         "Import Clustering of " + missing + " failed.", nullptr},
        {[&] { Trigger("&Import Cluster Hierarchy...", missing); }, "File not exist or empty", nullptr},
        {[&] { Apply(ClusteringTab, 3); }, "DataPropertyWidget: Do not have a embedding result", nullptr},
        {[&] { CaptureStdout([&] { LoadButton(0)->click(); }); }, "Error: No existing embeddingResult!", nullptr},
        {[&] { Pca(); shown = window->GetDataProfile().GetCurrentEmbeddingResult(); }, "", nullptr},
        {[&] { Apply(DimReductionTab, 3); },
         "Error: Laplacian eigenmaps: 1 of 150 points have no mutual neighbour", keepsEmbedding},
        {[&] { Apply(DimReductionTab, 2); }, "Warning: the graph of the 10 nearest neighbours has 2 components",
         [&] { EXPECT_NE(window->GetDataProfile().GetCurrentEmbeddingResult(), shown); }},
        {[&] {
             View().lineEdit_KDEbandWidth->setText("0");
             CaptureStdout([&] { View().radioButton_KDE->click(); });
         },
         "Error: KDE distortion needs a finite bandwidth above 0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        const size_t before = dialogs.Calls().size();
        c.run();
        const QStringList warnings = WarningsSince(before);
        if (c.warning.empty()) {
            EXPECT_TRUE(warnings.isEmpty()) << warnings.join("|").toStdString();
        } else {
            ASSERT_EQ(warnings.size(), 1) << warnings.join("|").toStdString();
            EXPECT_TRUE(warnings[0].startsWith(QString::fromStdString(c.warning))) << warnings[0].toStdString();
            EXPECT_EQ(dialogs.Calls().back().parent->window(), window.get());
        }
        if (c.check) c.check();
    }
}

// A line the user would not see otherwise stays in the status bar until the next operation.
TEST_F(MainWindowTest, AWarningOutsideAnOperationStaysInTheStatusBarUntilTheNext)
{
    NewAndImport(dir.file("s.xml"), TestSupport::DataPath("iris.csv"));
    Pca();
    KMeans(3);
    Panel().lineEdit_Clustering_IDString->setText("km");
    const size_t before = dialogs.Calls().size();
    for (int i = 0; i < 2; ++i) CaptureStdout([&] { Panel().pb_SaveClusteringResult->click(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(window->GetStatusLine()->text(), "Warning: Entry already existed, replace the existing entry");
    EXPECT_TRUE(window->GetStatusLine()->isVisible());
    EXPECT_EQ(dialogs.Calls().size(), before);
    Pca();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->GetStatusLine()->text(), "");
}

// An import says what it did to the data: rows it skipped and fields it read as 0, with their
// counts and the first of them, and a header that was surely meant to be split elsewhere.
TEST_F(MainWindowTest, ImportsSayWhatTheyChanged)
{
    struct Case {
        std::string csv;
        std::vector<std::string> warning;  // its lines, with @ for the file's path
        std::vector<float> values;         // what was imported, row after row
    };
    const Case cases[] = {
        {"a,b,c\n1,2,3\n4,,6\n7,8\nx,nan,inf\n 9,  ,1\n10,11,12\n",
         {"Warning: 3 fields of @ are not numbers and read as 0; the first is \"x\" in line 5, column 1",
          "Warning: 2 rows of @ have missing data and were skipped; the first is line 3: \"4,,6\"",
          "Warning: 1 rows of @ do not have 3 fields and were skipped; the first is line 4: \"7,8\""},
         {1, 2, 3, 0, 0, 0, 10, 11, 12}},
        {"a;b;c\n1;2;3\n4;5;6\n",
         {"Warning: the header of @ is read as one column \"a;b;c\": ';' and tab do not separate columns, ',' does"},
         {1, 4}},
        {"a\tb\n1\t2\n", {"Warning: the header of @ is read as one column \"a\tb\": ';' and tab do not separate "
                          "columns, ',' does"}, {1}},
        {"a,b\n1,2\n", {}, {1, 2}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string csv = dir.file("in" + std::to_string(++n) + ".csv");
        std::ofstream(csv) << c.csv;
        QStringList expected;
        for (std::string line : c.warning) expected << QString::fromStdString(line.replace(line.find('@'), 1, csv));
        const size_t before = dialogs.Calls().size();
        NewAndImport(dir.file("in" + std::to_string(n) + ".xml"), csv);
        EXPECT_EQ(WarningsSince(before), expected.isEmpty() ? QStringList() : QStringList{expected.join('\n')});
        EXPECT_EQ(window->GetDataProfile().GetPointSet().m_values, c.values) << c.csv;
    }
}

// A lasso in progress when the scene is rebuilt ends with it; nothing is freed twice.
TEST_F(MainWindowTest, ALassoInProgressEndsWhenTheSceneIsRebuilt)
{
    const std::string xml = dir.file("lasso.xml");
    NewAndImport(xml, TestSupport::DataPath("iris.csv"));
    CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "save"); });
    const std::function<void()> rebuilds[] = {
        [&] { Trigger("&Close"); },
        [&] { Trigger("&Open...", xml); },
        [&] { Pca(); },
        [&] { CaptureStdout([&] { View().checkBox_isMinimalEnclosingBall->toggle(); }); },
    };
    Zelvo::ProjectedViewGraphicsView* canvas = View().GView;
    const QPoint empty(3, 3);
    for (const auto& rebuild : rebuilds) {
        Pca();
        ASSERT_EQ(canvas->itemAt(empty), nullptr);
        QTest::mousePress(canvas->viewport(), Qt::LeftButton, Qt::NoModifier, empty);
        QTest::mouseMove(canvas->viewport(), empty + QPoint(40, 0));
        ASSERT_TRUE(canvas->IsLassoActive());
        rebuild();  // the release never reaches the view before it
        EXPECT_FALSE(canvas->IsLassoActive());
        for (QGraphicsItem* item : Scene().items()) EXPECT_NE(item->type(), QGraphicsPolygonItem::Type);
        QTest::mouseMove(canvas->viewport(), empty + QPoint(40, 40));
        QTest::mouseRelease(canvas->viewport(), Qt::LeftButton, Qt::NoModifier, empty + QPoint(40, 40));
    }
    EXPECT_TRUE(WarningsSince(0).isEmpty()) << WarningsSince(0).join("|").toStdString();
}

// A data set whose point file is damaged or missing does not load: the window says so and is
// left as after Close, and neither Save nor Save As writes anything of it.
TEST_F(MainWindowTest, ADataSetThatFailsToLoadIsNeverSaved)
{
    const std::string xml = dir.file("iris.xml"), bin = dir.file("iris.bin"), copy = dir.file("copy.xml");
    NewAndImport(xml, TestSupport::DataPath("iris.csv"));
    CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "save"); });
    const std::string points = TestSupport::ReadFile(bin);
    ASSERT_EQ(points.size(), 150u * 4 * 4);
    struct Case {
        std::function<void()> damage;
        std::string cause;
    };
    const Case cases[] = {
        {[&] { TestSupport::WriteFile(bin, points.substr(0, points.size() - 4)); },
         "ReadHDPointSet::Error " + bin + " holds 2396 bytes, 2400 needed"},
        {[&] { std::remove(bin.c_str()); }, "ReadHDPointSet::Error Can't Open the BinrayFile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        Trigger("&Open...", xml);
        Pca();
        ASSERT_FALSE(Scene().GetPointItems().empty());
        c.damage();
        const std::string description = TestSupport::ReadFile(xml), damaged = TestSupport::ReadFile(bin);
        size_t before = dialogs.Calls().size();
        Trigger("&Open...", xml);
        const std::string unread = c.cause + "\n[DataProfile] Error: Can't read the data set " + xml;
        EXPECT_EQ(WarningsSince(before), QStringList{QString::fromStdString(unread)});
        ExpectEmptyViews();
        EXPECT_EQ(window->GetDataProfile().GetCurrentEmbeddingResult(), nullptr);

        before = dialogs.Calls().size();
        bool saved = true;
        CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "save", Q_RETURN_ARG(bool, saved)); });
        EXPECT_FALSE(saved);
        dialogs.AnswerFileName(QString::fromStdString(copy));
        CaptureStdout([&] { QMetaObject::invokeMethod(window.get(), "saveAs", Q_RETURN_ARG(bool, saved)); });
        EXPECT_FALSE(saved);
        const QString refused = QString::fromStdString("Error: " + xml + " did not load; nothing is saved");
        EXPECT_EQ(WarningsSince(before), (QStringList{refused, refused}));
        // Nor does the file object shorten the point file from points that were never read.
        CaptureStdout([&] { EXPECT_FALSE(window->GetDataProfile().SaveHDpointSet()); });
        EXPECT_EQ(TestSupport::ReadFile(xml), description);
        // Nor is a clustering stored beside it, which would rewrite the description.
        Trigger("&Import Cluster Hierarchy...", TestSupport::DataPath("iris.csv"));
        EXPECT_EQ(WarningsSince(before).back().toStdString(),
                  "Error: " + xml + " did not load; nothing is imported into it");
        EXPECT_EQ(TestSupport::ReadFile(xml), description);
        EXPECT_EQ(TestSupport::ReadFile(bin), damaged);
        EXPECT_FALSE(std::ifstream(copy).good());
        TestSupport::WriteFile(bin, points);
    }
}

// A large data set under every distortion colouring: each either colours the points or, when
// it would need more memory than it may take, says so and leaves the colours as they were.
TEST_F(MainWindowTest, EveryDistortionColouringOfALargeSetColoursOrRefuses)
{
    const int rows = 6000;
    const std::vector<float> values = TestSupport::Blobs(rows, 4, 5, 3.0f, 3);
    std::ofstream csv(dir.file("large.csv"));
    csv << "a,b,c,d\n";
    for (int r = 0; r < rows; ++r)
        csv << values[4 * r] << ',' << values[4 * r + 1] << ',' << values[4 * r + 2] << ',' << values[4 * r + 3] << '\n';
    csv.close();
    NewAndImport(dir.file("large.xml"), dir.file("large.csv"));
    Pca();
    KMeans(5);
    const auto colours = [&] { return *window->GetDataProfile().GetPointColors(); };
    const std::vector<QColor> clustered = colours();
    ASSERT_EQ(clustered.size(), size_t(rows));
    View().checkBox_EnableCoranking->setChecked(true);
    QRadioButton* const measures[] = {View().radioButton_Stress, View().radioButton_RobustDistance,
                                      View().radioButton_KDE, View().radioButton_Coranking};
    TestSupport::BudgetScope budget;
    for (size_t limit : {size_t(4) << 20, size_t(0)}) {
        Zelvo::MemoryBudget::SetLimit(limit);
        for (QRadioButton* measure : measures) {
            SCOPED_TRACE(measure->text().toStdString() + (limit ? " refused" : " coloured"));
            View().radioButton_ClusteringResult->click();
            const size_t before = dialogs.Calls().size();
            CaptureStdout([&] { measure->click(); });
            const QStringList warnings = WarningsSince(before);
            // Co-ranking keeps only each point's nearest ranks, which fit even the small budget.
            if (limit && measure != View().radioButton_Coranking) {
                ASSERT_EQ(warnings.size(), 1);
                EXPECT_TRUE(warnings[0].contains("MB allowed")) << warnings[0].toStdString();
                EXPECT_EQ(colours(), clustered);
            } else {
                EXPECT_TRUE(warnings.isEmpty()) << warnings.join("|").toStdString();
                EXPECT_NE(colours(), clustered);
            }
        }
    }
    // Nor does a measure start by itself on the next data set's first embedding.
    Trigger("&Close");
    EXPECT_TRUE(View().radioButton_DimensionValue->isChecked());
}

}  // namespace

namespace {

// Save and Save As each write the dimension selection of the moment; Import CSV is refused for
// a data set that was opened rather than created.
TEST_F(MainWindowTest, SaveAndSaveAsEachWriteTheSelectionAndOnlyANewSetImports)
{
    const std::string csv = dir.file("numbered.csv"), xml = dir.file("set.xml"), copy = dir.file("copy.xml");
    std::ofstream(csv) << NumberedTable(20);
    NewAndImport(xml, csv);
    // Each save after a change of its own, Save As first: the file object holds nothing of it yet.
    const struct {
        const char* action;
        std::string path;
        int unselected;
        const char* masks[3];
    } saves[] = {
        {"&Save As...", copy, 1, {"dimMask0=\"True\"", "dimMask1=\"False\"", "dimMask2=\"True\""}},
        {"&Save", xml, 2, {"dimMask0=\"True\"", "dimMask1=\"False\"", "dimMask2=\"False\""}},
    };
    for (const auto& save : saves) {
        SCOPED_TRACE(save.action);
        Panel().table_DimensionProperty->item(save.unselected, 0)->setCheckState(Qt::Unchecked);
        Apply(DataTab, 0);
        Trigger(save.action, save.path == copy ? copy : "");
        const std::string text = TestSupport::ReadFile(save.path);
        for (const char* mask : save.masks) EXPECT_NE(text.find(mask), std::string::npos) << mask;
    }

    Trigger("&Open...", xml);
    const size_t before = dialogs.Calls().size();
    Trigger("&Import CSV...", csv);
    EXPECT_EQ(WarningsSince(before), QStringList{"Require to create an empty XML file before import CSV files!"});
    EXPECT_EQ(window->GetHDfileIO().GetFullPath(), xml);
    EXPECT_EQ(Panel().table_PointProperty->rowCount(), 20);
}

// One selected point fills the panel's point view; a selection of several leaves it as it was.
TEST_F(MainWindowTest, OnlyASelectionOfOnePointFillsThePointView)
{
    const std::string csv = dir.file("numbered.csv");
    std::ofstream(csv) << NumberedTable(30);
    NewAndImport(dir.file("set.xml"), csv);
    Pca();
    QTableWidget* values = Panel().table_PointValue;
    const auto shown = [&] { return values->rowCount() > 0 ? values->item(0, 1)->text() : QString(); };
    const auto select = [&](const std::vector<int>& items) {
        Scene().clearSelection();
        for (int i : items) Scene().GetPointItems()[i]->setSelected(true);
        CaptureStdout([&] { emit View().PointSelectionChanged(); });
    };
    const struct {
        std::vector<int> items;
        QString id;  // the first column of the point shown
    } rows[] = {{{4}, "4"}, {{9, 17}, "4"}, {{22}, "22"}, {{3, 5, 7}, "22"}, {{}, "22"}, {{0}, "0"}};
    for (const auto& row : rows) {
        select(row.items);
        EXPECT_EQ(shown(), row.id) << row.items.size() << " selected";
    }
}

}  // namespace
