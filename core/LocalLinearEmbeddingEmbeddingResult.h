#pragma once

#include "LaplacianEigenmapEmbeddingResult.h"

#include <Eigen/SparseCore>

#include <vector>

namespace Zelvo {

// Result of locally linear embedding. `weights` holds the matrix the method decomposed,
// (I - W)^T (I - W); the reconstruction weights W themselves are kept beside it because
// the cost is measured against them.
class LocalLinearEmbeddingEmbeddingResult : public LaplacianEigenmapEmbeddingResult {
public:
    // Takes both matrices by swapping storage; the caller's matrices are left empty.
    LocalLinearEmbeddingEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set,
                                        Eigen::SparseMatrix<float>& decomposed,
                                        Eigen::SparseMatrix<float>& reconstruction);

    // Per point: |P_i - sum over neighbours j of W(i, j) P_j|^2; total is the sum.
    std::vector<float>* GetPerPointCost(float& total) override;

    const Eigen::SparseMatrix<float>& GetReconstructionWeights() const { return reconstructionWeights; }

protected:
    Eigen::SparseMatrix<float> reconstructionWeights;
};

}  // namespace Zelvo
