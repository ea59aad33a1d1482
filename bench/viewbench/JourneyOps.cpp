// view_bench --op journey: the whole road through the real main window, offscreen, with the
// dialogs answered from a script: New, Import CSV (a generated file of --points x --dims), PCA
// from the panel, k-means++ with k = --clusters from the panel, a lasso over about a tenth of the
// points, and Close. Each step is timed until the window has painted its result
// ("step NAME MS"); a repetition's time is the sum of its steps.
#include "viewbench/ViewBenchData.h"
#include "viewbench/ViewBenchOps.h"

#include "AppMainFrame.h"
#include "DataPropertyWidget.h"
#include "DialogService.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewScene.h"
#include "ProjectedViewWidget.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <utility>

namespace {

// Answers every file dialog with the next scripted name and every question with Ok.
class ScriptedDialogs : public Zelvo::DialogService {
public:
    ScriptedDialogs() : m_previous(SetCurrent(this)) {}
    ~ScriptedDialogs() override { SetCurrent(m_previous); }
    void Answer(const QString& name) { m_names.push_back(name); }

    QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return Next(); }
    QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return Next(); }
    QMessageBox::StandardButton Warning(QWidget*, const QString&, const QString&, QMessageBox::StandardButtons,
                                        QMessageBox::StandardButton) override
    {
        return QMessageBox::Ok;
    }

private:
    QString Next()
    {
        if (m_names.empty()) return QString();
        const QString name = m_names.front();
        m_names.pop_front();
        return name;
    }
    Zelvo::DialogService* m_previous;
    std::deque<QString> m_names;
};

QAction* ActionOf(Zelvo::AppMainFrame& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == text) return action;
    return nullptr;
}

// Runs the step, lets queued work finish and paints the whole window.
double Step(const char* name, Zelvo::AppMainFrame& window, const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    QApplication::processEvents();
    window.repaint();
    for (QWidget* child : window.findChildren<QWidget*>())
        if (child->isVisible() && child->isWindow()) child->repaint();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("step %s %.1f\n", name, ms);
    return ms;
}

// A lasso drawn on the canvas around the points left of the tenth part of their x range.
void LassoTenth(Zelvo::ProjectedViewWidget& view)
{
    QWidget* viewport = view.GView->viewport();
    std::vector<double> xs;
    QRectF bounds;
    const auto* scene = static_cast<Zelvo::ProjectedViewScene*>(view.GView->scene());
    for (const Zelvo::PointGraphicsItem* item : scene->GetPointItems()) {
        if (!item->isVisible()) continue;
        const QPointF p = item->scenePos();
        xs.push_back(p.x());
        bounds |= QRectF(p, QSizeF(1e-3, 1e-3));
    }
    if (xs.empty()) return;
    std::nth_element(xs.begin(), xs.begin() + xs.size() / 10, xs.end());
    const double cut = xs[xs.size() / 10];
    const QRectF area(bounds.left() - 1, bounds.top() - 1, cut - bounds.left() + 1, bounds.height() + 2);
    const QPoint corners[] = {view.GView->mapFromScene(area.topLeft()), view.GView->mapFromScene(area.topRight()),
                              view.GView->mapFromScene(area.bottomRight()),
                              view.GView->mapFromScene(area.bottomLeft())};
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, corners[0]);
    for (int k = 1; k <= 4; ++k) {
        const QPoint a = corners[k - 1], b = corners[k % 4];
        for (int s = 1; s <= 50; ++s) QTest::mouseMove(viewport, a + (b - a) * s / 50);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, corners[0]);
}

// The journey; with colourModes, after the lasso every colour mode of the projected view in
// turn ("step colour-NAME MS") and the deletion of the lassoed points, before Close.
std::vector<double> RunJourney(const ViewBench::Options& options, bool colourModes)
{
    // The colour maps are read from ./colorMaps/ below the source tree.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(TOLVEMARK_SOURCE_DIR);
    std::vector<double> totals;
    for (int r = 0; r < options.repeat; ++r) {
        QTemporaryDir dir;
        const QString csv = dir.filePath("journey.csv");
        if (!dir.isValid() ||
            !ViewBench::WriteClusteredCsv(csv.toStdString(), options.points, options.dims, options.clusters)) {
            std::fprintf(stderr, "journey: could not write the data\n");
            return {};
        }
        ScriptedDialogs dialogs;
        Zelvo::AppMainFrame window;
        window.resize(1600, 1000);
        window.show();
        window.GetParallelCoordinateDock()->show();
        QApplication::processEvents();
        Zelvo::DataPropertyWidget& panel = *window.GetDataOperationPanel();
        Zelvo::ProjectedViewWidget& view = *window.GetProjectedView();

        double total = 0;
        dialogs.Answer(dir.filePath("journey.xml"));
        total += Step("new", window, [&] { ActionOf(window, "&New ...")->trigger(); });
        dialogs.Answer(csv);
        total += Step("import", window, [&] { ActionOf(window, "&Import CSV...")->trigger(); });
        total += Step("pca", window, [&] {
            panel.tabWidget->setCurrentIndex(2);
            panel.toolBoxDimReduction->setCurrentIndex(0);
            panel.pbApply->click();
        });
        total += Step("kmeans", window, [&] {
            panel.tabWidget->setCurrentIndex(1);
            panel.toolBoxClustering->setCurrentIndex(1);
            panel.comboBox_kmeansType->setCurrentIndex(1);
            panel.spinBox_kmeansClusterNumber->setValue(options.clusters);
            panel.pbApply->click();
        });
        total += Step("lasso", window, [&] { LassoTenth(view); });
        if (colourModes) {
            view.checkBox_EnableCoranking->setChecked(true);
            const std::pair<const char*, QRadioButton*> modes[] = {
                {"dimension", view.radioButton_DimensionValue}, {"cost", view.radioButton_PerPointCost},
                {"stress", view.radioButton_Stress},            {"robust", view.radioButton_RobustDistance},
                {"kde", view.radioButton_KDE},                  {"corank", view.radioButton_Coranking},
                {"neighbours", view.radioButton_HighlightNeighbor}, {"cluster", view.radioButton_ClusteringResult}};
            for (const auto& [name, radio] : modes)
                total += Step(("colour-" + std::string(name)).c_str(), window, [radio = radio] { radio->click(); });
            total += Step("delete", window, [&] { view.pushButton_deletePoints->click(); });
        }
        total += Step("close", window, [&] { ActionOf(window, "&Close")->trigger(); });
        totals.push_back(total);
    }
    QDir::setCurrent(previous);
    return totals;
}

const ViewBench::Registrar journey("journey", [](const ViewBench::Options& o) { return RunJourney(o, false); });
const ViewBench::Registrar journeyColours("journey-colours",
                                          [](const ViewBench::Options& o) { return RunJourney(o, true); });

}  // namespace
