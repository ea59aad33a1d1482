#include "RNGgraphGenerator.h"

#include "MemoryBudget.h"
#include "ngl/NGLPointSet.h"
#include "ngl/RelativeNeighborGraph.h"

namespace Zelvo {

RNGgraphGenerator::RNGgraphGenerator() = default;

RNGgraphGenerator::~RNGgraphGenerator() = default;

double RNGgraphGenerator::PeakBytes(int64_t n, int64_t selected)
{
    const double N = double(n);
    // The squared lengths (float), the coordinates twice (by point and by dimension), the points'
    // pointers, the sort keys of a row with their scratch (16 bytes a point) and a list per point;
    // for each edge its two list entries and its pair, grown by doubling (40 bytes). The edges
    // are counted at eight a point, above what clustered data in a few dimensions have (about 5).
    return 4.0 * N * N + 8.0 * N * double(selected) + 64.0 * N + 40.0 * 8.0 * N;
}

std::unique_ptr<GraphModel<float>> RNGgraphGenerator::GenerateNeighborhoodGraph(
    const std::vector<HDpoint<float>>& points, const std::vector<bool>& dimMask, distanceFunctor& /*distance*/)
{
    std::vector<size_t> selected;
    for (size_t d = 0; d < dimMask.size(); ++d)
        if (dimMask[d]) selected.push_back(d);
    if (!MemoryBudget::Fits("RNG graph", PeakBytes(static_cast<int64_t>(points.size()),
                                                   static_cast<int64_t>(selected.size()))))
        return nullptr;
    auto graph = std::make_unique<GraphModel<float>>();
    ngl::Geometry<float>::D = unsigned(selected.size());

    // A point shorter than the mask reads 0 for its missing coordinates.
    const size_t n = points.size();
    std::vector<float> coordinates(n * selected.size(), 0.0f);
    for (size_t i = 0; i < n; ++i)
        for (size_t s = 0; s < selected.size(); ++s)
            if (selected[s] < points[i].size()) coordinates[i * selected.size() + s] = points[i][selected[s]];

    const ngl::NGLPointSet<float> pointSet(std::move(coordinates), int(n));
    std::vector<unsigned int> pairs;
    int pairCount = 0;
    ngl::RelativeNeighborGraph(pointSet, pairs, pairCount);
    for (int p = 0; p < pairCount; ++p) graph->AddEdge(int(pairs[2 * p]), int(pairs[2 * p + 1]), 1.0f);
    return graph;
}

}  // namespace Zelvo
