#pragma once

#include "DimReductionInterface.h"

#include <Eigen/Core>

#include <memory>

namespace Zelvo {

// Projects every point, in the set's current normalisation state and over its selected
// dimensions, onto the columns of a basis (one row per selected dimension, one column
// per axis) after subtracting the mean of those packed values.
class LinearProjection : public DimReductionInterface {
public:
    LinearProjection() = default;
    explicit LinearProjection(const Eigen::MatrixXf& basis);
    ~LinearProjection() override = default;

    void SetProjectionBasis(const Eigen::MatrixXf& basis);
    const Eigen::MatrixXf& GetProjectionBasis() const { return m_basis; }

    // A new LinearProjectionEmbeddingResult, or null after an "Error ..." line (target
    // dimension other than the basis' column count, a basis whose row count is not the
    // number of selected dimensions, no packed data).
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;

private:
    Eigen::MatrixXf m_basis;
};

}  // namespace Zelvo
