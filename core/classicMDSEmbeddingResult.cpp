#include "classicMDSEmbeddingResult.h"

#include "Log.h"

namespace Zelvo {

classicMDSEmbeddingResult::classicMDSEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set,
                                                     Eigen::MatrixXf& B)
    : EmbeddingResult(positions, dim, n, set)
{
    innerProducts.swap(B);
}

std::vector<float>* classicMDSEmbeddingResult::GetPerPointCost(float& total)
{
    TimerScope timer("MDS");
    if (!costDirty)
        return &perPointCost;
    const int n = pointCount;
    if (innerProducts.rows() != n || innerProducts.cols() != n) {
        Log::Printf("Error: MDS strain needs a %d x %d inner-product matrix, have %ld x %ld\n", n, n,
                    static_cast<long>(innerProducts.rows()), static_cast<long>(innerProducts.cols()));
        return nullptr;
    }
    if (!m_innerSumValid) {
        m_innerSumSquared = 0;
        for (int j = 0; j < n; ++j)
            m_innerSumSquared += innerProducts.col(j).array().square().cast<double>().sum();
        m_innerSumValid = true;
    }

    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    // Column by column, so every pass reads B contiguously and updates all points at once.
    Eigen::ArrayXd strain = Eigen::ArrayXd::Zero(n);
    for (int j = 0; j < n; ++j)
        strain += (innerProducts.col(j).array() - (x * x[j] + y * y[j])).square().cast<double>();

    perPointCost.assign(n, 0.0f);
    total = 0;
    if (m_innerSumSquared > 0) {
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            const float value = static_cast<float>(strain[i] / m_innerSumSquared);
            perPointCost[i] = value;
            sum += value;
        }
        total = static_cast<float>(sum);
    }
    costDirty = false;
    return &perPointCost;
}

}  // namespace Zelvo
