#pragma once

#include "NeighborhoodGraphGeneratorInterface.h"

namespace Zelvo {

// Offered as "MST" but builds no graph: it always returns null.
class MSTgraphGenerator : public NeighborhoodGraphGeneratorInterface {
public:
    MSTgraphGenerator();
    ~MSTgraphGenerator() override;

    using NeighborhoodGraphGeneratorInterface::GenerateNeighborhoodGraph;
    std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(const std::vector<HDpoint<float>>& points,
                                                                 const std::vector<bool>& dimMask,
                                                                 distanceFunctor& distance) override;
};

}  // namespace Zelvo
