#pragma once

#include "AppMainFrame.h"
#include "DataPropertyWidget.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewWidget.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QToolBox>

#include <algorithm>
#include <string>
#include <vector>

// One main window driven as a user drives it: menu actions whose file dialogs the script
// answers, the panel's Apply, and Delete Points on chosen rows.
struct WindowDriver {
    explicit WindowDriver(ScriptedDialogService& dialogs, int width = 1800, int height = 1100) : dialogs(dialogs)
    {
        frame.resize(width, height);
        frame.show();
    }
    // Triggers the action with that text, its file dialog answered with name; false when the
    // window has no such action.
    bool Trigger(const QString& text, const std::string& name = "")
    {
        if (!name.empty()) dialogs.AnswerFileName(QString::fromStdString(name));
        bool found = false;
        for (QAction* action : frame.findChildren<QAction*>()) {
            if (action->text() != text) continue;
            TestSupport::CaptureStdout([&] { action->trigger(); });
            found = true;
        }
        QCoreApplication::processEvents();
        return found;
    }
    // Apply on a tab of the panel (0 data, 1 clustering, 2 dimension reduction) and a page of its box.
    void Apply(int tab, int page)
    {
        Panel().tabWidget->setCurrentIndex(tab);
        QToolBox* boxes[] = {Panel().toolBoxDataView, Panel().toolBoxClustering, Panel().toolBoxDimReduction};
        boxes[tab]->setCurrentIndex(page);
        TestSupport::CaptureStdout([&] { Panel().pbApply->click(); });
        QCoreApplication::processEvents();
    }
    void Pca() { Apply(2, 0); }
    // The point item that shows a row of the point set as it is numbered now.
    Zelvo::PointGraphicsItem* ItemOfRow(int row)
    {
        const std::vector<int>& rows = Scene().GetPointSetRows();
        return Scene().GetPointItems()[size_t(std::find(rows.begin(), rows.end(), row) - rows.begin())];
    }
    // Selects the points of the given rows of the moment, and only them, and deletes them.
    void Delete(const std::vector<int>& rows)
    {
        Scene().clearSelection();
        for (int row : rows) ItemOfRow(row)->setSelected(true);
        TestSupport::CaptureStdout([&] { View().pushButton_deletePoints->click(); });
        QCoreApplication::processEvents();
    }

    Zelvo::DataPropertyWidget& Panel() { return *frame.GetDataOperationPanel(); }
    Zelvo::ProjectedViewWidget& View() { return *frame.GetProjectedView(); }
    Zelvo::ProjectedViewScene& Scene() { return View().GetScene(); }

    ScriptedDialogService& dialogs;
    Zelvo::AppMainFrame frame;
};
