#include "LinearProjectionEmbeddingResult.h"

#include "Log.h"

#include <algorithm>

namespace Zelvo {

LinearProjectionEmbeddingResult::LinearProjectionEmbeddingResult(float* positions, int dim, int n,
                                                                 HDpointSet<float>* set,
                                                                 Eigen::MatrixXf& basis,
                                                                 Eigen::VectorXf& mean)
    : EmbeddingResult(positions, dim, n, set), basis(basis), mean(mean.transpose())
{
    // The engine packs the buffer just before building the result; keep those rows.
    if (!set || basis.rows() == 0)
        return;
    const std::vector<float>* packed = set->GetPackedRawDataArray(false);
    const size_t width = static_cast<size_t>(set->GetPackedWidth());
    const size_t count = static_cast<size_t>(set->GetPackedPointCount());
    if (packed && width == static_cast<size_t>(basis.rows()) && count == static_cast<size_t>(pointCount) &&
        packed->size() >= width * count)
        m_packedRows.assign(packed->begin(), packed->begin() + width * count);
}

std::vector<float>* LinearProjectionEmbeddingResult::GetPerPointCost(float& total)
{
    if (!costDirty)
        return &perPointCost;
    const Eigen::Index m = basis.rows();
    const Eigen::Index axes = std::min<Eigen::Index>(basis.cols(), dim);
    const int n = pointCount;
    if (mean.size() != m || m_packedRows.size() != static_cast<size_t>(n) * m) {
        Log::Printf("Error: projection cost needs %d packed rows of %ld values and a mean of %ld, have %zu values and %ld\n",
                    n, static_cast<long>(m), static_cast<long>(m), m_packedRows.size(),
                    static_cast<long>(mean.size()));
        return nullptr;
    }

    using RowMajor = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    const Eigen::Map<const RowMajor> rows(m_packedRows.data(), n, m);
    const RowMajor centred = rows.rowwise() - mean;
    const auto axesBasis = basis.leftCols(axes);
    const RowMajor coefficients = centred * axesBasis;
    const RowMajor residual = centred - coefficients * axesBasis.transpose();

    perPointCost.assign(n, 0.0f);
    double sum = 0;
    int modified = 0;
    for (int i = 0; i < n; ++i) {
        float displacement = 0;
        for (int k = 0; k < dim; ++k) {
            const size_t at = static_cast<size_t>(i) * dim + k;
            const float d = originalPositions[at] - modifiedPositions[at];
            displacement += d * d;
        }
        if (displacement > 1e-8f)
            ++modified;
        const float cost = displacement + residual.row(i).squaredNorm();
        perPointCost[i] = cost;
        sum += cost;
    }
    total = static_cast<float>(sum);
    Log::Printf("Modified count: %d\n", modified);
    costDirty = false;
    return &perPointCost;
}

}  // namespace Zelvo
