#pragma once

#include "NeighborhoodGraphGeneratorInterface.h"

namespace Zelvo {

// The relative neighbourhood graph over the selected coordinates of the nodes' representative
// points: nodes p and q are linked when no other node lies within |p - q| of both. Every edge
// has weight 1. The distance functor is not used.
class RNGgraphGenerator : public NeighborhoodGraphGeneratorInterface {
public:
    RNGgraphGenerator();
    ~RNGgraphGenerator() override;

    using NeighborhoodGraphGeneratorInterface::GenerateNeighborhoodGraph;
    std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(const std::vector<HDpoint<float>>& points,
                                                                 const std::vector<bool>& dimMask,
                                                                 distanceFunctor& distance) override;
};

}  // namespace Zelvo
