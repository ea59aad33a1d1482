// Spectral and subspace clustering at 2,000, 5,000 and 10,000 points, beside scikit-learn's
// SpectralClustering on the same Gaussian affinity (timed by Debian's Python in the same run).
#include "HDpointSet.h"
#include "SpectralClusteringCore.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int kBlobs = 5;
const int kDims = 4;
const double kKernel = 0.05;

// Interleaved Gaussian blobs (point i in blob i % kBlobs) around random centres.
void fillBlobs(Zelvo::HDpointSet<float>& set, int n)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> box(0.0f, 40.0f);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> centres(kBlobs * kDims);
    for (float& c : centres) c = box(rng);
    set.m_dimMask.assign(kDims, true);
    set.m_dimension = kDims;
    set.m_values.resize(size_t(n) * kDims);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kDims; ++c) set.m_values[size_t(i) * kDims + c] = centres[(i % kBlobs) * kDims + c] + noise(rng);
    set.m_spatialX = n;
    set.m_spatialY = set.m_spatialZ = 1;
    set.UpdateDimensionMinMaxMeanVariance();
}

// Points on three random planes of R^8.
void fillPlanes(Zelvo::HDpointSet<float>& set, int n)
{
    const int d = 8;
    std::mt19937 rng(7);
    std::normal_distribution<double> normal;
    std::vector<Eigen::MatrixXd> bases;
    for (int s = 0; s < 3; ++s) {
        Eigen::MatrixXd m(d, d);
        for (int i = 0; i < d * d; ++i) m.data()[i] = normal(rng);
        bases.push_back(Eigen::HouseholderQR<Eigen::MatrixXd>(m).householderQ() * Eigen::MatrixXd::Identity(d, 2));
    }
    set.m_dimMask.assign(d, true);
    set.m_dimension = d;
    set.m_values.resize(size_t(n) * d);
    for (int i = 0; i < n; ++i) {
        const Eigen::VectorXd p = bases[i % 3] * Eigen::Vector2d(normal(rng), normal(rng));
        for (int c = 0; c < d; ++c) set.m_values[size_t(i) * d + c] = float(p(c));
    }
    set.m_spatialX = n;
    set.m_spatialY = set.m_spatialZ = 1;
    set.UpdateDimensionMinMaxMeanVariance();
}

// Runs fn with standard output silenced (the engines print progress lines).
template <typename F>
void quietly(F fn)
{
    std::fflush(stdout);
    const int saved = dup(1);
    std::FILE* null = std::fopen("/dev/null", "w");
    dup2(fileno(null), 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(null);
}

void BM_Spectral(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int count = int(state.range(1));
    Zelvo::HDpointSet<float> set;
    quietly([&] { fillBlobs(set, n); });
    for (auto _ : state) {
        bool ok = false;
        quietly([&] {
            Zelvo::SpectralClusteringCore core(count, kKernel, 10);
            std::vector<std::vector<int>> lists;
            ok = core.RunSpectralClustering(&set, lists);
        });
        if (!ok) state.SkipWithError("spectral clustering failed");
    }
}

void BM_Subspace(benchmark::State& state)
{
    const int n = int(state.range(0));
    Zelvo::HDpointSet<float> set;
    quietly([&] { fillPlanes(set, n); });
    for (auto _ : state) {
        bool ok = false;
        quietly([&] {
            Zelvo::SpectralClusteringCore core(3, 0, 10);
            std::vector<std::vector<int>> lists;
            ok = core.RunSubspaceClustering(&set, lists);
        });
        if (!ok) state.SkipWithError("subspace clustering failed");
    }
}

// Median seconds of scikit-learn's SpectralClustering on the same affinity (computed in
// NumPy from the same points, outside the timing), or -1 when Python is not there.
double scikitLearnMedian(int n, int repetitions)
{
    Zelvo::HDpointSet<float> set;
    quietly([&] { fillBlobs(set, n); });
    const std::string points = "/tmp/bench_spectral_points_" + std::to_string(getpid()) + ".f32";
    std::FILE* f = std::fopen(points.c_str(), "wb");
    std::fwrite(set.m_values.data(), sizeof(float), set.m_values.size(), f);
    std::fclose(f);
    const std::string script =
        "import sys, time, numpy as np\n"
        "from sklearn.cluster import SpectralClustering\n"
        "P = np.fromfile('" + points + "', dtype=np.float32).reshape(-1, " + std::to_string(kDims) + ")\n"
        "s = ((P[:, None, :] - P[None, :, :]) ** 2).sum(axis=2, dtype=np.float32)\n"
        "A = np.exp(-" + std::to_string(kKernel) + " * s.astype(np.float64))\n"
        "del s\n"
        "t = []\n"
        "for r in range(" + std::to_string(repetitions) + "):\n"
        "    t0 = time.perf_counter()\n"
        "    SpectralClustering(n_clusters=" + std::to_string(kBlobs) + ", affinity='precomputed', random_state=0).fit(A)\n"
        "    t.append(time.perf_counter() - t0)\n"
        "print(np.median(t))\n";
    const std::string scriptPath = points + ".py";
    std::FILE* s = std::fopen(scriptPath.c_str(), "w");
    std::fputs(script.c_str(), s);
    std::fclose(s);
    std::FILE* pipe = popen(("/usr/bin/python3 " + scriptPath + " 2>/dev/null").c_str(), "r");
    double seconds = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
        pclose(pipe);
    }
    std::remove(points.c_str());
    std::remove(scriptPath.c_str());
    return seconds;
}

// Collects the median real time of every benchmark beside the usual console output.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.aggregate_name == "median") medians[run.run_name.str()] = run.GetAdjustedRealTime() / 1000.0;
    }
    std::map<std::string, double> medians;  // seconds
};

}  // namespace

BENCHMARK(BM_Spectral)->Args({2000, 5})->Args({5000, 5})->Args({10000, 5})->Args({2000, 0})->Args({5000, 0})
    ->Args({10000, 0})->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(false);
BENCHMARK(BM_Subspace)->Arg(2000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1)
    ->Repetitions(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << "\nscikit-learn SpectralClustering(affinity='precomputed'), median of 3, same affinity:\n";
    for (int n : {2000, 5000, 10000}) {
        const double sk = scikitLearnMedian(n, 3);
        const std::string name = "BM_Spectral/" + std::to_string(n) + "/5/iterations:1/repeats:3";
        const double ours = reporter.medians.count(name) ? reporter.medians[name] : -1;
        std::printf("n=%d  ours %.3f s  scikit-learn %.3f s  ratio (scikit-learn / ours) %.2f\n", n, ours, sk,
                    ours > 0 && sk > 0 ? sk / ours : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
