// view_bench operations of the parallel coordinates, on generated points:
//   pc-build     rebuild the axes, take the colours and draw the first frame
//   pc-paint     repaint a frame in which nothing changed
//   pc-recolour  new per-point colours, then a repaint
//   pc-select    a new selection (every tenth point, shifted each time), then a repaint
// The drawing area is 1200 x 300 pixels, antialiased, offscreen. The values come from an integer
// hash, so bench/viewbench/parallel_coordinates_pyqtgraph.py draws the same polylines.
#include "viewbench/ViewBenchOps.h"

#include "CoordinateAxisItem.h"
#include "DataProfile.h"
#include "ParallelCoordinateWidget.h"

#include <QElapsedTimer>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// Value of point p in dimension d, in [0, 1): a cluster centre plus noise.
float GeneratedValue(uint32_t p, uint32_t d, uint32_t clusters)
{
    auto hash = [](uint32_t h) {
        h ^= h >> 15;
        h *= 2246822519u;
        h ^= h >> 13;
        h *= 3266489917u;
        h ^= h >> 16;
        return h;
    };
    const uint32_t cluster = p % clusters;
    const float centre = static_cast<float>(hash(cluster * 7919u + d * 104729u + 1u) & 0xFFFFFFu) / 16777216.0f;
    const float noise = static_cast<float>(hash(p * 2654435761u + d * 40503u + 17u) & 0xFFFFFFu) / 16777216.0f;
    return 0.6f * centre + 0.4f * noise;
}

struct Fixture {
    Zelvo::DataProfile profile;
    std::unique_ptr<Zelvo::ParallelCoordinateWidget> widget;
    std::vector<QColor> colours;

    explicit Fixture(const ViewBench::Options& options)
    {
        Zelvo::HDpointSet<float>& set = profile.GetPointSet();
        const uint32_t n = static_cast<uint32_t>(options.points), D = static_cast<uint32_t>(options.dims);
        set.m_dimMask.assign(D, true);
        set.m_dimension = D;
        for (uint32_t d = 0; d < D; ++d) set.m_dimLabels.push_back("dim" + std::to_string(d));
        set.m_values.resize(static_cast<size_t>(n) * D);
        for (uint32_t p = 0; p < n; ++p)
            for (uint32_t d = 0; d < D; ++d)
                set.m_values[static_cast<size_t>(p) * D + d] =
                    GeneratedValue(p, d, static_cast<uint32_t>(options.clusters));
        set.UpdateDimensionMinMaxMeanVariance();
        Recolour(0);
        profile.SetPointColors(&colours);

        widget = std::make_unique<Zelvo::ParallelCoordinateWidget>();
        widget->resize(1400, 320);
        widget->show();
        // Grow the window until the drawing area itself is 1200 x 300.
        const QSize area = widget->gView_ParallelCoordinate->viewport()->size();
        widget->resize(widget->size() + QSize(1200, 300) - area);
        widget->SetDataProfile(&profile);
        widget->UpdatePointColor();
        Paint();
    }

    void Recolour(int round)
    {
        const int n = profile.GetPointSet().GetPointCount();
        colours.resize(static_cast<size_t>(n));
        for (int p = 0; p < n; ++p)
            colours[p] = QColor::fromHsv((p * 37 + round * 90) % 360, 200, 220);
    }

    // Renders the drawing area through its paint event, as a repaint on screen would.
    void Paint()
    {
        QWidget* area = widget->gView_ParallelCoordinate->viewport();
        if (frame.size() != area->size()) frame = QImage(area->size(), QImage::Format_ARGB32_Premultiplied);
        area->render(&frame);
    }

    QImage frame;
};

template <typename Step>
std::vector<double> Time(const ViewBench::Options& options, Step step)
{
    Fixture fixture(options);
    const QSize area = fixture.widget->gView_ParallelCoordinate->viewport()->size();
    std::printf("drawing area %d x %d, %d axes\n", area.width(), area.height(),
                static_cast<int>(fixture.widget->GetAxisItems().size()));
    std::vector<double> times;
    for (int r = 0; r < options.repeat; ++r) {
        QElapsedTimer timer;
        timer.start();
        step(fixture, r);
        fixture.Paint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    int renders = 0;
    for (const auto& axis : fixture.widget->GetAxisItems()) renders += axis->GetLineRenderCount();
    std::printf("line images drawn by the last axes: %d\n", renders);
    return times;
}

const ViewBench::Registrar build("pc-build", [](const ViewBench::Options& options) {
    return Time(options, [](Fixture& f, int) {
        f.widget->SetAxisData();
        f.widget->UpdatePointColor();
    });
});

const ViewBench::Registrar paint("pc-paint", [](const ViewBench::Options& options) {
    return Time(options, [](Fixture&, int) {});
});

const ViewBench::Registrar recolour("pc-recolour", [](const ViewBench::Options& options) {
    return Time(options, [](Fixture& f, int round) {
        f.Recolour(round + 1);
        emit f.profile.PointColorChanged();
    });
});

const ViewBench::Registrar select("pc-select", [](const ViewBench::Options& options) {
    return Time(options, [](Fixture& f, int round) {
        std::vector<int> selection;
        for (int p = round % 10; p < f.profile.GetPointSet().GetPointCount(); p += 10) selection.push_back(p);
        f.widget->UpdatePointSelection(&selection);
    });
});

}  // namespace
