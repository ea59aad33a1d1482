#include "DataPropertyWidget.h"

#include "ClusteringFactory.h"
#include "ClusteringResult.h"
#include "DataOperationController.h"
#include "DataProfile.h"
#include "DialogService.h"
#include "DimReductionFactory.h"
#include "EmbeddingResult.h"
#include "Log.h"
#include "UserOperation.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidgetItem>

#include <algorithm>
#include <string>
#include <vector>

namespace Zelvo {

namespace {

const Qt::ItemFlags kShownOnly = Qt::ItemIsSelectable | Qt::ItemIsEnabled;

// A cell that shows a value the user cannot edit here.
QTableWidgetItem* ShownItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(kShownOnly);
    return item;
}

// The "Mask" check box of a row, as a checkable item: far cheaper than a widget per row.
QTableWidgetItem* MaskItem(const QString& text, bool checked)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(kShownOnly | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

QString Statistic(const std::vector<float>& values, size_t d)
{
    return d < values.size() ? QString::number(values[d], 'g', 4) : QString();
}

}  // namespace

DataPropertyWidget::DataPropertyWidget(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    setupUIControls();
}

DataPropertyWidget::~DataPropertyWidget() = default;

void DataPropertyWidget::setupUIControls()
{
    connect(pbApply, &QPushButton::clicked, this, &DataPropertyWidget::buttonClickApply);
    connect(pbOkay, &QPushButton::clicked, this, &DataPropertyWidget::buttonClickOkay);
    connect(pbCancel, &QPushButton::clicked, this, &DataPropertyWidget::buttonClickCancel);
    connect(pb_SaveClusteringResult, &QPushButton::clicked, this, &DataPropertyWidget::saveCurrentClusteringResult);
    connect(pb_SaveDimReductionResult, &QPushButton::clicked, this,
            &DataPropertyWidget::saveCurrentDimReductionResult);

    const QStringList normalizations{"Original", "MinMax Normalization", "Variance Normalization"};
    comboBox_DataNormalization_Cl->addItems(normalizations);
    comboBox_DataNormalization_DR->addItems(normalizations);
    connect(comboBox_DataNormalization_DR, &QComboBox::currentIndexChanged, this,
            &DataPropertyWidget::updatePointSetStatus);
    connect(comboBox_DataNormalization_Cl, &QComboBox::currentIndexChanged, this,
            &DataPropertyWidget::updatePointSetStatus);

    comboBox_Graph->addItems({"Approximate KNN", "Gabriel", "Relaxed Gabriel", "Relative Neighbor",
                              "Relaxed Relative Neighbor", "Beta Skeleton", "Relaxed Beta Skeleton"});

    const QStringList distances{"Euclidean", "Manhattan", "PearsonCorrelation"};
    comboBox_DistanceMetric_Cl->addItems(distances);
    comboBox_DistanceMetric_DR->addItems(distances);

    comboBox_kmeansType->addItems({"classic k-means", "k-means++"});
    comboBox_kmeansType->setCurrentIndex(1);

    comboBox_SpectralGraphType->addItem("NormalizedCut");
    comboBox_SubspaceClusteringSpectralMethod->addItem("NormalizedCut");

    comboBox_SubspaceGraphType->addItem("L2 Graph");

    // Clicking a point's row header shows its values.
    connect(table_PointProperty->verticalHeader(), &QHeaderView::sectionClicked, this,
            &DataPropertyWidget::UpdatePointView);
}

void DataPropertyWidget::SetModelController(DataProfile* profile, DataOperationController* controller)
{
    // The profile is the same object for every data set: one connection serves them all.
    if (m_dataProfile && m_dataProfile != profile) disconnect(m_dataProfile, nullptr, this, nullptr);
    m_dataProfile = profile;
    m_controller = controller;
    if (m_dataProfile) {
        connect(m_dataProfile, &DataProfile::ClusteringResultEntryChanged, this,
                &DataPropertyWidget::SetupClusterResultsView, Qt::UniqueConnection);
        connect(m_dataProfile, &DataProfile::PointSetChanged, this, &DataPropertyWidget::m_pointCountChanged,
                Qt::UniqueConnection);
    }

    updateUIwithDataInfo();
    setupDataViews();
    SetupClusterResultsView();
    if (m_dataProfile) m_dataProfile->SetPointSetState(getPointSetNormalizationStateFromDimReductionUI());
}

void DataPropertyWidget::CleanUp()
{
    m_clearTable(table_DimensionProperty);
    m_clearTable(table_PointProperty);
    m_clearTable(table_PointValue);
    m_clearTable(tableWidget_ClusteringResults);
    m_clearTable(tableWidget_dimReductionResults);
    // The buttons of the cleared table are gone: no stale address may map to a row.
    m_loadButtons.clear();
    m_deleteButtons.clear();

    textEdit_filePath->clear();
    comboBox_dimIndexX->clear();
    comboBox_dimIndexY->clear();
    comboBox_OutputDimension->clear();

    if (m_dataProfile) disconnect(m_dataProfile, nullptr, this, nullptr);
    m_dataProfile = nullptr;
    m_controller = nullptr;
}

void DataPropertyWidget::m_clearTable(QTableWidget* table)
{
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(0);
}

void DataPropertyWidget::updateUIwithDataInfo()
{
    comboBox_dimIndexX->clear();
    comboBox_dimIndexY->clear();
    if (!m_dataProfile) return;

    HDpointSet<float>& points = m_dataProfile->GetPointSet();
    const int dimensions = static_cast<int>(points.m_dimMask.size());
    QStringList labels;
    labels.reserve(dimensions);
    for (int d = 0; d < dimensions; ++d) labels << QString::fromStdString(points.GetDimensionLabel(d));
    comboBox_dimIndexX->addItems(labels);
    comboBox_dimIndexY->addItems(labels);
}

void DataPropertyWidget::setupDataViews()
{
    if (!m_dataProfile) return;
    HDpointSet<float>& points = m_dataProfile->GetPointSet();
    const int dimensions = static_cast<int>(points.m_dimMask.size());

    textEdit_filePath->setText(QString::fromStdString(m_dataProfile->GetDataSetPath()));

    QStringList labels;
    labels.reserve(dimensions);
    for (int d = 0; d < dimensions; ++d) labels << QString::fromStdString(points.GetDimensionLabel(d));

    table_DimensionProperty->clear();
    table_DimensionProperty->setRowCount(dimensions);
    table_DimensionProperty->setColumnCount(7);
    table_DimensionProperty->setHorizontalHeaderLabels(
        {"DimMask", "DimLabel", "DimWeight", "DimMin", "DimMax", "DimMean", "DimVariance"});
    for (int d = 0; d < dimensions; ++d) {
        const size_t i = static_cast<size_t>(d);
        table_DimensionProperty->setItem(d, 0, MaskItem("Mask", points.m_dimMask[i]));
        table_DimensionProperty->setItem(d, 1, ShownItem(labels[d]));
        table_DimensionProperty->setCellWidget(d, 2, new QLineEdit("1.0"));
        table_DimensionProperty->setItem(d, 3, ShownItem(Statistic(points.m_dimMin, i)));
        table_DimensionProperty->setItem(d, 4, ShownItem(Statistic(points.m_dimMax, i)));
        table_DimensionProperty->setItem(d, 5, ShownItem(Statistic(points.m_dimMean, i)));
        table_DimensionProperty->setItem(d, 6, ShownItem(Statistic(points.m_dimVariance, i)));
    }
    table_DimensionProperty->resizeColumnsToContents();
    // A weight line edit asks for far more room than "1.0" needs: its header decides.
    table_DimensionProperty->setColumnWidth(2, table_DimensionProperty->horizontalHeader()->sectionSizeHint(2));

    const int pointCount = points.GetPointCount();
    table_PointProperty->clear();
    table_PointProperty->setRowCount(pointCount);
    table_PointProperty->setColumnCount(2);
    table_PointProperty->setHorizontalHeaderLabels({"PointMask", "Index"});
    const QString mask = "Mask";
    for (int i = 0; i < pointCount; ++i) {
        table_PointProperty->setItem(i, 0, MaskItem(mask, true));
        table_PointProperty->setItem(i, 1, ShownItem(QString::number(i)));
    }
    // Measures a sample of rows only, so it stays cheap on large sets.
    table_PointProperty->resizeColumnsToContents();

    comboBox_OutputDimension->clear();
    comboBox_OutputDimension->addItems(labels);
}

void DataPropertyWidget::UpdatePointView(int index)
{
    table_PointValue->clear();
    table_PointValue->setRowCount(0);
    if (!m_dataProfile) return;

    HDpointSet<float>& points = m_dataProfile->GetPointSet();
    const size_t dimensions = points.m_dimMask.size();
    // A stale index (a deleted point, a table not rebuilt yet) shows nothing.
    if (index < 0 || index >= points.GetPointCount()) return;
    const size_t first = static_cast<size_t>(index) * dimensions;
    if (first + dimensions > points.m_values.size()) return;

    table_PointValue->setRowCount(static_cast<int>(dimensions));
    table_PointValue->setColumnCount(2);
    table_PointValue->setHorizontalHeaderLabels({"DimLabel", "Value"});
    for (size_t d = 0; d < dimensions; ++d) {
        const int row = static_cast<int>(d);
        table_PointValue->setItem(row, 0, ShownItem(QString::fromStdString(points.GetDimensionLabel(row))));
        table_PointValue->setItem(row, 1, ShownItem(QString::number(points.m_values[first + d], 'g', 3)));
    }
    table_PointValue->resizeColumnsToContents();
}

void DataPropertyWidget::updateDimProperty()
{
    const int dimensions =
        std::min(static_cast<int>(m_dataProfile->GetPointSet().m_dimMask.size()), table_DimensionProperty->rowCount());
    for (int d = 0; d < dimensions; ++d) {
        const QTableWidgetItem* item = table_DimensionProperty->item(d, 0);
        if (!item) continue;
        m_dataProfile->SetDimMask(d, item->checkState() == Qt::Checked);
        emit m_dataProfile->PointSetChanged();
    }
}

PointSetState DataPropertyWidget::getPointSetNormalizationStateFromDimReductionUI() const
{
    const QString text = comboBox_DataNormalization_DR->currentText();
    if (text == "Original") return PointSetOriginal;
    if (text == "MinMax Normalization") return PointSetMinMaxNorm;
    if (text == "Variance Normalization") return PointSetVarianceNorm;
    return PointSetUnknown;
}

DistanceType DataPropertyWidget::getDistanceTypeFromDimReductionUI() const
{
    const QString text = comboBox_DistanceMetric_DR->currentText();
    if (text == "Euclidean") return DistanceEuclidean;
    if (text == "Manhattan") return DistanceManhattan;
    if (text == "PearsonCorrelation") return DistancePearsonCorrelation;
    return DistanceUnknown;
}

void DataPropertyWidget::m_pointCountChanged()
{
    // Deleting points compacts the set: the tables show what is left. A mask change keeps the
    // count and needs no refill.
    if (m_dataProfile && table_PointProperty->rowCount() != m_dataProfile->GetPointSet().GetPointCount()) {
        setupDataViews();
        // The point shown may be gone, and its row now names another point.
        UpdatePointView(-1);
    }
}

void DataPropertyWidget::updatePointSetStatus()
{
    if (m_dataProfile) m_dataProfile->SetPointSetState(getPointSetNormalizationStateFromDimReductionUI());
}

void DataPropertyWidget::buttonClickApply()
{
    if (!m_dataProfile || !m_controller) return;
    UserOperation::Run(this, m_currentPageTitle(), [this] { return m_applyCurrentPage(); });
}

QString DataPropertyWidget::m_currentPageTitle() const
{
    switch (tabWidget->currentIndex()) {
    case 0: return toolBoxDataView->itemText(toolBoxDataView->currentIndex());
    case 1: return toolBoxClustering->itemText(toolBoxClustering->currentIndex());
    case 2: return toolBoxDimReduction->itemText(toolBoxDimReduction->currentIndex());
    default: return tabWidget->tabText(tabWidget->currentIndex());
    }
}

bool DataPropertyWidget::m_applyCurrentPage()
{
    const EmbeddingResult* embedding = m_dataProfile->GetCurrentEmbeddingResult();
    const ClusteringResult* clustering = m_dataProfile->GetCurrentClusteringResult();
    // A new result is made while the current one still lives, so a changed address means a
    // new result.
    enum { Nothing, Embedding, Clustering } expected = Nothing;
    switch (tabWidget->currentIndex()) {
    case 0:
        if (toolBoxDataView->currentIndex() == 0) updateDimProperty();
        break;
    case 1:
        expected = Clustering;
        switch (toolBoxClustering->currentIndex()) {
        case 0: hierarchicalClustering(); break;
        case 1: kmeansClustering(); break;
        case 2: approximateMorseSmale(); expected = Nothing; break;  // reports itself
        case 3: spectralClustering(); break;
        case 4: subspaceClustering(); break;
        default: expected = Nothing; break;
        }
        break;
    case 2:
        expected = Embedding;
        switch (toolBoxDimReduction->currentIndex()) {
        case 0: dimReductionPCA(); break;
        case 1: dimReductionMDS(); break;
        case 2: dimReductionISOMAP(); break;
        case 3: dimReductionLaplacianEigenMap(); break;
        case 4: dimReductionLLE(); break;
        case 5: axisAlignedProjection(); break;
        default: expected = Nothing; break;
        }
        break;
    default:
        break;
    }
    if (!m_dataProfile) return false;
    if (expected == Embedding) return m_dataProfile->GetCurrentEmbeddingResult() != embedding;
    if (expected == Clustering) return m_dataProfile->GetCurrentClusteringResult() != clustering;
    return true;
}

void DataPropertyWidget::buttonClickOkay()
{
    buttonClickApply();
    if (parentWidget()) parentWidget()->hide();
}

void DataPropertyWidget::buttonClickCancel()
{
    if (parentWidget()) parentWidget()->hide();
}

// --- Analyses -------------------------------------------------------------------------------

void DataPropertyWidget::m_applyDimReductionNormalization()
{
    m_dataProfile->SetPointSetState(getPointSetNormalizationStateFromDimReductionUI());
}

void DataPropertyWidget::m_embed(std::unique_ptr<DimReductionInterface> engine)
{
    std::unique_ptr<EmbeddingResult> result = m_controller->ApplyDimReduction(engine.get());
    engine.reset();
    m_dataProfile->SetCurrentEmbeddingResult(std::move(result));
}

void DataPropertyWidget::m_cluster(std::unique_ptr<ClusteringInterface> engine)
{
    std::unique_ptr<ClusteringResult> result = m_controller->ApplyClustering(engine.get());
    engine.reset();
    m_dataProfile->SetCurrentClusteringResult(std::move(result));
}

bool DataPropertyWidget::m_haveEmbedding() const
{
    if (m_dataProfile->GetCurrentEmbeddingResult()) return true;
    Log::Puts("DataPropertyWidget: Do not have a embedding result");
    return false;
}

void DataPropertyWidget::dimReductionPCA()
{
    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_embed(DimReductionFactory::FromPCAFactory(functor));
}

void DataPropertyWidget::dimReductionMDS()
{
    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    m_applyDimReductionNormalization();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_embed(DimReductionFactory::FromMDSFactory(functor));
}

void DataPropertyWidget::dimReductionISOMAP()
{
    const int k = lineEdit_NeighborSize_Isomap->text().toInt();
    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_embed(DimReductionFactory::FromISOMAPFactory(functor, k));
}

void DataPropertyWidget::dimReductionLaplacianEigenMap()
{
    const int k = lineEdit_NeighborSize_LE->text().toInt();
    const float tau = lineEdit_Tau_heatKernel_LE->text().toFloat();
    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    Log::Printf("LE: tau:%f  neighborSize: %d\n", double(tau), k);
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_embed(DimReductionFactory::FromLaplacianEigenmapFactory(functor, k, tau));
}

void DataPropertyWidget::dimReductionLLE()
{
    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    const int k = lineEdit_NeighborSize_LLE->text().toInt();
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_embed(DimReductionFactory::FromLocalLinearEmbeddingFactory(functor, k));
}

void DataPropertyWidget::axisAlignedProjection()
{
    // Item index = dimension index of the whole data set; the projection resolves the mask.
    const int x = comboBox_dimIndexX->currentIndex();
    const int y = comboBox_dimIndexY->currentIndex();
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    m_embed(DimReductionFactory::FromAxisAlignProjectionFactory(x, y));
}

void DataPropertyWidget::hierarchicalClustering()
{
    if (!m_haveEmbedding()) return;

    int linkage = 4;
    if (const QAbstractButton* checked = buttonGroup_hClusteringLinkage->checkedButton()) {
        const QString text = checked->text();
        if (text == "Average") linkage = AverageLinkage;
        else if (text == "Single") linkage = SingleLinkage;
        else if (text == "Maximum") linkage = MaximumLinkage;
        else if (text == "Centroid") linkage = CentroidLinkage;
    }
    const QString distanceText = comboBox_DistanceMetric_Cl->currentText();
    DistanceType distance = DistanceUnknown;
    if (distanceText == "Euclidean") distance = DistanceEuclidean;
    else if (distanceText == "Manhattan") distance = DistanceManhattan;
    else if (distanceText == "PearsonCorrelation") distance = DistancePearsonCorrelation;

    if (linkage == 4 || distance == DistanceUnknown) return;
    m_cluster(ClusteringFactory::FromClassicalHierarchClusteringFactory(
        static_cast<HierarchyicalClusteringType>(linkage), distance));
}

void DataPropertyWidget::kmeansClustering()
{
    if (!m_haveEmbedding()) return;

    const int k = spinBox_kmeansClusterNumber->value();
    const int type = comboBox_kmeansType->currentIndex();
    if (type != ClassicKmeans && type != KmeansPlusPlus) {
        Log::Puts("Error in setup kmeans clustering");
        return;
    }
    m_cluster(ClusteringFactory::FromKmeansClusteringFactory(k, static_cast<kmeansType>(type)));
    Log::Puts("Applying kmeans clustering");
}

void DataPropertyWidget::approximateMorseSmale()
{
    Log::Write("Morse-smale complex calculation is not enabled!");
    DialogService::Current().Warning(this, "Warning: Compoment Missing",
                                     "Morse-smale complex calculation is not enabled during the compiling!");
}

void DataPropertyWidget::spectralClustering()
{
    if (!m_haveEmbedding()) return;
    Log::Puts("Apply Spectral Clustering");

    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    // 0 lets the engine choose the number of clusters.
    const int k = checkBox_SpectralEnableAutoClusterNum->isChecked() ? 0 : spinBox_SpectralClusterNumber->value();
    const float kernel = lineEdit_SpectralClustering_KernelSize->text().toFloat();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_cluster(ClusteringFactory::FromSpectralClusteringFactory(functor, NormalizedCut, k, kernel));
}

void DataPropertyWidget::subspaceClustering()
{
    if (!m_haveEmbedding()) return;
    Log::Puts("Apply Subspace Clustering");

    const DistanceType distance = getDistanceTypeFromDimReductionUI();
    m_applyDimReductionNormalization();
    m_dataProfile->GetPointSet().ResetNormalizationBuffers();
    const int k = checkBox_SubspaceEnableAutoClusterNum->isChecked() ? 0 : spinBox_SubspaceClusterNumber->value();
    const float kernel = lineEdit_SubspaceClustering_KernelSize->text().toFloat();
    distanceFunctor& functor = m_dataProfile->GetDistanceFunctor(distance);
    m_cluster(ClusteringFactory::FromSubspaceClusteringFactory(functor, LeastSquaresSelfRepresentation,
                                                               NormalizedCut, k, kernel));
}

// --- Stored results -------------------------------------------------------------------------

void DataPropertyWidget::SetupClusterResultsView()
{
    tableWidget_ClusteringResults->clear();
    m_loadButtons.clear();
    m_deleteButtons.clear();
    if (!m_dataProfile) {
        tableWidget_ClusteringResults->setRowCount(0);
        return;
    }

    const std::vector<std::string> entries = *m_dataProfile->GetClusteringResultEntries();
    const int rows = static_cast<int>(entries.size());
    tableWidget_ClusteringResults->setRowCount(rows);
    tableWidget_ClusteringResults->setColumnCount(3);
    tableWidget_ClusteringResults->setHorizontalHeaderLabels({"Clustering Result IDString", "Load", "Delete"});
    for (int r = 0; r < rows; ++r) {
        auto* load = new QPushButton("Load", this);
        auto* remove = new QPushButton("delete", this);
        connect(load, &QPushButton::clicked, this, &DataPropertyWidget::loadingSavedClusteringResult);
        connect(remove, &QPushButton::clicked, this, &DataPropertyWidget::deleteSavedClusteringResult);
        tableWidget_ClusteringResults->setItem(r, 0, ShownItem(QString::fromStdString(entries[size_t(r)])));
        tableWidget_ClusteringResults->setCellWidget(r, 1, load);
        tableWidget_ClusteringResults->setCellWidget(r, 2, remove);
        m_loadButtons[load] = r;
        m_deleteButtons[remove] = r;
    }
    tableWidget_ClusteringResults->resizeColumnsToContents();
}

void DataPropertyWidget::SetupEmbedResultView()
{
}

void DataPropertyWidget::saveCurrentClusteringResult()
{
    if (!m_dataProfile) return;
    std::string identifier = lineEdit_Clustering_IDString->text().toStdString();
    if (!m_mayStoreResults()) return;
    // Its lines (a replaced entry, a failed write) go to the status line.
    UserOperation::Guard("Save Current Result", [&] {
        const bool saved = m_dataProfile->SaveCurrentClusteringResult(identifier);
        SetupClusterResultsView();
        return saved;
    });
}

void DataPropertyWidget::saveCurrentDimReductionResult()
{
    if (!m_dataProfile) return;
    std::string identifier = lineEdit_DimReduction_IDString->text().toStdString();
    if (!m_mayStoreResults()) return;
    UserOperation::Guard("Save Current Result", [&] { return m_dataProfile->SaveCurrentEmbeddingResult(identifier); });
}

bool DataPropertyWidget::m_mayStoreResults()
{
    // After New the panel still shows the data set before, whose results must not land in the
    // new one: that is refused in a warning of its own.
    return UserOperation::Run(this, "Save Current Result",
                              [this] { return m_dataProfile->HoldsPointsOfDataSet("nothing is stored into it"); });
}

int DataPropertyWidget::m_rowOfSender(const std::map<QPushButton*, int>& buttons) const
{
    auto* button = qobject_cast<QPushButton*>(sender());
    const auto found = buttons.find(button);
    if (!button || found == buttons.end()) return -1;
    return found->second;
}

void DataPropertyWidget::loadingSavedClusteringResult()
{
    const int row = m_rowOfSender(m_loadButtons);
    if (row < 0 || !m_dataProfile) return;
    const QTableWidgetItem* item = tableWidget_ClusteringResults->item(row, 0);
    if (!item) return;
    std::string identifier = item->text().toStdString();
    // The projected view shows it, or says why it cannot, inside this operation.
    UserOperation::Run(this, "Load", [&] { return m_dataProfile->SetCurrentClusteringResultByIDString(identifier); });
}

void DataPropertyWidget::deleteSavedClusteringResult()
{
    const int row = m_rowOfSender(m_deleteButtons);
    if (row < 0 || !m_dataProfile) return;
    const QTableWidgetItem* item = tableWidget_ClusteringResults->item(row, 0);
    if (!item) return;
    std::string identifier = item->text().toStdString();
    m_dataProfile->DeleteClusteringResultByIDString(identifier);

    // The rows below shift: until the rebuild no button may name a row.
    m_loadButtons.clear();
    m_deleteButtons.clear();
    tableWidget_ClusteringResults->removeRow(row);
    // The clicked button is still inside its own signal: rebuild once it has returned.
    QMetaObject::invokeMethod(this, &DataPropertyWidget::SetupClusterResultsView, Qt::QueuedConnection);
}

}  // namespace Zelvo
