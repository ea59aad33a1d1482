#pragma once

#include "HDfileIO.h"

#include <QMainWindow>

class QAction;
class QCloseEvent;
class QMenu;

namespace Zelvo {

// The main window: File and Help menus, the file dialogs, and the question before closing.
// It owns the data-set file object for the whole run.
class AppMainFrame : public QMainWindow {
    Q_OBJECT

public:
    AppMainFrame();
    ~AppMainFrame() override;

    HDfileIO& GetHDfileIO() { return m_fileIO; }

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

private:
    void createActions();
    void createMenus();

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

    HDfileIO m_fileIO;
};

}  // namespace Zelvo
