// Distortion measures of an embedding at the sizes the projected view recolours, over a
// distance matrix handed over whole (second argument 0) and over the blocks a PCA result
// makes them from (1; kept whole up to about 8,000 points, made anew in each measure above).
#include "ColumnDistanceBlocks.h"
#include "EmbeddingResult.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kDimensions = 8;

// One point set and two embeddings per size, built once and shared by every measure.
struct Scene {
    std::unique_ptr<Zelvo::HDpointSet<float>> set;
    std::unique_ptr<Zelvo::EmbeddingResult> result;
    std::unique_ptr<Zelvo::EmbeddingResult> blocks;
};

Scene& SceneOfSize(int n)
{
    static std::map<int, Scene> scenes;
    Scene& scene = scenes[n];
    if (scene.result)
        return scene;
    std::mt19937 gen(7);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<float> values(static_cast<size_t>(n) * kDimensions);
    for (float& v : values)
        v = normal(gen);
    scene.set = std::make_unique<Zelvo::HDpointSet<float>>();
    scene.set->m_dimension = kDimensions;
    scene.set->m_dimMask.assign(kDimensions, true);
    scene.set->m_values = values;
    scene.set->UpdateDimensionMinMaxMeanVariance();
    scene.set->GetPackedRawDataArray(true);

    Eigen::MatrixXf distances(n, n);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            float s = 0;
            for (int k = 0; k < kDimensions; ++k) {
                const float d = values[static_cast<size_t>(i) * kDimensions + k] -
                                values[static_cast<size_t>(j) * kDimensions + k];
                s += d * d;
            }
            distances(i, j) = s;
        }
    }
    // A 2-D embedding: the first two coordinates.
    std::vector<float> positions(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        positions[2 * i] = values[static_cast<size_t>(i) * kDimensions];
        positions[2 * i + 1] = values[static_cast<size_t>(i) * kDimensions + 1];
    }
    scene.result = std::make_unique<Zelvo::EmbeddingResult>(positions.data(), 2, n, scene.set.get());
    scene.result->SetHDSquaredDistance(std::move(distances));
    scene.blocks = std::make_unique<Zelvo::EmbeddingResult>(positions.data(), 2, n, scene.set.get());
    scene.blocks->SetHDSquaredDistanceBlocks(std::make_unique<Zelvo::ColumnDistanceBlocks>(
        Eigen::Map<const Eigen::MatrixXf>(values.data(), kDimensions, n)));
    return scene;
}

void Measure(benchmark::State& state, const char* name)
{
    Scene& scene = SceneOfSize(static_cast<int>(state.range(0)));
    Zelvo::EmbeddingResult& result = state.range(1) ? *scene.blocks : *scene.result;
    float total = 0;
    // What a measure keeps (the sums over the high-dimensional distances, the densities, the
    // rank neighbours, a small matrix) is built on the first call.
    result.GetPerPointDistortion(total, name);
    for (auto _ : state) {
        std::vector<float>* values = result.GetPerPointDistortion(total, name);
        benchmark::DoNotOptimize(values);
        benchmark::DoNotOptimize(total);
    }
}

void BM_Stress(benchmark::State& state) { Measure(state, "Stress"); }
void BM_Robust(benchmark::State& state) { Measure(state, "Robust"); }
void BM_KDE(benchmark::State& state) { Measure(state, "KDE"); }
void BM_Corank(benchmark::State& state) { Measure(state, "Corank"); }

}  // namespace

BENCHMARK(BM_Stress)->ArgsProduct({{2000, 10000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Robust)->ArgsProduct({{2000, 10000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KDE)->ArgsProduct({{2000, 10000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Corank)->ArgsProduct({{2000, 10000}, {0, 1}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
