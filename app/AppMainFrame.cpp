#include "AppMainFrame.h"

#include "DataPropertyWidget.h"
#include "DialogService.h"
#include "ParallelCoordinateWidget.h"
#include "ProjectedViewWidget.h"
#include "ScatterPlotWidget.h"
#include "Log.h"
#include "SubspaceLoader.h"
#include "UserOperation.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>


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

    // A line the user would otherwise never see stays in the status bar until the next operation.
    m_statusLine = new QLabel(this);
    m_statusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // long lines do not widen the window
    statusBar()->addWidget(m_statusLine, 1);
    m_logListening = std::make_unique<Log::Listening>(
        [this](const std::string& line, bool collected) {
            if (collected || !UserOperation::IsNotable(line)) return;
            // Lines may come from a worker thread; the label is the GUI thread's.
            QMetaObject::invokeMethod(this, [this, text = QString::fromStdString(line).trimmed()] {
                m_statusLine->setText(text);
            });
        },
        [this] { QMetaObject::invokeMethod(this, [this] { m_statusLine->clear(); }); });
}

AppMainFrame::~AppMainFrame()
{
    m_logListening.reset();
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
    UserOperation::Guard(tr("New"), [&] {
        m_fileIO.CreateNewEmptyHDdataSet(fileName.toLocal8Bit().constData());
        // The profile's points belong to the data set before; they must not be saved into this one.
        m_modelLoaded = false;
        m_loadFailed = false;
        return true;
    });
}

void AppMainFrame::importCSV()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import CSV data file"),
                                                                     kStartDirectory, "CSV (*.CSV *.csv)");
    if (fileName.isEmpty()) return;
    if (!m_fileIO.IsOpened() || !m_fileIO.IsNewDataSet()) {
        DialogService::Current().Warning(this, windowTitle(),
                                         tr("Require to create an empty XML file before import CSV files!"));
        return;
    }
    // A file that holds nothing to import, or rows it had to skip, is reported in the loader's words.
    UserOperation::Run(this, tr("Import CSV"), [&] {
        return m_fileIO.ImportDataFromCSV(fileName.toLocal8Bit().constData()) && loadDataToModel();
    }, [this] { m_dropFailedDataSet(); });
}

void AppMainFrame::importClusteringLabel()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import Clustering label file"),
                                                                     kStartDirectory, "txt (*.TXT *.txt)");
    if (fileName.isEmpty()) return;
    // A file that cannot be opened is refused without a line: the window names it.
    UserOperation::Run(this, tr("Import Clustering of %1").arg(fileName), [&] {
        if (m_refuseFailedDataSet("nothing is imported into it")) return false;
        return m_profile.ImportClusteringLabelTextFile(fileName.toLocal8Bit().constData());
    });
}

void AppMainFrame::importClusterHierarchy()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import Cluster Hierarchy"),
                                                                     kStartDirectory, "bin (*.txt)");
    if (fileName.isEmpty()) return;
    UserOperation::Run(this, tr("Import Cluster Hierarchy of %1").arg(fileName), [&] {
        // Storing a result rewrites the description.
        if (m_refuseFailedDataSet("nothing is imported into it")) return false;
        return m_profile.ImportClusterHierarchyFile(fileName.toLocal8Bit().constData());
    });
}

void AppMainFrame::importSubspaceResult()
{
    const QString what = tr("Import Subspace Clustering");
    // The views of a subspace clustering project the loaded points: without them there is
    // nothing to project.
    if (!m_modelLoaded) {
        UserOperation::Run(this, what, [] {
            Log::Puts("Error: load a data set before importing a subspace clustering");
            return false;
        });
        return;
    }
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Import Clustering label file"),
                                                                     kStartDirectory, "csv (*.CSV *.csv)");
    if (fileName.isEmpty()) return;
    UserOperation::Run(this, what, [&] {
        std::unique_ptr<SubspaceModel> model =
            SubspaceLoader::LoadSubspaceModelFromFile(fileName.toLocal8Bit().constData());
        return model && m_subspaceModel.SetSubspaceModel(std::move(model));
    });
}

void AppMainFrame::open()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Open XML HDdataSet file"),
                                                                     kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return;
    // A description that cannot be read changes nothing; one whose points cannot be read
    // leaves the window as after Close.
    UserOperation::Run(this, tr("Open"), [&] {
        return m_fileIO.OpenHDdataSet(fileName.toLocal8Bit().constData()) && loadDataToModel();
    }, [this] { m_dropFailedDataSet(); });
}

bool AppMainFrame::loadDataToModel()
{
    // A second data set starts from empty views, so nothing of the first survives in them
    // while the profile replaces the results they were built from.
    if (m_projectedView) m_projectedView->CleanUp();
    if (m_dataOperation) m_dataOperation->CleanUp();
    if (!m_profile.SetHDfileIO(&m_fileIO)) {
        m_dropFailedDataSet();
        return false;
    }
    m_modelLoaded = true;
    m_loadFailed = false;
    m_subspaceModel.dataProfile = &m_profile;
    m_profile.SetDataSetPath(m_fileIO.GetFullPath());
    m_controller.SetDataProfile(&m_profile);
    m_dataOperation->SetModelController(&m_profile, &m_controller);
    m_projectedView->SetModelController(&m_profile, &m_controller);
    m_parallelCoordinate->SetDataProfile(&m_profile);
    return true;
}

void AppMainFrame::m_closeDataSet()
{
    m_fileIO.Close();
    m_profile.CleanUp();
    if (m_dataOperation) m_dataOperation->CleanUp();
    if (m_projectedView) m_projectedView->CleanUp();
    // A closed data set is not shown any more; the next load follows the profile again.
    if (m_parallelCoordinate) m_parallelCoordinate->SetDataProfile(nullptr);
}

void AppMainFrame::m_dropFailedDataSet()
{
    m_modelLoaded = false;
    m_loadFailed = true;
    m_closeDataSet();
}

void AppMainFrame::close()
{
    UserOperation::Guard(tr("Close"), [this] {
        m_closeDataSet();
        return true;
    });
}

bool AppMainFrame::m_refuseFailedDataSet(const char* consequence)
{
    if (!m_loadFailed) return false;
    Log::Printf("Error: %s did not load; %s\n", m_fileIO.GetFullPath().c_str(), consequence);
    return true;
}

bool AppMainFrame::m_saveDataSet(const char* asPath)
{
    if (m_refuseFailedDataSet("nothing is saved")) return false;
    // Save As hands over the points as they are: after a deletion the copy gets the kept points
    // of its own, while the data set that was opened keeps its files until it is saved.
    if (asPath) {
        return m_modelLoaded ? m_fileIO.SaveAsHDdataSet(asPath, m_profile.GetPointSet())
                             : m_fileIO.SaveAsHDdataSet(asPath);
    }
    if (m_modelLoaded && !m_profile.SaveHDpointSet()) return false;
    return m_fileIO.SaveHDdataSet();
}

bool AppMainFrame::save()
{
    if (!m_fileIO.IsOpened()) return false;
    return UserOperation::Run(this, tr("Save"), [this] { return m_saveDataSet(nullptr); });
}

bool AppMainFrame::saveAs()
{
    if (!m_fileIO.IsOpened()) return false;
    const QString fileName = DialogService::Current().GetSaveFileName(this, tr("SaveAs XML HDdataSet file"),
                                                                     kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return false;
    return UserOperation::Run(this, tr("Save As"),
                              [&] { return m_saveDataSet(fileName.toLocal8Bit().constData()); });
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
    UserOperation::Guard(tr("Selection"), [this] {
        std::vector<int>* selected = m_projectedView->GetScene().GetSelectedPointIndex();
        m_parallelCoordinate->UpdatePointSelection(selected);
        m_scatterPlot->UpdatePointSelection(selected);
        if (selected->size() == 1) m_dataOperation->UpdatePointView(selected->front());
        return true;
    });
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
