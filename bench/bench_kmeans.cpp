// The k-means engine on 100,000 Gaussian-blob points. With KMEANS_BENCH_DATA_DIR set, each
// data set is also written there as raw float32 (points_<d>.f32) for bench_kmeans.py.
#include "ClusteringResult.h"
#include "HDpointSet.h"
#include "KMeans.h"
#include "kmeansClustering.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <memory>
#include <random>
#include <string>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

// Heap bytes in use and their peak while counting is on, for the memory benchmark. The
// engine allocates on several threads.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<std::size_t> gInUse{0};
std::atomic<std::size_t> gPeak{0};

void* Counted(void* p)
{
    if (p && gCounting) {
        const std::size_t inUse = gInUse += malloc_usable_size(p);
        std::size_t peak = gPeak;
        while (inUse > peak && !gPeak.compare_exchange_weak(peak, inUse)) {
        }
    }
    return p;
}

void Uncount(void* p)
{
    if (p && gCounting) gInUse -= malloc_usable_size(p);
}
}  // namespace

void* operator new(std::size_t size)
{
    void* p = Counted(std::malloc(size));
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Counted(std::malloc(size)); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Counted(std::malloc(size)); }
void operator delete(void* p) noexcept
{
    Uncount(p);
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

const int kPoints = 100000;

const std::vector<float>& Data(int d)
{
    static std::map<int, std::vector<float>> cache;
    std::vector<float>& values = cache[d];
    if (!values.empty()) return values;
    std::mt19937 gen(12345u + unsigned(d));
    std::uniform_real_distribution<float> place(-10.0f, 10.0f);
    std::normal_distribution<float> noise(0.0f, 2.0f);
    const int blobs = 20;
    std::vector<float> centres(size_t(blobs) * d);
    for (float& v : centres) v = place(gen);
    std::uniform_int_distribution<int> pick(0, blobs - 1);
    values.reserve(size_t(kPoints) * d);
    for (int i = 0; i < kPoints; ++i) {
        const int b = pick(gen);
        for (int j = 0; j < d; ++j) values.push_back(centres[size_t(b) * d + j] + noise(gen));
    }
    if (const char* dir = std::getenv("KMEANS_BENCH_DATA_DIR")) {
        const std::string path = std::string(dir) + "/points_" + std::to_string(d) + ".f32";
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(values.data(), sizeof(float), values.size(), f);
            std::fclose(f);
        }
    }
    return values;
}

void BM_Kmeans(benchmark::State& state)
{
    const int d = int(state.range(0));
    const int k = int(state.range(1));
    const auto type = static_cast<Zelvo::kmeansType>(state.range(2));
    Zelvo::HDpointSet<float> set;
    set.m_dimension = d;
    set.m_dimMask.assign(size_t(d), true);
    set.m_values = Data(d);
    set.m_computeAverageRadius = false;
    // The engine prints its progress; keep it off the benchmark's table.
    std::fflush(stdout);
    const int savedStdout = dup(1);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    for (auto _ : state) {
        std::srand(0);
        Zelvo::kmeansClustering engine(k, type);
        auto result = engine.DoClustering(&set);
        benchmark::DoNotOptimize(result.get());
    }
    std::fflush(stdout);
    dup2(savedStdout, 1);
    close(savedStdout);
    close(devNull);
}

// Peak heap of one k-means++ run (tree, seeding and steps; the caller's points, centres and
// labels excluded) against the point data, reported as the counter peak_vs_points.
void BM_KmeansPlusPlusMemory(benchmark::State& state)
{
    const int d = int(state.range(0));
    const int k = int(state.range(1));
    const std::vector<float>& points = Data(d);
    std::vector<float> centres(size_t(k) * d);
    std::vector<int> labels(kPoints);
    std::size_t peak = 0;
    for (auto _ : state) {
        std::srand(0);
        gInUse = 0;
        gPeak = 0;
        gCounting = true;
        const float cost = RunKMeansPlusPlus(kPoints, k, d, points.data(), 1, centres.data(), labels.data());
        gCounting = false;
        benchmark::DoNotOptimize(cost);
        peak = std::max(peak, gPeak.load());
    }
    state.counters["peak_vs_points"] = double(peak) / (double(kPoints) * d * sizeof(float));
}

BENCHMARK(BM_KmeansPlusPlusMemory)->ArgsProduct({{10, 50}, {10, 50}})->ArgNames({"d", "k"})->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Kmeans)
    ->ArgsProduct({{10, 50}, {10, 50}, {0, 1}})
    ->ArgNames({"d", "k", "type"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
