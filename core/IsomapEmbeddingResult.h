#pragma once

#include "classicMDSEmbeddingResult.h"

#include <Eigen/Core>

#include <vector>

namespace Zelvo {

// Result of Isomap: the MDS strain over the geodesic inner products, plus the
// neighbour lists of the neighbourhood graph for highlighting.
class IsomapEmbeddingResult : public classicMDSEmbeddingResult {
public:
    // Takes B by swapping storage (the caller's matrix is left empty) and keeps the lists.
    IsomapEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set, Eigen::MatrixXf& B,
                          std::vector<std::vector<int>> neighbors);

    // n values: 1 for every neighbour of a selected point, 0 elsewhere.
    std::vector<float>* GetSelectedPointNeighborHood(std::vector<int>& selected) override;
};

}  // namespace Zelvo
