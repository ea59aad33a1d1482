// Tree clustering at 2,000, 5,000 and 10,000 points in 8 dimensions for every linkage,
// beside SciPy's linkage on the same data (Debian's /usr/bin/python3, timed inside Python
// so its start-up does not count). Run from a Release build:
//   ./build-release/bench/bench_treecluster --benchmark_repetitions=3
#include "TreeCluster.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

const int kDims = 8;
const int kSizes[] = {2000, 5000, 10000};

struct Linkage {
    char method;
    const char* name;       // ours
    const char* scipyName;  // SciPy's
};
const Linkage kLinkages[] = {
    {'s', "single", "single"},
    {'m', "maximum", "complete"},
    {'a', "average", "average"},
    {'c', "centroid", "centroid"},
};

// Gaussian blobs in row-pointer layout, the same for every run.
struct Points {
    int n = 0;
    std::vector<double> values;
    std::vector<int> present;
    std::vector<double> weight;
    std::vector<double*> rows;
    std::vector<int*> masks;
    std::string file;  // the values as raw doubles, for Python

    explicit Points(int count) : n(count), values(size_t(count) * kDims), present(size_t(count) * kDims, 1), weight(kDims, 1.0)
    {
        std::mt19937 rng(1234);
        std::normal_distribution<double> normal(0.0, 1.0);
        std::uniform_int_distribution<int> blob(0, 9);
        std::vector<double> centres(10 * kDims);
        for (double& c : centres) c = 6.0 * normal(rng);
        for (int i = 0; i < count; i++) {
            const int b = blob(rng);
            for (int d = 0; d < kDims; d++) values[size_t(i) * kDims + d] = centres[b * kDims + d] + normal(rng);
            rows.push_back(values.data() + size_t(i) * kDims);
            masks.push_back(present.data() + size_t(i) * kDims);
        }
        file = (std::filesystem::temp_directory_path() / ("bench_treecluster_" + std::to_string(count) + ".f64")).string();
        if (FILE* out = std::fopen(file.c_str(), "wb")) {
            std::fwrite(values.data(), sizeof(double), values.size(), out);
            std::fclose(out);
        }
    }
    ~Points() { std::remove(file.c_str()); }
};

Points& pointsOf(int n)
{
    static std::map<int, std::unique_ptr<Points>> cache;
    auto& p = cache[n];
    if (!p) p = std::make_unique<Points>(n);
    return *p;
}

void runTreecluster(benchmark::State& state, int n, char method)
{
    Points& p = pointsOf(n);
    for (auto _ : state) {
        TreeClusterNode* tree = treecluster(n, kDims, p.rows.data(), p.masks.data(), p.weight.data(), 0, 'e', method, nullptr);
        if (!tree) {
            state.SkipWithError("treecluster failed");
            break;
        }
        benchmark::DoNotOptimize(tree[n - 2].distance);
        std::free(tree);
    }
}

// SciPy on the same distances: squared Euclidean over d for the matrix methods, the points
// themselves for centroid linkage.
void runScipy(benchmark::State& state, int n, const char* method)
{
    Points& p = pointsOf(n);
    const std::string script =
        "import sys, time\n"
        "import numpy as np\n"
        "from scipy.cluster.hierarchy import linkage\n"
        "from scipy.spatial.distance import pdist\n"
        "X = np.fromfile(sys.argv[1], dtype=np.float64).reshape(-1, " + std::to_string(kDims) + ")\n"
        "m = sys.argv[2]\n"
        "t = time.perf_counter()\n"
        "Z = linkage(X, m) if m == 'centroid' else linkage(pdist(X, 'sqeuclidean') / X.shape[1], m)\n"
        "print(time.perf_counter() - t)\n";
    const std::string command = "/usr/bin/python3 -c \"" + script + "\" " + p.file + " " + method;
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = -1.0;
        if (pipe) {
            if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1.0;
            pclose(pipe);
        }
        if (seconds < 0.0) {
            state.SkipWithError("SciPy did not run");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (int n : kSizes) {
        for (const Linkage& l : kLinkages) {
            const std::string suffix = std::string(l.name) + "/" + std::to_string(n);
            benchmark::RegisterBenchmark(("treecluster/" + suffix).c_str(),
                                         [n, l](benchmark::State& s) { runTreecluster(s, n, l.method); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
            benchmark::RegisterBenchmark(("scipy/" + suffix).c_str(),
                                         [n, l](benchmark::State& s) { runScipy(s, n, l.scipyName); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseManualTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
