#pragma once

#include "EmbeddingResult.h"

#include <Eigen/Core>

#include <vector>

namespace Zelvo {

// Result of PCA and of the linear and axis-aligned projections: the projection basis
// (one row per packed dimension, one column per axis) and the mean it subtracted. The
// packed rows the projection was computed from are copied at construction, so the cost
// stays meaningful after the point set is repacked under another selection.
class LinearProjectionEmbeddingResult : public EmbeddingResult {
public:
    LinearProjectionEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set,
                                    Eigen::MatrixXf& basis, Eigen::VectorXf& mean);

    // Per point: squared residual of the packed row against its reconstruction from the
    // basis, plus the squared displacement of the dragged position.
    std::vector<float>* GetPerPointCost(float& total) override;

    Eigen::MatrixXf basis;
    Eigen::RowVectorXf mean;

protected:
    // n x basis.rows() packed values, point after point; empty when the set's packed
    // buffer did not match the basis and point count.
    std::vector<float> m_packedRows;
};

}  // namespace Zelvo
