#include "LocalLinearEmbeddingEmbeddingResult.h"

#include "Log.h"

#include <algorithm>

namespace Zelvo {

LocalLinearEmbeddingEmbeddingResult::LocalLinearEmbeddingEmbeddingResult(float* positions, int dim, int n,
                                                                         HDpointSet<float>* set,
                                                                         Eigen::SparseMatrix<float>& decomposed,
                                                                         Eigen::SparseMatrix<float>& reconstruction)
    : LaplacianEigenmapEmbeddingResult(positions, dim, n, set, decomposed)
{
    reconstructionWeights.swap(reconstruction);
}

std::vector<float>* LocalLinearEmbeddingEmbeddingResult::GetPerPointCost(float& total)
{
    TimerScope timer("LLE");
    if (!costDirty)
        return &perPointCost;
    const int n = pointCount;
    const Eigen::SparseMatrix<float>& W = reconstructionWeights;
    if (!m_fitsPointCount(W.rows(), W.cols(), "LLE cost", "reconstruction weight matrix"))
        return nullptr;
    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    perPointCost.assign(n, 0.0f);
    const int listCount = std::min(n, static_cast<int>(neighborLists.size()));
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        float zx = x[i];
        float zy = y[i];
        if (i < listCount) {
            for (int j : neighborLists[i]) {
                if (j < 0 || j >= n)
                    continue;
                const float w = W.coeff(i, j);
                zx -= w * x[j];
                zy -= w * y[j];
            }
        }
        const float cost = zx * zx + zy * zy;
        perPointCost[i] = cost;
        sum += cost;
    }
    total = static_cast<float>(sum);
    costDirty = false;
    return &perPointCost;
}

}  // namespace Zelvo
