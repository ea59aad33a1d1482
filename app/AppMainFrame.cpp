#include "AppMainFrame.h"

#include "DataPropertyWidget.h"
#include "DialogService.h"
#include "ParallelCoordinateWidget.h"
#include "ProjectedViewWidget.h"
#include "ScatterPlotWidget.h"
#include "Log.h"
#include "SubspaceLoader.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>


namespace Zelvo {

namespace {

const char* const kStartDirectory = "./";
const char* const kXmlFilter = "XML (*.XML *.xml)";
const int kCentralMinimumSize = 400;

}  // namespace

AppMainFrame::AppMainFrame()
{
    setupUI();
    createActions();
    createMenus();
}

AppMainFrame::~AppMainFrame()
{
    // The views point at the profile and the controller, which go before the Qt children would:
    // the views go first.
    delete m_projectedView;
    delete m_dataOperationDock;
    delete m_parallelCoordinateDock;
    delete m_scatterPlotDock;
}

void AppMainFrame::setupUI()
{
    enableProjectedCentralPanel(true, kCentralMinimumSize, kCentralMinimumSize);
    createDataOperationPanel();
    createParallelCoordinatePanel();
    createScatterPlotPanel();
    m_parallelCoordinateDock->hide();
    m_dataOperationDock->hide();
    enableProjectedCentralPanel(true, kCentralMinimumSize, kCentralMinimumSize);
    m_dataOperationDock->show();
}

void AppMainFrame::enableProjectedCentralPanel(bool makeCentral, int minimumWidth, int minimumHeight)
{
    if (!m_projectedView) {
        m_projectedView = new ProjectedViewWidget(this);
        m_projectedView->setMinimumHeight(minimumHeight);
        m_projectedView->setMinimumWidth(minimumWidth);
        m_projectedView->hide();
        return;
    }
    // setCentralWidget deletes the widget it replaces, and detaching a shown child makes it a
    // window of its own for a moment: a view that is central already stays where it is.
    if (makeCentral && centralWidget() != m_projectedView) {
        if (QWidget* present = takeCentralWidget()) present->setParent(nullptr);
        m_projectedView->setParent(this);
        setCentralWidget(m_projectedView);
    }
    m_projectedView->show();
}

template <typename Panel>
void AppMainFrame::m_createDock(const QString& title, Panel*& panel, QDockWidget*& dock, Qt::DockWidgetAreas allowed,
                                Qt::DockWidgetArea area)
{
    if (panel) return;
    dock = new QDockWidget(title, this);
    panel = new Panel(dock);
    dock->setWidget(panel);
    dock->setAllowedAreas(allowed);
    addDockWidget(area, dock);
    dock->hide();
}

void AppMainFrame::createDataOperationPanel()
{
    m_createDock(tr("Data Operation"), m_dataOperation, m_dataOperationDock,
                 Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, Qt::LeftDockWidgetArea);
}

void AppMainFrame::createParallelCoordinatePanel()
{
    m_createDock(tr("Parallel Coordinate"), m_parallelCoordinate, m_parallelCoordinateDock,
                 Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea, Qt::BottomDockWidgetArea);
}

void AppMainFrame::createScatterPlotPanel()
{
    m_createDock(tr("Scatter Plot"), m_scatterPlot, m_scatterPlotDock, Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea,
                 Qt::RightDockWidgetArea);
}

void AppMainFrame::createActions()
{
    newAct = new QAction(tr("&New ..."), this);
    newAct->setShortcuts(QKeySequence::New);
    newAct->setStatusTip(tr("Create New XML HD file"));
    connect(newAct, &QAction::triggered, this, &AppMainFrame::newFile);

    importCSVAct = new QAction(tr("&Import CSV..."), this);
    importCSVAct->setStatusTip(tr("Import CSV file"));
    connect(importCSVAct, &QAction::triggered, this, &AppMainFrame::importCSV);

    importClusteringAct = new QAction(tr("&Import Clustering..."), this);
    importClusteringAct->setStatusTip(tr("Import Clustering label"));
    connect(importClusteringAct, &QAction::triggered, this, &AppMainFrame::importClusteringLabel);

    importClusterHierarchyAct = new QAction(tr("&Import Cluster Hierarchy..."), this);
    importClusterHierarchyAct->setStatusTip(tr("Import Cluster Hierarchy"));
    connect(importClusterHierarchyAct, &QAction::triggered, this, &AppMainFrame::importClusterHierarchy);

    importSubspaceClusteringAct = new QAction(tr("&Import Subspace Clustering ..."), this);
    importSubspaceClusteringAct->setStatusTip(tr("Import Subspace Clustering"));
    connect(importSubspaceClusteringAct, &QAction::triggered, this, &AppMainFrame::importSubspaceResult);

    // The icon resources are not shipped, so the file actions go without icons.
    openAct = new QAction(tr("&Open..."), this);
    openAct->setShortcuts(QKeySequence::Open);
    openAct->setStatusTip(tr("Open XML HD file"));
    connect(openAct, &QAction::triggered, this, &AppMainFrame::open);

    saveAct = new QAction(tr("&Save"), this);
    saveAct->setShortcuts(QKeySequence::Save);
    saveAct->setStatusTip(tr("Save the current results to XML HD file"));
    connect(saveAct, &QAction::triggered, this, &AppMainFrame::save);

    saveAsAct = new QAction(tr("&Save As..."), this);
    saveAsAct->setShortcuts(QKeySequence::SaveAs);
    saveAsAct->setStatusTip(tr("Save as the current results to XML HD file"));
    connect(saveAsAct, &QAction::triggered, this, &AppMainFrame::saveAs);

    closeAct = new QAction(tr("&Close"), this);
    closeAct->setShortcuts(QKeySequence::Close);
    closeAct->setStatusTip(tr("Close current XML HD file"));
    connect(closeAct, &QAction::triggered, this, &AppMainFrame::close);

    quitAct = new QAction(tr("&Quit"), this);
    quitAct->setShortcuts(QKeySequence::Quit);
    quitAct->setStatusTip(tr("Quit the application"));
    connect(quitAct, &QAction::triggered, this, &AppMainFrame::quit);

    aboutQtAct = new QAction(tr("About &Qt"), this);
    aboutQtAct->setStatusTip(tr("Show the Qt library's About box"));
    connect(aboutQtAct, &QAction::triggered, qApp, &QApplication::aboutQt);

    toggleProjectedViewUIAct = new QAction(tr("Toggle ProjectedView UI"), this);
    toggleProjectedViewUIAct->setCheckable(true);
    toggleProjectedViewUIAct->setChecked(true);
    connect(toggleProjectedViewUIAct, &QAction::toggled, m_projectedView, &ProjectedViewWidget::toggleUI);

    distortionAnalysisViewAct = new QAction(tr("Show Distortion Analysis View"), this);
    distortionAnalysisViewAct->setCheckable(true);
    distortionAnalysisViewAct->setChecked(true);
    connect(distortionAnalysisViewAct, &QAction::triggered, this, &AppMainFrame::enableDistortionAnalysisView);
    viewGroup = new QActionGroup(this);
    viewGroup->setExclusive(true);
    viewGroup->addAction(distortionAnalysisViewAct);

    dynamicProjectionViewAct = new QAction(tr("Show Dynamic Projection View"), this);
    dynamicProjectionViewAct->setCheckable(true);
    topoAnalysisViewAct = new QAction(tr("Show Topological Analysis View"), this);
    topoAnalysisViewAct->setCheckable(true);
    volumeVisViewAct = new QAction(tr("Show Volume Visualization View"), this);
    volumeVisViewAct->setCheckable(true);

    connect(m_dataOperation->pB_loadData, &QPushButton::clicked, this, &AppMainFrame::open);
    connect(m_projectedView, &ProjectedViewWidget::PointSelectionChanged, this,
            &AppMainFrame::PointSelectionChangeFromProjView);
}

void AppMainFrame::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(openAct);
    fileMenu->addAction(newAct);
    fileMenu->addAction(saveAct);
    fileMenu->addAction(saveAsAct);
    fileMenu->addAction(closeAct);
    fileMenu->addSeparator();
    fileMenu->addAction(importCSVAct);
    fileMenu->addAction(importClusteringAct);
    fileMenu->addAction(importClusterHierarchyAct);
    fileMenu->addSeparator();
    fileMenu->addAction(quitAct);

    viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->addAction(m_dataOperationDock->toggleViewAction());
    viewMenu->addAction(m_parallelCoordinateDock->toggleViewAction());
    viewMenu->addSeparator();
    viewMenu->addAction(distortionAnalysisViewAct);

    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(aboutQtAct);
}

void AppMainFrame::newFile()
{
    QString fileName = DialogService::Current().GetSaveFileName(this, tr("Create new XML HDdataSet file"),
                                                               kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return;
    if (!fileName.contains('.')) fileName += ".xml";
    m_fileIO.CreateNewEmptyHDdataSet(fileName.toLocal8Bit().constData());
    // The profile's points belong to the data set before; they must not be saved into this one.
    m_modelLoaded = false;
}

void AppMainFrame::importCSV()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import CSV data file"),
                                                                     kStartDirectory, "CSV (*.CSV *.csv)");
    if (fileName.isEmpty()) return;
    if (m_fileIO.ImportDataFromCSV(fileName.toLocal8Bit().constData())) {
        loadDataToModel();
    } else {
        DialogService::Current().Warning(this, windowTitle(),
                                         tr("Require to create an empty XML file before import CSV files!"));
    }
}

void AppMainFrame::importClusteringLabel()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import Clustering label file"),
                                                                     kStartDirectory, "txt (*.TXT *.txt)");
    if (fileName.isEmpty()) return;
    m_profile.ImportClusteringLabelTextFile(fileName.toLocal8Bit().constData());
}

void AppMainFrame::importClusterHierarchy()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import Cluster Hierarchy"),
                                                                     kStartDirectory, "bin (*.txt)");
    if (fileName.isEmpty()) return;
    m_profile.ImportClusterHierarchyFile(fileName.toLocal8Bit().constData());
}

void AppMainFrame::importSubspaceResult()
{
    // The views of a subspace clustering project the loaded points: without them there is
    // nothing to project.
    if (!m_modelLoaded) {
        Log::Puts("Error: load a data set before importing a subspace clustering");
        return;
    }
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import Clustering label file"),
                                                                     kStartDirectory, "csv (*.CSV *.csv)");
    if (fileName.isEmpty()) return;
    std::unique_ptr<SubspaceModel> model =
        SubspaceLoader::LoadSubspaceModelFromFile(fileName.toLocal8Bit().constData());
    if (model) m_subspaceModel.SetSubspaceModel(std::move(model));
}

void AppMainFrame::open()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Open XML HDdataSet file"),
                                                                     kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return;
    if (m_fileIO.OpenHDdataSet(fileName.toLocal8Bit().constData())) loadDataToModel();
}

void AppMainFrame::loadDataToModel()
{
    // A second data set starts from empty views, so nothing of the first survives in them
    // while the profile replaces the results they were built from.
    if (m_projectedView) m_projectedView->CleanUp();
    if (m_dataOperation) m_dataOperation->CleanUp();
    m_profile.SetHDfileIO(&m_fileIO);
    m_modelLoaded = true;
    m_subspaceModel.dataProfile = &m_profile;
    m_profile.SetDataSetPath(m_fileIO.GetFullPath());
    m_controller.SetDataProfile(&m_profile);
    m_dataOperation->SetModelController(&m_profile, &m_controller);
    m_projectedView->SetModelController(&m_profile, &m_controller);
    m_parallelCoordinate->SetDataProfile(&m_profile);
}

void AppMainFrame::close()
{
    m_fileIO.Close();
    m_profile.CleanUp();
    if (m_dataOperation) m_dataOperation->CleanUp();
    if (m_projectedView) m_projectedView->CleanUp();
    // A closed data set is not shown any more; the next load follows the profile again.
    if (m_parallelCoordinate) m_parallelCoordinate->SetDataProfile(nullptr);
}

bool AppMainFrame::save()
{
    if (!m_fileIO.IsOpened()) return false;
    if (m_modelLoaded && !m_profile.SaveHDpointSet()) return false;
    return m_fileIO.SaveHDdataSet();
}

bool AppMainFrame::saveAs()
{
    if (!m_fileIO.IsOpened()) return false;
    const QString fileName = DialogService::Current().GetSaveFileName(this, tr("SaveAs XML HDdataSet file"),
                                                                     kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return false;
    if (m_modelLoaded && !m_fileIO.WriteDataProfile(m_profile)) return false;
    return m_fileIO.SaveAsHDdataSet(fileName.toLocal8Bit().constData());
}

void AppMainFrame::about()
{
}

void AppMainFrame::quit()
{
    // quit() would first offer every window a close event, and ours asks; leave at once.
    QCoreApplication::exit(0);
}

void AppMainFrame::PointSelectionChangeFromProjView()
{
    std::vector<int>* selected = m_projectedView->GetScene().GetSelectedPointIndex();
    m_parallelCoordinate->UpdatePointSelection(selected);
    m_scatterPlot->UpdatePointSelection(selected);
    if (selected->size() == 1) m_dataOperation->UpdatePointView(selected->front());
}

void AppMainFrame::PointSelectionChangeFromScatterPlotView()
{
}

void AppMainFrame::enableDistortionAnalysisView()
{
    m_parallelCoordinateDock->hide();
    m_dataOperationDock->hide();
    enableProjectedCentralPanel(true, kCentralMinimumSize, kCentralMinimumSize);
    m_dataOperationDock->show();
}

void AppMainFrame::enableTopoAnalysisView()
{
}

void AppMainFrame::enableDynamicProjectionView()
{
    // The dock it would show is never made.
    m_parallelCoordinateDock->hide();
    m_dataOperationDock->hide();
}

void AppMainFrame::enableDynProjVolumeVisView()
{
}

void AppMainFrame::closeEvent(QCloseEvent* event)
{
    const QMessageBox::StandardButton answer = DialogService::Current().Warning(
        this, windowTitle(), tr("Do you want to quit Tolvemark 0.1v ?"), QMessageBox::Yes | QMessageBox::No,
        QMessageBox::NoButton);
    if (answer == QMessageBox::Yes) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace Zelvo
