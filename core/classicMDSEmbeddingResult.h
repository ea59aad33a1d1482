#pragma once

#include "EmbeddingResult.h"

#include <Eigen/Core>

#include <vector>

namespace Zelvo {

// Result of classic MDS: keeps the n x n inner-product matrix B the embedding factorised.
class classicMDSEmbeddingResult : public EmbeddingResult {
public:
    // Takes B by swapping storage; the caller's matrix is left empty.
    classicMDSEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set, Eigen::MatrixXf& B);

    // Strain: per point sum_j (B_ij - <P_i, P_j>)^2, divided by sum_ij B_ij^2.
    std::vector<float>* GetPerPointCost(float& total) override;

    const Eigen::MatrixXf& GetInnerProducts() const { return innerProducts; }

protected:
    Eigen::MatrixXf innerProducts;

private:
    bool m_innerSumValid = false;
    double m_innerSumSquared = 0;  // sum of B_ij^2, fixed for the result's life
};

}  // namespace Zelvo
