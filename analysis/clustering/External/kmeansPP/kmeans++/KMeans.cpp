#include "KMeans.h"

#include "KmTree.h"
#include "Log.h"

#include <algorithm>
#include <cstring>
#include <ctime>

std::vector<std::ostream*> gLogOutputs;
std::vector<std::ostream*> gVerboseLogOutputs;

namespace {

const char* const kSource = "External/kmeansPP/kmeans++/KMeans";

// Lloyd steps cannot lower a finite cost forever, but a long float descent is cut off here.
const int kMaxSteps = 10000;

template <typename Writer>
void WriteLog(const std::vector<std::ostream*>& streams, const Writer& write)
{
    for (std::ostream* out : streams) {
        write(*out);
        out->flush();
    }
}

double ProcessorSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

float RunKMeansPlusPlus(int n, int k, int d, const float* points, int attempts, float* ret_centers,
                        int* ret_assignment, const KmRandom& random, int workers)
{
    if (k < 1) {
        __KMeansAssertionFailure(kSource, 144, "k >= 1");
        Zelvo::Log::Printf("Error: k-means++ needs at least one cluster (k = %d)\n", k);
        return -1;
    }
    if (!ret_centers || !ret_assignment) {
        Zelvo::Log::Puts("Error: k-means++ was given no output arrays");
        return -1;
    }
    if (attempts < 1) return -1;

    WriteLog(gLogOutputs, [](std::ostream& out) { out << "Running k-means++..." << std::endl; });
    KmTree tree(n, d, points, workers);
    if (!tree.IsValid()) return -1;
    WriteLog(gLogOutputs, [](std::ostream& out) { out << "Done preprocessing..." << std::endl; });

    auto centers = KmNewArray<float>(static_cast<std::size_t>(k) * static_cast<std::size_t>(d));
    if (!centers) {
        __KMeansAssertionFailure(kSource, 153, "centers != 0");
        Zelvo::Log::Puts("Error: k-means++ is out of memory for its centres");
        return -1;
    }

    KmRunStatistics stats;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const double startTime = ProcessorSeconds();
        if (!tree.SeedKMeansPlusPlus(k, centers.get(), random)) return -1;
        if (!RunKMeansOnce(tree, k, centers.get(), startTime, &stats, ret_centers, ret_assignment)) return -1;
    }
    LogMetaStats(stats, attempts);
    return stats.minCost;
}

bool RunKMeansOnce(const KmTree& tree, int k, float* centers, double startTime, KmRunStatistics* stats,
                   float* ret_centers, int* ret_assignment)
{
    float cost = tree.DoKMeansStep(k, centers, nullptr);
    if (cost < 0) return false;
    float previous = cost;
    for (int step = 1; step < kMaxSteps; ++step) {
        WriteLog(gVerboseLogOutputs, [step, cost](std::ostream& out) {
            out << "Completed iteration #" << step << ", cost=" << cost << "..." << std::endl;
        });
        cost = tree.DoKMeansStep(k, centers, nullptr);
        if (cost < 0) return false;
        // Also stops on a NaN cost.
        if (!(cost < previous)) break;
        previous = cost;
    }

    if (stats->minCost < 0 || cost < stats->minCost) {
        stats->minCost = cost;
        if (tree.DoKMeansStep(k, centers, ret_assignment) < 0) return false;
        std::memcpy(ret_centers, centers, sizeof(float) * static_cast<std::size_t>(k) * tree.Dimension());
    }

    const double seconds = ProcessorSeconds() - startTime;
    WriteLog(gLogOutputs, [cost, seconds](std::ostream& out) {
        out << "Completed run: cost=" << cost << " (" << seconds << " seconds)" << std::endl;
    });
    stats->maxCost = std::max(stats->maxCost, cost);
    stats->totalCost += cost;
    if (stats->minTime < 0 || seconds < stats->minTime) stats->minTime = seconds;
    stats->maxTime = std::max(stats->maxTime, seconds);
    stats->totalTime += seconds;
    return true;
}

void LogMetaStats(const KmRunStatistics& stats, int attempts)
{
    WriteLog(gLogOutputs, [&stats, attempts](std::ostream& out) {
        out << "Aggregate info over " << attempts << " runs:" << std::endl;
        out << "  Cost: min=" << stats.minCost << " average=" << stats.totalCost / attempts
            << " max=" << stats.maxCost << std::endl;
        out << "  Time: min=" << stats.minTime << " average=" << stats.totalTime / attempts
            << " max=" << stats.maxTime << std::endl;
    });
}
