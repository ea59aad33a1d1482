// view_bench --op widget-range: the projected view widget showing a PCA embedding of a generated
// data set of --points x --dims in "Local Stress" mode. Each repetition drags the ColorMap Range
// slider through 20 steps and lets it go, and then picks "Local Stress" again; it prints how long
// the first colouring took (the measure computed), the drag and the repeated choice, and how
// often the measure was computed ("step ... MS", "measures ...").
#include "viewbench/ViewBenchData.h"
#include "viewbench/ViewBenchOps.h"

#include "BatchTimer.h"
#include "DataOperationController.h"
#include "DataProfile.h"
#include "DimReductionFactory.h"
#include "HDfileIO.h"
#include "ProjectedViewWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

int MeasureCount()
{
    const auto* timer = Zelvo::BatchTimer::GetInstance().GetTimer("Stress");
    return timer ? timer->GetCallCount() : 0;
}

std::vector<double> RangeDrag(const ViewBench::Options& options)
{
    QTemporaryDir dir;
    Zelvo::HDfileIO file;
    Zelvo::DataProfile profile;
    if (!ViewBench::LoadGeneratedDataSet(dir, options, "widget-range", file, profile)) return {};
    Zelvo::DataOperationController controller;
    controller.SetDataProfile(&profile);
    Zelvo::ProjectedViewWidget widget;
    widget.resize(1200, 800);
    widget.show();
    widget.SetModelController(&profile, &controller);
    auto engine = Zelvo::DimReductionFactory::FromPCAFactory(profile.GetDistanceFunctor());
    profile.SetCurrentEmbeddingResult(controller.ApplyDimReduction(engine.get()));
    if (!profile.GetCurrentEmbeddingResult()) {
        std::fprintf(stderr, "widget-range: no embedding\n");
        return {};
    }
    Zelvo::BatchTimer::GetInstance().RegisterTimer("Stress");
    QApplication::processEvents();

    QSlider* range = widget.horizontalSlider_rangePercentage;
    std::vector<double> times;
    for (int r = 0; r < options.repeat; ++r) {
        widget.radioButton_DimensionValue->click();
        range->setValue(range->maximum());
        // Shown anew, so the first Stress colouring computes its measure again.
        widget.checkBox_isMinimalEnclosingBall->toggle();
        QApplication::processEvents();
        const int before = MeasureCount();

        QElapsedTimer timer;
        timer.start();
        widget.radioButton_Stress->click();
        QApplication::processEvents();
        const double first = ViewBench::Milliseconds(timer);

        timer.restart();
        range->setSliderDown(true);
        for (int step = 1; step <= 20; ++step) {
            range->setValue(range->maximum() - 4 * step);
            QApplication::processEvents();
        }
        range->setSliderDown(false);
        QApplication::processEvents();
        const double drag = ViewBench::Milliseconds(timer);

        timer.restart();
        widget.radioButton_Stress->click();
        QApplication::processEvents();
        const double again = ViewBench::Milliseconds(timer);

        std::printf("step first %.2f MS\nstep drag %.2f MS\nstep again %.2f MS\nmeasures %d\n", first, drag, again,
                    MeasureCount() - before);
        times.push_back(drag);
    }
    return times;
}

const ViewBench::Registrar registrar("widget-range", RangeDrag);

}  // namespace
