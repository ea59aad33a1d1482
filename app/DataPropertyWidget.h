#pragma once

#include "DistanceType.h"
#include "PointSetState.h"
#include "forms/ui_DataOperationUI.h"

#include <QWidget>

#include <map>
#include <memory>

class QPushButton;

namespace Zelvo {

class ClusteringInterface;
class DataOperationController;
class DataProfile;
class DimReductionInterface;

// The data-operation panel: shows the loaded data set (path, one row per dimension with its
// mask and statistics, one row per point, the values of one point), applies the dimension
// mask, runs the analysis that the current tab and tool-box page name with the form's
// parameters, and stores, lists and reloads clustering results.
//
// The profile and the controller belong to the main window; the panel only points at them
// from SetModelController until CleanUp.
class DataPropertyWidget : public QWidget, public Ui_DataOperationUI {
    Q_OBJECT

public:
    explicit DataPropertyWidget(QWidget* parent = nullptr);
    ~DataPropertyWidget() override;

    // Called each time a data set has been read into the profile: refills every table.
    void SetModelController(DataProfile* profile, DataOperationController* controller);
    // Called when the data set is closed: the panel is left as a new one.
    void CleanUp();

public slots:
    void UpdatePointView(int index);
    void SetupClusterResultsView();
    void SetupEmbedResultView();

private slots:
    void buttonClickApply();
    void buttonClickCancel();
    void buttonClickOkay();
    void saveCurrentDimReductionResult();
    void saveCurrentClusteringResult();
    void loadingSavedClusteringResult();
    void deleteSavedClusteringResult();
    void updatePointSetStatus();
    void m_pointCountChanged();

private:
    void setupUIControls();
    void updateUIwithDataInfo();
    void setupDataViews();
    void updateDimProperty();
    // Runs the operation of the current tab and page; false when an analysis left the
    // profile's current result as it was (the engine refused or failed).
    bool m_applyCurrentPage();
    // The title of the current tab's current page.
    QString m_currentPageTitle() const;
    PointSetState getPointSetNormalizationStateFromDimReductionUI() const;
    DistanceType getDistanceTypeFromDimReductionUI() const;

    void dimReductionPCA();
    void dimReductionMDS();
    void dimReductionISOMAP();
    void dimReductionLaplacianEigenMap();
    void dimReductionLLE();
    void axisAlignedProjection();
    void hierarchicalClustering();
    void kmeansClustering();
    void approximateMorseSmale();
    void spectralClustering();
    void subspaceClustering();

    // The shared steps of the analyses.
    void m_applyDimReductionNormalization();
    void m_embed(std::unique_ptr<DimReductionInterface> engine);
    void m_cluster(std::unique_ptr<ClusteringInterface> engine);
    // False (with a line) when no embedding is current: the profile would discard a clustering.
    bool m_haveEmbedding() const;
    // False, after a warning, when the current results may not be stored into the data set.
    bool m_mayStoreResults();
    // The row of the clicked button in map, or -1.
    int m_rowOfSender(const std::map<QPushButton*, int>& buttons) const;
    void m_clearTable(QTableWidget* table);

    DataProfile* m_dataProfile = nullptr;
    DataOperationController* m_controller = nullptr;
    std::map<QPushButton*, int> m_loadButtons;
    std::map<QPushButton*, int> m_deleteButtons;
};

}  // namespace Zelvo
