#include "AppMainFrame.h"

#include "DialogService.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace Zelvo {

namespace {

const char* const kStartDirectory = "./";
const char* const kXmlFilter = "XML (*.XML *.xml)";

}  // namespace

AppMainFrame::AppMainFrame()
{
    createActions();
    createMenus();
}

AppMainFrame::~AppMainFrame() = default;

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
}

void AppMainFrame::importCSV()
{
}

void AppMainFrame::importClusteringLabel()
{
}

void AppMainFrame::importClusterHierarchy()
{
}

void AppMainFrame::importSubspaceResult()
{
}

void AppMainFrame::open()
{
    const QString fileName = DialogService::Current().GetOpenFileName(this, tr("Open XML HDdataSet file"),
                                                                     kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return;
    m_fileIO.OpenHDdataSet(fileName.toLocal8Bit().constData());
}

void AppMainFrame::close()
{
    m_fileIO.Close();
}

bool AppMainFrame::save()
{
    if (!m_fileIO.IsOpened()) return false;
    return m_fileIO.SaveHDdataSet();
}

bool AppMainFrame::saveAs()
{
    if (!m_fileIO.IsOpened()) return false;
    const QString fileName = DialogService::Current().GetSaveFileName(this, tr("SaveAs XML HDdataSet file"),
                                                                     kStartDirectory, kXmlFilter);
    if (fileName.isEmpty()) return false;
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
