#include "DataOperationController.h"
#include "DataProfile.h"
#include "DataPropertyWidget.h"
#include "HDfileIO.h"
#include "IsomapEmbeddingResult.h"
#include "LaplacianEigenmapEmbeddingResult.h"
#include "LinearProjectionEmbeddingResult.h"
#include "LocalLinearEmbeddingEmbeddingResult.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <fstream>
#include <typeinfo>

using TestSupport::CaptureStdout;
using Zelvo::DataProfile;
using Zelvo::DataPropertyWidget;

namespace {

enum Tab { DataTab = 0, ClusteringTab = 1, DimReductionTab = 2 };

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

QStringList Column(QTableWidget* table, int column)
{
    QStringList texts;
    for (int r = 0; r < table->rowCount(); ++r) texts << (table->item(r, column) ? table->item(r, column)->text() : "");
    return texts;
}

QStringList Items(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

// A panel inside a stand-in for its dock, given data sets as the main window gives them.
// Runs from the source directory, where the colour maps are found.
class DataPropertyWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel = new DataPropertyWidget(&dock);
        (new QVBoxLayout(&dock))->addWidget(panel);
        dock.show();
        controller.SetDataProfile(&profile);
    }

    // Imports a CSV file (a test data set's name, or a path) into a new data set.
    void Open(const std::string& csv)
    {
        const bool shared = csv.find('/') == std::string::npos;
        const std::string path = shared ? TestSupport::DataPath(csv) : csv;
        const std::string xml = dir.file(path.substr(path.rfind('/') + 1) + ".xml");
        bool opened = false;
        const std::string out = CaptureStdout([&] {
            opened = io.CreateNewEmptyHDdataSet(xml.c_str()) && io.ImportDataFromCSV(path.c_str()) &&
                     profile.SetHDfileIO(&io);
            profile.SetDataSetPath(xml);
            panel->SetModelController(&profile, &controller);
        });
        ASSERT_TRUE(opened) << out;
    }
    std::string Apply(int tab, int page, QPushButton* button = nullptr)
    {
        panel->tabWidget->setCurrentIndex(tab);
        QToolBox* boxes[] = {panel->toolBoxDataView, panel->toolBoxClustering, panel->toolBoxDimReduction};
        boxes[tab]->setCurrentIndex(page);
        return CaptureStdout([&] { (button ? button : panel->pbApply)->click(); });
    }
    void Embed() { Apply(DimReductionTab, 0); }
    QPushButton* Button(int row, int column)
    {
        return qobject_cast<QPushButton*>(panel->tableWidget_ClusteringResults->cellWidget(row, column));
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    TestSupport::TempDir dir;
    ScriptedDialogService dialogs;
    Zelvo::HDfileIO io;
    DataProfile profile;
    Zelvo::DataOperationController controller;
    QWidget dock;
    DataPropertyWidget* panel = nullptr;

};

TEST_F(DataPropertyWidgetTest, DataTablesShowThePointSet)
{
    Open("iris.csv");
    EXPECT_EQ(panel->textEdit_filePath->text().toStdString(), dir.file("iris.csv.xml"));

    // Statistics of iris (population variance) with 4 significant digits, from numpy.
    QTableWidget* dims = panel->table_DimensionProperty;
    ASSERT_EQ(dims->rowCount(), 4);
    EXPECT_EQ(Column(dims, 1), (QStringList{"sepal length (cm)", "sepal width (cm)", "petal length (cm)",
                                            "petal width (cm)"}));
    EXPECT_EQ(Column(dims, 3), (QStringList{"4.3", "2", "1", "0.1"}));
    EXPECT_EQ(Column(dims, 4), (QStringList{"7.9", "4.4", "6.9", "2.5"}));
    EXPECT_EQ(Column(dims, 5), (QStringList{"5.843", "3.057", "3.758", "1.199"}));
    EXPECT_EQ(Column(dims, 6), (QStringList{"0.6811", "0.1887", "3.096", "0.5771"}));
    for (int d = 0; d < 4; ++d) EXPECT_EQ(dims->item(d, 0)->checkState(), Qt::Checked);

    QTableWidget* points = panel->table_PointProperty;
    ASSERT_EQ(points->rowCount(), 150);
    EXPECT_EQ(points->item(149, 1)->text(), "149");
    EXPECT_EQ(points->item(149, 0)->checkState(), Qt::Checked);

    // Clicking the row header of point 7 shows its raw values.
    panel->toolBoxDataView->setCurrentIndex(1);
    points->scrollToItem(points->item(7, 0));
    QApplication::processEvents();
    QHeaderView* header = points->verticalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->width() / 2, header->sectionViewportPosition(7) + header->sectionSize(7) / 2));
    EXPECT_EQ(Column(panel->table_PointValue, 1), (QStringList{"5", "3.4", "1.5", "0.2"}));
    EXPECT_EQ(Column(panel->table_PointValue, 0), Column(dims, 1));

    // A stale index shows nothing rather than values past the set.
    for (int stale : {150, -1}) {
        panel->UpdatePointView(stale);
        EXPECT_EQ(panel->table_PointValue->rowCount(), 0);
    }
}

TEST_F(DataPropertyWidgetTest, MaskApplySignalsOncePerDimensionAndPerChangedBit)
{
    Open("iris.csv");
    QSignalSpy changed(&profile, &DataProfile::PointSetChanged);
    panel->table_DimensionProperty->item(1, 0)->setCheckState(Qt::Unchecked);
    panel->table_DimensionProperty->item(3, 0)->setCheckState(Qt::Unchecked);
    Apply(DataTab, 0);
    EXPECT_EQ(changed.count(), 4 + 2);
    EXPECT_EQ(profile.GetPointSet().m_dimMask, (std::vector<bool>{true, false, true, false}));
    changed.clear();
    Apply(DataTab, 0);
    EXPECT_EQ(changed.count(), 4);
}

TEST_F(DataPropertyWidgetTest, SecondDataSetReplacesTheListsAndKeepsOneConnection)
{
    Open("iris.csv");
    const std::string csv = dir.file("small.csv");
    std::ofstream(csv) << "a,b,c\n12.345,0.00012345,123456\n1,2,3\n";
    Open(csv);
    for (QComboBox* box : {panel->comboBox_dimIndexX, panel->comboBox_dimIndexY, panel->comboBox_OutputDimension})
        EXPECT_EQ(Items(box), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(Column(panel->table_DimensionProperty, 1), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(panel->table_PointProperty->rowCount(), 2);
    panel->UpdatePointView(0);
    EXPECT_EQ(Column(panel->table_PointValue, 1), (QStringList{"12.3", "0.000123", "1.23e+05"}));

    QSignalSpy rebuilt(panel->tableWidget_ClusteringResults->model(), &QAbstractItemModel::modelReset);
    CaptureStdout([&] { emit profile.ClusteringResultEntryChanged(); });
    EXPECT_EQ(rebuilt.count(), 1);
}

// Each tab and page runs its own operation, or nothing.
TEST_F(DataPropertyWidgetTest, ApplyRunsTheOperationOfTheCurrentPage)
{
    Open("iris.csv");
    Embed();
    panel->spinBox_kmeansClusterNumber->setValue(3);
    panel->spinBox_SpectralClusterNumber->setValue(3);
    panel->spinBox_SubspaceClusterNumber->setValue(3);
    panel->comboBox_dimIndexY->setCurrentIndex(2);
    dialogs.AnswerWarning(QMessageBox::Ok);
    // Setosa lies apart: only a neighbourhood wider than its 50 points joins the graph.
    panel->lineEdit_NeighborSize_Isomap->setText("60");
    panel->lineEdit_NeighborSize_LE->setText("60");

    struct Case {
        int tab, page;
        const std::type_info* embedding;  // the embedding made, if any
        const char* line;                 // a line only this operation prints; "" for none
    };
    const Case cases[] = {
        {DataTab, 1, nullptr, ""},
        {ClusteringTab, 0, nullptr, ""},
        {ClusteringTab, 1, nullptr, "Applying kmeans clustering"},
        {ClusteringTab, 2, nullptr, "Morse-smale complex calculation is not enabled!"},
        {ClusteringTab, 3, nullptr, "Apply Spectral Clustering"},
        {ClusteringTab, 4, nullptr, "Apply Subspace Clustering"},
        {ClusteringTab, 5, nullptr, ""},
        {DimReductionTab, 0, &typeid(Zelvo::LinearProjectionEmbeddingResult), "Data matrix Row"},
        {DimReductionTab, 1, &typeid(Zelvo::classicMDSEmbeddingResult), ""},
        {DimReductionTab, 2, &typeid(Zelvo::IsomapEmbeddingResult), ""},
        {DimReductionTab, 3, &typeid(Zelvo::LaplacianEigenmapEmbeddingResult), "LE: tau:30.000000  neighborSize: 60"},
        {DimReductionTab, 4, &typeid(Zelvo::LocalLinearEmbeddingEmbeddingResult), ""},
        {DimReductionTab, 5, &typeid(Zelvo::LinearProjectionEmbeddingResult), "Axis Aligned projection"},
        {DimReductionTab, 6, nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tab " << c.tab << " page " << c.page);
        QSignalSpy embedded(&profile, &DataProfile::CurrentEmbeddingResultChanged);
        QSignalSpy clustered(&profile, &DataProfile::CurrentClusteringResultChanged);
        const size_t dialogsBefore = dialogs.Calls().size();
        const std::string out = Apply(c.tab, c.page);

        const bool clusters = c.tab == ClusteringTab && c.page != 2 && c.page != 5;
        EXPECT_EQ(clustered.count(), clusters ? 1 : 0);
        EXPECT_EQ(embedded.count(), c.embedding ? 1 : 0);
        if (c.embedding) {
            EXPECT_EQ(typeid(*profile.GetCurrentEmbeddingResult()), *c.embedding);
        }
        if (*c.line) {
            EXPECT_NE(out.find(c.line), std::string::npos) << out;
        } else if (!clusters && !c.embedding) {
            EXPECT_EQ(out, "");
        }
        EXPECT_EQ(dialogs.Calls().size() - dialogsBefore, c.page == 2 && c.tab == ClusteringTab ? 1u : 0u)
            << dialogs.Calls().back().text.toStdString();
    }
    const Zelvo::EmbeddingResult* axis = profile.GetCurrentEmbeddingResult();
    // The axis-aligned projection centres each axis on its mean: point 7 is (5.0, 1.5).
    EXPECT_NEAR(axis->originalPositions[7 * 2], 5.0 - 5.843333, 1e-5);
    EXPECT_NEAR(axis->originalPositions[7 * 2 + 1], 1.5 - 3.758, 1e-5);

    ASSERT_TRUE(dialogs.ScriptUsedUp());
    const ScriptedDialogService::Call& warning = dialogs.Calls().front();
    EXPECT_EQ(warning.parent, panel);
    EXPECT_EQ(warning.caption + "|" + warning.text,
              "Warning: Compoment Missing|Morse-smale complex calculation is not enabled during the compiling!");
}

TEST_F(DataPropertyWidgetTest, OkayAppliesAndHidesTheDockCancelOnlyHides)
{
    Open("iris.csv");
    QSignalSpy embedded(&profile, &DataProfile::CurrentEmbeddingResultChanged);
    Apply(DimReductionTab, 0, panel->pbCancel);
    EXPECT_FALSE(dock.isVisible());
    EXPECT_EQ(embedded.count(), 0);
    dock.show();
    Apply(DimReductionTab, 0, panel->pbOkay);
    EXPECT_FALSE(dock.isVisible());
    EXPECT_EQ(embedded.count(), 1);
}

TEST_F(DataPropertyWidgetTest, ClusteringNeedsAnEmbeddingFirst)
{
    Open("iris.csv");
    for (int page : {0, 1, 3, 4}) {
        SCOPED_TRACE(page);
        QSignalSpy clustered(&profile, &DataProfile::CurrentClusteringResultChanged);
        const std::string out = Apply(ClusteringTab, page);
        EXPECT_EQ(out, "DataPropertyWidget: Do not have a embedding result\n");
        EXPECT_EQ(clustered.count(), 0);
    }
}

TEST_F(DataPropertyWidgetTest, FormValuesReachTheEngines)
{
    Open("iris.csv");
    // A neighbour count that is no number reads as 0, which the engine refuses.
    panel->lineEdit_NeighborSize_Isomap->setText("abc");
    std::string out = Apply(DimReductionTab, 2);
    EXPECT_NE(out.find("Error: number of neighbors 0 is outside 1..149"), std::string::npos) << out;
    EXPECT_EQ(profile.GetCurrentEmbeddingResult(), nullptr);

    panel->lineEdit_Tau_heatKernel_LE->clear();
    out = Apply(DimReductionTab, 3);
    EXPECT_NE(out.find("LE: tau:0.000000  neighborSize: 15\n"), std::string::npos) << out;
    Embed();

    // The clustering tab's normalisation box only re-applies the other tab's choice.
    panel->comboBox_DataNormalization_Cl->setCurrentText("MinMax Normalization");
    EXPECT_EQ(profile.GetPointSet().m_state, Zelvo::PointSetOriginal);

    // Hierarchical clustering takes the clustering tab's distance; the others the other tab's.
    panel->radioButton_CentroidLinkage->setChecked(true);
    panel->comboBox_DistanceMetric_Cl->setCurrentText("Manhattan");
    panel->comboBox_DistanceMetric_DR->setCurrentText("PearsonCorrelation");
    panel->comboBox_DataNormalization_DR->setCurrentText("MinMax Normalization");
    Apply(ClusteringTab, 0);
    EXPECT_EQ(profile.GetCurrentClusteringResult()->GetDescription(), "classicHClusteringCentroidLinkage_ManhattanDist");
    panel->comboBox_DistanceMetric_DR->setCurrentText("Manhattan");
    for (int page : {3, 4}) {
        profile.GetDistanceFunctor(Zelvo::DistanceEuclidean);
        profile.SetPointSetState(Zelvo::PointSetOriginal);
        Apply(ClusteringTab, page);
        EXPECT_EQ(profile.GetDistanceFunctor().type, Zelvo::DistanceManhattan);
        EXPECT_EQ(profile.GetPointSet().m_state, Zelvo::PointSetMinMaxNorm);
    }

    // The cluster count reaches spectral clustering; the auto box asks the engine to choose.
    panel->spinBox_SpectralClusterNumber->setValue(1);
    EXPECT_EQ(CountOf(Apply(ClusteringTab, 3), "Cluster: "), 1);
    panel->checkBox_SpectralEnableAutoClusterNum->setChecked(true);
    EXPECT_GT(CountOf(Apply(ClusteringTab, 3), "Cluster: "), 1);

    // Axis indexes are dimension indexes; an unselected one is refused by the projection.
    panel->table_DimensionProperty->item(3, 0)->setCheckState(Qt::Unchecked);
    Apply(DataTab, 0);
    panel->comboBox_dimIndexX->setCurrentIndex(3);
    out = Apply(DimReductionTab, 5);
    EXPECT_NE(out.find("Error AxisAlignedProjection: dimension 3 is not a selected dimension"), std::string::npos)
        << out;
}

TEST_F(DataPropertyWidgetTest, StoredResultsAreListedLoadedAndDeletedByRow)
{
    Open("iris.csv");
    Embed();
    std::map<QString, std::string> saved;
    for (const auto& [id, k] : {std::pair<QString, int>{"c", 4}, {"a", 2}, {"b", 3}}) {
        panel->spinBox_kmeansClusterNumber->setValue(k);
        Apply(ClusteringTab, 1);
        saved[id] = profile.GetCurrentClusteringResult()->GetSerializedHierarchyString();
        panel->lineEdit_Clustering_IDString->setText(id);
        const int rows = panel->tableWidget_ClusteringResults->rowCount();
        CaptureStdout([&] { panel->pb_SaveClusteringResult->click(); });
        EXPECT_EQ(panel->tableWidget_ClusteringResults->rowCount(), rows + 1);  // at once, without a signal
    }
    QTableWidget* table = panel->tableWidget_ClusteringResults;
    EXPECT_EQ(Column(table, 0), (QStringList{"a", "b", "c"}));
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(Button(r, 1)->text(), "Load");
        EXPECT_EQ(Button(r, 2)->text(), "delete");
    }

    QSignalSpy current(&profile, &DataProfile::CurrentClusteringResultChanged);
    CaptureStdout([&] { QTest::mouseClick(Button(1, 1), Qt::LeftButton); });
    EXPECT_EQ(current.count(), 1);
    EXPECT_EQ(profile.GetCurrentClusteringResult()->GetSerializedHierarchyString(), saved["b"]);

    // Delete removes the clicked row, then the table is rebuilt from what the profile keeps.
    QPointer<QPushButton> clicked = Button(1, 2);
    CaptureStdout([&] { QTest::mouseClick(clicked, Qt::LeftButton); });
    EXPECT_EQ(Column(table, 0), (QStringList{"a", "c"}));
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(clicked.isNull());
    EXPECT_EQ(Column(table, 0), (QStringList{"a", "b", "c"}));

    // A new clustering rebuilds the table, so an entry stored elsewhere shows up.
    Zelvo::ClusteringResult other;
    other.SetSerializedHierarchyString(saved["a"]);
    CaptureStdout([&] { ASSERT_TRUE(io.WriteClusteringResult(other, "z")); });
    Apply(ClusteringTab, 1);
    EXPECT_EQ(Column(table, 0), (QStringList{"a", "b", "c", "z"}));
}

// Imported labels are listed and loaded without an embedding (which leaves the views no model to
// show); closing the data set then leaves the panel as a new one.
TEST_F(DataPropertyWidgetTest, LoadWithoutEmbeddingThenCleanUp)
{
    Open("iris.csv");
    CaptureStdout([&] {
        ASSERT_TRUE(profile.ImportClusteringLabelTextFile(TestSupport::DataPath("iris_labels.txt").c_str()));
    });
    ASSERT_EQ(Column(panel->tableWidget_ClusteringResults, 0), QStringList{"importedClusterResult"});
    QPointer<QPushButton> oldLoad = Button(0, 1);
    CaptureStdout([&] {
        oldLoad->click();
        ASSERT_NE(profile.GetCurrentClusteringResult(), nullptr);
        EXPECT_EQ(controller.GenerateGraphModelFromClusteringResult(profile.GetCurrentClusteringResult(), nullptr),
                  nullptr);
    });
    panel->UpdatePointView(3);
    panel->CleanUp();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(oldLoad.isNull());
    for (QTableWidget* table : {panel->table_DimensionProperty, panel->table_PointProperty, panel->table_PointValue,
                                panel->tableWidget_ClusteringResults})
        EXPECT_EQ(table->rowCount(), 0);
    EXPECT_EQ(panel->comboBox_dimIndexX->count(), 0);

    QSignalSpy changed(&profile, &DataProfile::PointSetChanged);
    EXPECT_EQ(Apply(DataTab, 0), "");
    EXPECT_EQ(changed.count(), 0);
    CaptureStdout([&] { emit profile.ClusteringResultEntryChanged(); });
    EXPECT_EQ(panel->tableWidget_ClusteringResults->rowCount(), 0);

    Open("iris.csv");
    EXPECT_EQ(panel->tableWidget_ClusteringResults->rowCount(), 0);
    EXPECT_EQ(panel->table_DimensionProperty->rowCount(), 4);
}

}  // namespace

namespace {

// Every item of each choice reaches what it names, not only the first or the one in use.
TEST_F(DataPropertyWidgetTest, EveryChoiceOfEachBoxReachesWhatItNames)
{
    Open("iris.csv");
    const std::pair<QString, Zelvo::PointSetState> states[] = {{"Variance Normalization", Zelvo::PointSetVarianceNorm},
                                                              {"MinMax Normalization", Zelvo::PointSetMinMaxNorm},
                                                              {"Original", Zelvo::PointSetOriginal}};
    for (const auto& [text, state] : states) {
        panel->comboBox_DataNormalization_DR->setCurrentText(text);
        EXPECT_EQ(profile.GetPointSet().m_state, state) << text.toStdString();
    }
    const std::pair<QString, Zelvo::DistanceType> distances[] = {{"PearsonCorrelation", Zelvo::DistancePearsonCorrelation},
                                                                {"Manhattan", Zelvo::DistanceManhattan},
                                                                {"Euclidean", Zelvo::DistanceEuclidean}};
    for (const auto& [text, type] : distances) {
        panel->comboBox_DistanceMetric_DR->setCurrentText(text);
        Embed();
        EXPECT_EQ(profile.GetDistanceFunctor().type, type) << text.toStdString();
    }

    // Each linkage button and each distance of the clustering tab name the clustering run.
    const struct {
        QRadioButton* linkage;
        QString distance;
        std::string description;
    } runs[] = {
        {panel->radioButton_SingleLinkage, "Euclidean", "classicHClusteringSingleLinkage_EuclideanDist"},
        {panel->radioButton_MaximumLinkage, "Euclidean", "classicHClusteringMaximumLinkage_EuclideanDist"},
        {panel->radioButton_AverageLinkage, "PearsonCorrelation", "classicHClusteringAverageLinkage_CorrelationDist"},
        {panel->radioButton_CentroidLinkage, "Manhattan", "classicHClusteringCentroidLinkage_ManhattanDist"},
    };
    for (const auto& run : runs) {
        run.linkage->setChecked(true);
        panel->comboBox_DistanceMetric_Cl->setCurrentText(run.distance);
        Apply(ClusteringTab, 0);
        EXPECT_EQ(profile.GetCurrentClusteringResult()->GetDescription(), run.description);
    }

    // Each Auto Cluster Number box greys out its own spin box and lets its own page choose.
    const struct {
        QCheckBox* box;
        QSpinBox* own;
        QSpinBox* other;
        int page, otherPage;
    } autos[] = {
        {panel->checkBox_SpectralEnableAutoClusterNum, panel->spinBox_SpectralClusterNumber,
         panel->spinBox_SubspaceClusterNumber, 3, 4},
        {panel->checkBox_SubspaceEnableAutoClusterNum, panel->spinBox_SubspaceClusterNumber,
         panel->spinBox_SpectralClusterNumber, 4, 3},
    };
    for (const auto& row : autos) {
        SCOPED_TRACE(row.page);
        row.own->setValue(1);
        row.other->setValue(1);
        row.box->setChecked(true);
        EXPECT_FALSE(row.own->isEnabled());
        EXPECT_TRUE(row.other->isEnabled());
        EXPECT_GT(CountOf(Apply(ClusteringTab, row.page), "Cluster: "), 1);
        EXPECT_EQ(CountOf(Apply(ClusteringTab, row.otherPage), "Cluster: "), 1);
        row.box->setChecked(false);
        EXPECT_TRUE(row.own->isEnabled());
    }

    // Each neighbour field reaches its own embedding only: a field that is no number fails its
    // page alone.
    QLineEdit* fields[] = {panel->lineEdit_NeighborSize_Isomap, panel->lineEdit_NeighborSize_LE,
                           panel->lineEdit_NeighborSize_LLE};
    for (int broken = 0; broken < 3; ++broken) {
        for (int f = 0; f < 3; ++f) fields[f]->setText(f == broken ? "abc" : "60");
        for (int page = 2; page <= 4; ++page) {
            const Zelvo::EmbeddingResult* before = profile.GetCurrentEmbeddingResult();
            Apply(DimReductionTab, page);
            EXPECT_EQ(profile.GetCurrentEmbeddingResult() != before, page != broken + 2)
                << "field " << broken << ", page " << page;
        }
    }
}

}  // namespace
