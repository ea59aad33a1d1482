// view_bench --op distortion --mode stress|robust|kde|corank: one distortion measure of a PCA
// embedding of a generated data set of --points x --dims, computed through the embedding result
// as the projected view asks for it (bandwidth 3, neighbourhood 10). Each repetition is one
// measure, the first one included (it makes whatever the measure keeps between calls); each
// prints "step measure MS" and whether the measure gave values.
#include "viewbench/ViewBenchData.h"
#include "viewbench/ViewBenchOps.h"

#include "DataOperationController.h"
#include "DataProfile.h"
#include "DimReductionFactory.h"
#include "EmbeddingResult.h"
#include "HDfileIO.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <string>

namespace {

std::vector<double> Distortion(const ViewBench::Options& options)
{
    static const std::map<std::string, std::string> names = {
        {"stress", "Stress"}, {"robust", "Robust"}, {"kde", "KDE"}, {"corank", "Corank"}};
    const auto name = names.find(options.mode);
    if (name == names.end()) {
        std::fprintf(stderr, "distortion: --mode stress|robust|kde|corank\n");
        return {};
    }
    QTemporaryDir dir;
    Zelvo::HDfileIO file;
    Zelvo::DataProfile profile;
    if (!ViewBench::LoadGeneratedDataSet(dir, options, "distortion", file, profile)) return {};
    Zelvo::DataOperationController controller;
    controller.SetDataProfile(&profile);
    auto engine = Zelvo::DimReductionFactory::FromPCAFactory(profile.GetDistanceFunctor());
    profile.SetCurrentEmbeddingResult(controller.ApplyDimReduction(engine.get()));
    Zelvo::EmbeddingResult* embedding = profile.GetCurrentEmbeddingResult();
    if (!embedding) {
        std::fprintf(stderr, "distortion: no embedding\n");
        return {};
    }
    embedding->kdeBandWidth = 3.0f;
    embedding->corankK = 10;

    std::vector<double> times;
    for (int r = 0; r < options.repeat; ++r) {
        float total = 0;
        QElapsedTimer timer;
        timer.start();
        const std::vector<float>* values = embedding->GetPerPointDistortion(total, name->second);
        const double ms = ViewBench::Milliseconds(timer);
        std::printf("step measure %.2f MS\n", ms);
        if (values)
            std::printf("values %zu total %.6g\n", values->size(), total);
        else
            std::printf("values none\n");
        times.push_back(ms);
    }
    return times;
}

const ViewBench::Registrar registrar("distortion", Distortion);

}  // namespace
