// Times every method of the embedding library on n random points of a swiss roll.
#include "EmbeddingLibrary.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

Eigen::MatrixXf SwissRoll(int n)
{
    Eigen::MatrixXf data(3, n);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int j = 0; j < n; ++j) {
        const float t = 1.5f * 3.14159265f * (1 + 2 * unit(random));
        data(0, j) = t * std::cos(t);
        data(1, j) = 21 * unit(random);
        data(2, j) = t * std::sin(t);
    }
    return data;
}

void Run(benchmark::State& state, int chosenMethod)
{
    const Eigen::MatrixXf data = SwissRoll(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tapkee::TapkeeOutput out = tapkee::embedUsing(
            data, {tapkee::method(chosenMethod), tapkee::target_dimension(2), tapkee::num_neighbors(10),
                   tapkee::gaussian_kernel_width(2.0)});
        benchmark::DoNotOptimize(out.embedding.data());
        if (out.embedding.rows() == 0) state.SkipWithError("embedding failed");
    }
}

void BM_PCA(benchmark::State& s) { Run(s, tapkee::PCA); }
void BM_MDS(benchmark::State& s) { Run(s, tapkee::MultidimensionalScaling); }
void BM_Isomap(benchmark::State& s) { Run(s, tapkee::Isomap); }
void BM_LaplacianEigenmaps(benchmark::State& s) { Run(s, tapkee::LaplacianEigenmaps); }
void BM_KernelLLE(benchmark::State& s) { Run(s, tapkee::KernelLocallyLinearEmbedding); }

}  // namespace

BENCHMARK(BM_PCA)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MDS)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Isomap)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LaplacianEigenmaps)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_KernelLLE)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
