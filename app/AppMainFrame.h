#pragma once

#include "DataOperationController.h"
#include "DataProfile.h"
#include "HDfileIO.h"
#include "Log.h"
#include "SubspaceTransitionGraphModel.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QActionGroup;
class QCloseEvent;
class QDockWidget;
class QMenu;

namespace Zelvo {

class DataPropertyWidget;
class ParallelCoordinateWidget;
class ProjectedViewWidget;
class ScatterPlotWidget;

// The main window: the projected view in the centre, the data-operation panel, the parallel
// coordinates and the scatter-plot panel in docks, the File, View and Help menus, the file
// dialogs and the question before closing. It owns the model (controller, data profile) and the
// data-set file object for the whole run, and connects the model to the views only once a data
// set has been opened or imported.
class AppMainFrame : public QMainWindow {
    Q_OBJECT

public:
    AppMainFrame();
    ~AppMainFrame() override;

    HDfileIO& GetHDfileIO() { return m_fileIO; }
    DataProfile& GetDataProfile() { return m_profile; }
    SubspaceTransitionGraphModel& GetSubspaceTransitionGraphModel() { return m_subspaceModel; }
    ProjectedViewWidget* GetProjectedView() const { return m_projectedView; }
    ParallelCoordinateWidget* GetParallelCoordinate() const { return m_parallelCoordinate; }
    ScatterPlotWidget* GetScatterPlot() const { return m_scatterPlot; }
    DataPropertyWidget* GetDataOperationPanel() const { return m_dataOperation; }
    QDockWidget* GetParallelCoordinateDock() const { return m_parallelCoordinateDock; }
    // The status bar's line: the last "Error" or "Warning" line printed outside an operation
    // that reports its own, until the next operation starts.
    QLabel* GetStatusLine() const { return m_statusLine; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void newFile();
    void importCSV();
    void importClusteringLabel();
    void importClusterHierarchy();
    void importSubspaceResult();
    void open();
    void close();
    bool save();
    bool saveAs();
    void about();
    void quit();
    void PointSelectionChangeFromProjView();
    void PointSelectionChangeFromScatterPlotView();
    void enableDistortionAnalysisView();
    void enableTopoAnalysisView();
    void enableDynamicProjectionView();
    void enableDynProjVolumeVisView();

private:
    void setupUI();
    void enableProjectedCentralPanel(bool makeCentral, int minimumWidth, int minimumHeight);
    void createDataOperationPanel();
    void createParallelCoordinatePanel();
    void createScatterPlotPanel();
    void createActions();
    void createMenus();
    // Hands the file object's data set to the model and the views; false (the window as after
    // Close, saving refused) when its points could not be read.
    bool loadDataToModel();
    // Close's share of the model and the views.
    void m_closeDataSet();
    // After a data set that failed to load: nothing of it is shown or may be saved.
    void m_dropFailedDataSet();
    // True, with an "Error" line ending in consequence, after a data set that failed to load.
    bool m_refuseFailedDataSet(const char* consequence);
    // Save (asPath null) or Save As; false when nothing was written.
    bool m_saveDataSet(const char* asPath);
    // A panel of the given class in a new dock, hidden; nothing when the panel exists.
    template <typename Panel>
    void m_createDock(const QString& title, Panel*& panel, QDockWidget*& dock, Qt::DockWidgetAreas allowed,
                      Qt::DockWidgetArea area);

    // The view widgets; Qt parents own them.
    ProjectedViewWidget* m_projectedView = nullptr;
    ParallelCoordinateWidget* m_parallelCoordinate = nullptr;
    ScatterPlotWidget* m_scatterPlot = nullptr;
    DataPropertyWidget* m_dataOperation = nullptr;

    QDockWidget* m_parallelCoordinateDock = nullptr;
    QDockWidget* m_scatterPlotDock = nullptr;
    QDockWidget* m_dataOperationDock = nullptr;

    QMenu* fileMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* helpMenu = nullptr;

    QAction* newAct = nullptr;
    QAction* importCSVAct = nullptr;
    QAction* importClusteringAct = nullptr;
    QAction* importClusterHierarchyAct = nullptr;
    QAction* importSubspaceClusteringAct = nullptr;
    QAction* openAct = nullptr;
    QAction* saveAct = nullptr;
    QAction* saveAsAct = nullptr;
    QAction* closeAct = nullptr;
    QAction* quitAct = nullptr;
    QAction* aboutQtAct = nullptr;
    QAction* toggleProjectedViewUIAct = nullptr;
    QAction* distortionAnalysisViewAct = nullptr;
    QAction* dynamicProjectionViewAct = nullptr;
    QAction* topoAnalysisViewAct = nullptr;
    QAction* volumeVisViewAct = nullptr;
    QActionGroup* viewGroup = nullptr;

    // The model, built in this order before the file object and released after it.
    DataOperationController m_controller;
    DataProfile m_profile;
    SubspaceTransitionGraphModel m_subspaceModel;
    HDfileIO m_fileIO;
    // True while the profile holds the points of the file object's data set.
    bool m_modelLoaded = false;
    // True from a data set whose points could not be read until the next one is opened or
    // created: its files must not be rewritten from what did not load.
    bool m_loadFailed = false;

    QLabel* m_statusLine = nullptr;
    std::unique_ptr<Log::Listening> m_logListening;
};

}  // namespace Zelvo
