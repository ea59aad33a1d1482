// Smallest enclosing ball of 100,000 points in a few and in many dimensions.
#include "MinimalEnclosingBall.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<float> GaussianPoints(int n, int d)
{
    std::mt19937 rng(42);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<float> points(size_t(n) * size_t(d));
    for (float& v : points)
        v = normal(rng);
    return points;
}

void BM_EnclosingBall(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int d = int(state.range(1));
    std::vector<float> points = GaussianPoints(n, d);
    Zelvo::MinimalEnclosingBall ball;
    ball.SetPoints(points.data(), n, d);
    for (auto _ : state) {
        ball.CalculateMinimalEnclosingBall();
        benchmark::DoNotOptimize(ball.GetRadius());
    }
    state.counters["radius"] = ball.GetRadius();
}

}  // namespace

BENCHMARK(BM_EnclosingBall)->Args({100000, 2})->Args({100000, 10})->Args({100000, 100})
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
