// The first steps on a big file: importing a 1,000,000 x 20 CSV into a new data set, and
// opening the written description (description, point file, per-dimension statistics).
#include "HDfileIO.h"
#include "HDpointSet.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

constexpr int kRows = 1000000;
constexpr int kColumns = 20;

// A scratch directory with the generated CSV, made once and removed at exit.
class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/tmp/bench_csv_importXXXXXX";
        directory = mkdtemp(pattern) ? std::string(pattern) + "/" : std::string("/tmp/");
        csv = directory + "points.csv";
        description = directory + "points.xml";
        std::FILE* file = std::fopen(csv.c_str(), "wb");
        if (!file) return;
        for (int c = 0; c < kColumns; ++c) std::fprintf(file, c ? ",dim%d" : "dim%d", c);
        std::fputc('\n', file);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) std::fprintf(file, c ? ",%.4f" : "%.4f", value(rng));
            std::fputc('\n', file);
        }
        std::fclose(file);
    }
    ~Scratch()
    {
        std::remove(csv.c_str());
        std::remove(description.c_str());
        std::remove((directory + "points.bin").c_str());
        rmdir(directory.c_str());
    }
    std::string directory, csv, description;
};

Scratch& Files()
{
    static Scratch scratch;
    return scratch;
}

// The data set's lines go to standard output; keep them out of the benchmark table.
class QuietStdout {
public:
    QuietStdout() : m_saved(dup(fileno(stdout)))
    {
        std::fflush(stdout);
        std::FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        dup2(m_saved, fileno(stdout));
        close(m_saved);
    }

private:
    int m_saved;
};

void BM_ImportCSV(benchmark::State& state)
{
    Scratch& files = Files();
    for (auto _ : state) {
        Zelvo::HDfileIO io;
        bool imported = false;
        {
            QuietStdout quiet;
            io.CreateNewEmptyHDdataSet(files.description.c_str());
            imported = io.ImportDataFromCSV(files.csv.c_str());
        }
        if (!imported || io.GetPointCount() != kRows) state.SkipWithError("import failed");
    }
    state.counters["rows/s"] = benchmark::Counter(double(kRows), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OpenDataSet(benchmark::State& state)
{
    Scratch& files = Files();
    {
        Zelvo::HDfileIO io;
        QuietStdout quiet;
        io.CreateNewEmptyHDdataSet(files.description.c_str());
        io.ImportDataFromCSV(files.csv.c_str());
    }
    for (auto _ : state) {
        Zelvo::HDfileIO io;
        Zelvo::HDpointSet<float> set;
        bool read = false;
        {
            QuietStdout quiet;
            read = io.OpenHDdataSet(files.description.c_str()) && io.ReadHDPointSet(set);
            set.UpdateDimensionMinMaxMeanVariance();
        }
        if (!read || set.GetPointCount() != kRows) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(set.m_dimMean.data());
    }
    state.counters["rows/s"] = benchmark::Counter(double(kRows), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_ImportCSV)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenDataSet)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
