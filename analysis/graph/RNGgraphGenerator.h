#pragma once

#include "NeighborhoodGraphGeneratorInterface.h"

#include <cstdint>

namespace Zelvo {

// The relative neighbourhood graph over the selected coordinates of the nodes' representative
// points: nodes p and q are linked when no other node lies within |p - q| of both. Every edge
// has weight 1. The distance functor is not used. Null, with the refusal, when the n x n squared
// lengths it works on would not fit the memory the process may use.
class RNGgraphGenerator : public NeighborhoodGraphGeneratorInterface {
public:
    RNGgraphGenerator();
    ~RNGgraphGenerator() override;

    using NeighborhoodGraphGeneratorInterface::GenerateNeighborhoodGraph;
    std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(const std::vector<HDpoint<float>>& points,
                                                                 const std::vector<bool>& dimMask,
                                                                 distanceFunctor& distance) override;

    // The most memory a graph over n nodes of the given selected coordinates holds at once, in bytes.
    static double PeakBytes(int64_t n, int64_t selected);
};

}  // namespace Zelvo
