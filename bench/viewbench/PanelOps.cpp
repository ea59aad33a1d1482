// view_bench --op panel: the data-operation panel on a generated data set of --points x --dims.
// Each repetition times giving the panel the data set (every table filled and painted, the point
// list in view) and the dimension-mask Apply after every other mask box was flipped
// ("step fill/apply ... MS").
#include "viewbench/ViewBenchData.h"
#include "viewbench/ViewBenchOps.h"

#include "DataOperationController.h"
#include "DataProfile.h"
#include "DataPropertyWidget.h"
#include "HDfileIO.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cstdio>

namespace {

std::vector<double> Panel(const ViewBench::Options& options)
{
    QTemporaryDir dir;
    Zelvo::HDfileIO file;
    Zelvo::DataProfile profile;
    if (!ViewBench::LoadGeneratedDataSet(dir, options, "panel", file, profile)) return {};
    Zelvo::DataOperationController controller;
    controller.SetDataProfile(&profile);

    QWidget dock;
    auto* panel = new Zelvo::DataPropertyWidget(&dock);
    (new QVBoxLayout(&dock))->addWidget(panel);
    dock.show();
    QApplication::processEvents();

    std::vector<double> times;
    for (int r = 0; r < options.repeat; ++r) {
        panel->CleanUp();
        // The point list in view while it fills: the dearer case.
        panel->tabWidget->setCurrentIndex(0);
        panel->toolBoxDataView->setCurrentIndex(1);
        QApplication::processEvents();

        QElapsedTimer timer;
        timer.start();
        panel->SetModelController(&profile, &controller);
        QApplication::processEvents();
        const double fill = ViewBench::Milliseconds(timer);

        QTableWidget* dims = panel->table_DimensionProperty;
        for (int d = 0; d < dims->rowCount(); d += 2) {
            QTableWidgetItem* mask = dims->item(d, 0);
            mask->setCheckState(mask->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        }
        panel->toolBoxDataView->setCurrentIndex(0);
        QApplication::processEvents();
        timer.restart();
        panel->pbApply->click();
        QApplication::processEvents();
        const double apply = ViewBench::Milliseconds(timer);

        std::printf("step fill %.2f MS\nstep apply %.2f MS\n", fill, apply);
        times.push_back(fill + apply);
    }
    return times;
}

const ViewBench::Registrar registrar("panel", Panel);

}  // namespace
