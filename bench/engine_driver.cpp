// Developer tool: runs one engine on a data set outside the application, for benchmarks and
// end-to-end tests. Usage:
//   engine_driver (--csv FILE | --xml FILE) [--dims 0,2,3] [--state 0|1|2] [--distance 0|1|2]
//                 --method NAME [options] [--out FILE] [--repeat N]
// Exit status: 0 done, 1 the data or the engine failed, 2 a bad command line.
#include "driver/DriverData.h"
#include "driver/DriverMethods.h"
#include "driver/DriverOptions.h"

#include "AtomicFileWriter.h"
#include "ClusteringLevelFilter.h"
#include "DataOperationController.h"
#include "hNode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace EngineDriver;

namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

int Fail(int status, const std::string& message)
{
    std::fprintf(stderr, "engine_driver: %s\n", message.c_str());
    return status;
}

double MedianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Runs fn once and returns the elapsed milliseconds.
template <typename Fn>
double TimeMs(Fn&& fn)
{
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool IsMeasureName(const std::string& name)
{
    return name == "Stress" || name == "Robust" || name == "KDE" || name == "Corank" || name == "Cost";
}

// The per-point values of the --measure asked for (the result owns them); false when the
// embedding gives none.
bool MeasureEmbedding(Zelvo::EmbeddingResult& embedding, const DriverOptions& options,
                      const std::vector<float>*& perPoint)
{
    perPoint = nullptr;
    if (!options.Has("measure")) return true;
    const std::string name = options.Text("measure", "");
    embedding.kdeBandWidth = options.Float("bandwidth", embedding.kdeBandWidth);
    embedding.corankK = options.Int("corank-k", embedding.corankK);
    float total = 0;
    perPoint = name == "Cost" ? embedding.GetPerPointCost(total) : embedding.GetPerPointDistortion(total, name);
    if (!perPoint || perPoint->size() != static_cast<size_t>(embedding.pointCount)) return false;
    std::printf("%s total: %.9g\n", name.c_str(), total);
    return true;
}

// x,y per point, with the per-point measure as a third value when there is one.
void WriteEmbedding(std::FILE* out, const Zelvo::EmbeddingResult& embedding, const std::vector<float>* perPoint)
{
    const std::vector<float>& xy = embedding.originalPositions;
    for (int i = 0; i < embedding.pointCount; ++i) {
        const size_t at = static_cast<size_t>(i) * embedding.dim;
        if (perPoint)
            std::fprintf(out, "%.9g,%.9g,%.9g\n", xy[at], xy[at + 1], (*perPoint)[static_cast<size_t>(i)]);
        else
            std::fprintf(out, "%.9g,%.9g\n", xy[at], xy[at + 1]);
    }
}

// The level-1 cluster of every point (-1 for none), then the hierarchy text.
void WriteClustering(std::FILE* out, Zelvo::ClusteringResult& clustering, int pointCount)
{
    std::vector<int> labels(static_cast<size_t>(pointCount), -1);
    Zelvo::ClusteringLevelFilter filter(1);
    const auto clusters = filter.ApplyClusterFilter(clustering);
    for (size_t c = 0; c < clusters.size(); ++c)
        for (const int m : clusters[c]->GetMembers())
            if (m >= 0 && m < pointCount) labels[static_cast<size_t>(m)] = static_cast<int>(c);
    for (const int label : labels) std::fprintf(out, "%d\n", label);
    std::fprintf(out, "#tree %s\n", clustering.GetSerializedHierarchyString().c_str());
}

void WriteGraph(std::FILE* out, const Zelvo::GraphModel<float>* graph)
{
    if (!graph) return;
    for (const auto& edge : graph->edges) std::fprintf(out, "%d,%d\n", edge.first, edge.second);
}

int RunLoad(const DriverOptions& options)
{
    std::vector<double> times;
    std::unique_ptr<DriverData> data;
    for (int r = 0; r < options.repeat; ++r) {
        std::srand(0);
        data = std::make_unique<DriverData>();
        std::string error;
        bool loaded = false;
        times.push_back(TimeMs([&] { loaded = data->Load(options, error); }));
        if (!loaded) return Fail(kFailed, error);
    }
    Zelvo::HDpointSet<float>& points = data->Profile().GetPointSet();
    std::printf("points: %d dims: %d\n", points.GetPointCount(), static_cast<int>(points.m_dimMask.size()));
    std::printf("time_ms: %.3f\n", MedianOf(times));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    DriverOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) return Fail(kBadUsage, error);
    const bool load = options.method == "load";
    const DriverMethod* method = load ? nullptr : FindDriverMethod(options.method);
    if (!load && !method) return Fail(kBadUsage, "unknown method " + options.method);
    if (options.Has("measure") && !IsMeasureName(options.Text("measure", "")))
        return Fail(kBadUsage, "unknown measure " + options.Text("measure", ""));
    if (load) return RunLoad(options);

    DriverData data;
    if (!data.Load(options, error)) return Fail(kFailed, error);
    if (!data.ApplySelection(options, error)) return Fail(kBadUsage, error);
    Zelvo::DataOperationController controller;
    controller.SetDataProfile(&data.Profile());
    DriverContext context{options, data, controller};
    std::unique_ptr<PreparedMethod> prepared = method->prepare(context, error);
    if (!prepared) return Fail(kFailed, options.method + ": " + error);

    std::vector<double> times;
    EngineOutput output;
    for (int r = 0; r < options.repeat; ++r) {
        std::srand(0);
        output = EngineOutput();
        bool ran = false;
        times.push_back(TimeMs([&] { ran = prepared->Run(output); }));
        if (!ran) return Fail(kFailed, options.method + ": the engine failed");
    }

    const std::vector<float>* perPoint = nullptr;
    if (output.embedding && !MeasureEmbedding(*output.embedding, options, perPoint))
        return Fail(kFailed, "the embedding gives no " + options.Text("measure", "") + " per point");
    if (output.graph) std::printf("edges: %zu\n", output.graph->edges.size());

    if (!options.outPath.empty()) {
        // Replaced whole or not at all: a full disk or a file-size limit keeps the old file.
        Zelvo::AtomicFileWriter out(options.outPath);
        if (std::FILE* file = out.File()) {
            if (output.embedding)
                WriteEmbedding(file, *output.embedding, perPoint);
            else if (output.clustering)
                WriteClustering(file, *output.clustering, data.Profile().GetPointSet().GetPointCount());
            else
                WriteGraph(file, output.graph.get());
        }
        if (!out.Commit()) return Fail(kFailed, "cannot write " + options.outPath + " (" + out.Reason() + ")");
    }
    std::printf("time_ms: %.3f\n", MedianOf(times));
    return 0;
}
