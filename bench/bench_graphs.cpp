// Neighbourhood-graph generators on uniform random nodes: kNN-30 and RNG, 2 and 20 dimensions.
#include "RNGgraphGenerator.h"
#include "distanceFunctor.h"
#include "kNNgraphGenerator.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

std::vector<Zelvo::HDpoint<float>> RandomPoints(int n, int dims)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<Zelvo::HDpoint<float>> points;
    points.reserve(n);
    for (int i = 0; i < n; ++i) {
        std::vector<float> v(dims);
        for (float& x : v) x = u(rng);
        points.emplace_back(std::move(v));
    }
    return points;
}

void Run(benchmark::State& state, Zelvo::NeighborhoodGraphGeneratorInterface& generator)
{
    const int n = int(state.range(0)), dims = int(state.range(1));
    const auto points = RandomPoints(n, dims);
    const std::vector<bool> mask(dims, true);
    size_t edges = 0;
    for (auto _ : state) {
        Zelvo::distanceFunctor distance;
        auto graph = generator.GenerateNeighborhoodGraph(points, mask, distance);
        edges = graph->edges.size();
        benchmark::DoNotOptimize(graph);
    }
    state.counters["edges"] = double(edges);
}

void BM_kNN30(benchmark::State& state)
{
    Zelvo::kNNgraphGenerator generator(30);
    Run(state, generator);
}

void BM_RNG(benchmark::State& state)
{
    Zelvo::RNGgraphGenerator generator;
    Run(state, generator);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int dims : {2, 20})
        for (int n : {1000, 5000, 10000}) b->Args({n, dims});
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
}

}  // namespace

BENCHMARK(BM_kNN30)->Apply(Sizes);
BENCHMARK(BM_RNG)->Apply(Sizes);

BENCHMARK_MAIN();
