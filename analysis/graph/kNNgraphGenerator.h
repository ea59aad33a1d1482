#pragma once

#include "NeighborhoodGraphGeneratorInterface.h"

namespace Zelvo {

// Links every node to its k nearest other nodes (distances through the functor), nearest first.
// Among equal distances the node earlier in the list wins; weights are the distances.
class kNNgraphGenerator : public NeighborhoodGraphGeneratorInterface {
public:
    explicit kNNgraphGenerator(int k);
    ~kNNgraphGenerator() override;

    using NeighborhoodGraphGeneratorInterface::GenerateNeighborhoodGraph;
    // Null, with an error line, when k < 1.
    std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(const std::vector<HDpoint<float>>& points,
                                                                 const std::vector<bool>& dimMask,
                                                                 distanceFunctor& distance) override;

    int GetK() const { return m_k; }

private:
    int m_k;
};

}  // namespace Zelvo
