#pragma once

#include "EmbeddingResult.h"

#include <Eigen/SparseCore>

#include <vector>

namespace Zelvo {

// Result of Laplacian eigenmaps: keeps the engine's n x n sparse weight matrix W; the
// engine fills neighborLists after construction.
class LaplacianEigenmapEmbeddingResult : public EmbeddingResult {
public:
    // Takes W by swapping storage; the caller's matrix is left empty.
    LaplacianEigenmapEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set,
                                     Eigen::SparseMatrix<float>& W);

    // Per point: sum over its neighbours j of W(i, j) |P_i - P_j|^2; total is half the sum.
    std::vector<float>* GetPerPointCost(float& total) override;
    // n values: 1 for every neighbour of a selected point, 0 elsewhere.
    std::vector<float>* GetSelectedPointNeighborHood(std::vector<int>& selected) override;

    const Eigen::SparseMatrix<float>& GetWeights() const { return weights; }

protected:
    Eigen::SparseMatrix<float> weights;
};

}  // namespace Zelvo
