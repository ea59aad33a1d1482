// view_bench operations of the projected view's scene: build, paint, lasso, recolour, level.
// Data: K Gaussian blobs in D dimensions; the embedding is the first two coordinates.
#include "ViewBenchOps.h"

#include "ClusterNodeGraphModel.h"
#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "HDpointSet.h"
#include "ProjectedViewGraphicsView.h"
#include "ProjectedViewScene.h"
#include "xmlColorMap.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Zelvo::ProjectedViewScene;

struct SceneBench {
    Zelvo::HDpointSet<float> points;
    std::unique_ptr<Zelvo::EmbeddingResult> embedding;
    Zelvo::ClusteringResult clustering;
    xmlColorMap colorMap;
    ProjectedViewScene scene;
    Zelvo::ProjectedViewGraphicsView view;

    explicit SceneBench(const ViewBench::Options& options)
    {
        const int n = options.points, d = std::max(2, options.dims), k = std::max(1, options.clusters);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> place(-50.0f, 50.0f);
        std::normal_distribution<float> spread(0.0f, 4.0f);
        std::vector<float> centres(static_cast<size_t>(k) * d);
        for (float& c : centres) c = place(random);
        std::vector<std::vector<int>> members(k);
        points.m_dimMask.assign(d, true);
        points.m_dimension = d;
        for (int j = 0; j < d; ++j) points.m_dimLabels.push_back("dim" + std::to_string(j));
        points.m_values.resize(static_cast<size_t>(n) * d);
        std::vector<float> xy(static_cast<size_t>(n) * 2);
        for (int i = 0; i < n; ++i) {
            const int c = i % k;
            members[c].push_back(i);
            for (int j = 0; j < d; ++j) points.m_values[static_cast<size_t>(i) * d + j] = centres[c * d + j] + spread(random);
            xy[2 * i] = points.m_values[static_cast<size_t>(i) * d];
            xy[2 * i + 1] = points.m_values[static_cast<size_t>(i) * d + 1];
        }
        points.UpdateDimensionMinMaxMeanVariance();
        embedding = std::make_unique<Zelvo::EmbeddingResult>(xy.data(), 2, n, &points);
        clustering.SetClusteringIndexArray(members);
        // As the application does: from ./colorMaps/ (run from the source tree), else the default ramp.
        colorMap.loadColorMap("./colorMaps/spectralColorMap.xml");
        view.setScene(&scene);
        view.resize(1200, 800);
    }

    void Show()
    {
        scene.SetEmbeddingResult(embedding.get(), false, false);
        const QRectF r = scene.ZoomToFitAllItem();
        view.fitInView(r, Qt::KeepAspectRatio);
    }

    void Cluster()
    {
        scene.SetClusterNodeGraph(
            std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points), 1, 3);
    }

    void Paint() { view.viewport()->grab(); }
};

// Times step; after (untimed) runs behind each step.
template <typename Setup, typename Step, typename After = void (*)(SceneBench&)>
std::vector<double> Run(const ViewBench::Options& options, Setup setup, Step step, After after = [](SceneBench&) {})
{
    SceneBench bench(options);
    setup(bench);
    std::vector<double> times;
    for (int r = 0; r < options.repeat; ++r) {
        QElapsedTimer timer;
        timer.start();
        step(bench, r);
        times.push_back(timer.nsecsElapsed() / 1e6);
        after(bench);
    }
    return times;
}

// A 200-vertex star around the middle of the data, taking in about half the points.
QPolygonF Lasso(const QRectF& bounds)
{
    QPolygonF polygon;
    const QPointF c = bounds.center();
    const double r = 0.45 * std::min(bounds.width(), bounds.height());
    for (int i = 0; i < 200; ++i) {
        const double a = 2 * M_PI * i / 200;
        const double radius = r * (i % 2 ? 0.8 : 1.0);
        polygon << QPointF(c.x() + radius * std::cos(a), c.y() + radius * std::sin(a));
    }
    return polygon;
}

const ViewBench::Registrar buildOp("build", [](const ViewBench::Options& o) {
    return Run(o, [](SceneBench&) {}, [](SceneBench& b, int) { b.Show(); });
});

const ViewBench::Registrar paintOp("paint", [](const ViewBench::Options& o) {
    return Run(o, [](SceneBench& b) { b.Show(); b.Paint(); }, [](SceneBench& b, int) { b.Paint(); });
});

const ViewBench::Registrar lassoOp("lasso", [](const ViewBench::Options& o) {
    return Run(o, [](SceneBench& b) { b.Show(); },
               [](SceneBench& b, int) {
                   b.scene.SelectByPolygon(Lasso(b.scene.sceneRect()));
                   std::printf("step lasso selected %zu\n", b.scene.GetSelectedPointIndex()->size());
               });
});

const ViewBench::Registrar recolourOp("recolour", [](const ViewBench::Options& o) {
    return Run(o, [](SceneBench& b) { b.Show(); b.Paint(); },
               [&o](SceneBench& b, int r) { b.scene.SetDimDataColorMap(&b.colorMap, r % std::max(1, o.dims)); },
               [](SceneBench& b) {
                   QElapsedTimer paint;
                   paint.start();
                   b.Paint();
                   std::printf("step repaint %.2f\n", paint.nsecsElapsed() / 1e6);
               });
});

const ViewBench::Registrar levelOp("level", [](const ViewBench::Options& o) {
    return Run(o, [](SceneBench& b) { b.Show(); b.Cluster(); },
               [](SceneBench& b, int) { b.scene.ChangeClusterLevel(1); });
});

}  // namespace
