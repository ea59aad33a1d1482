#include "LaplacianEigenmapEmbeddingResult.h"

#include "Log.h"

#include <algorithm>

namespace Zelvo {

LaplacianEigenmapEmbeddingResult::LaplacianEigenmapEmbeddingResult(float* positions, int dim, int n,
                                                                   HDpointSet<float>* set,
                                                                   Eigen::SparseMatrix<float>& W)
    : EmbeddingResult(positions, dim, n, set)
{
    weights.swap(W);
    Log::Printf("non zero element in weight matrix: %d\n", static_cast<int>(weights.nonZeros()));
}

std::vector<float>* LaplacianEigenmapEmbeddingResult::GetPerPointCost(float& total)
{
    TimerScope timer("LE");
    if (!costDirty)
        return &perPointCost;
    const int n = pointCount;
    if (!m_fitsPointCount(weights.rows(), weights.cols(), "Laplacian eigenmap cost", "weight matrix"))
        return nullptr;
    Eigen::ArrayXf x, y;
    m_splitModifiedPositions(x, y);
    perPointCost.assign(n, 0.0f);
    const int listCount = std::min(n, static_cast<int>(neighborLists.size()));
    double sum = 0;
    for (int i = 0; i < listCount; ++i) {
        const float xi = x[i];
        const float yi = y[i];
        float cost = 0;
        for (int j : neighborLists[i]) {
            if (j < 0 || j >= n)
                continue;
            const float dx = xi - x[j];
            const float dy = yi - y[j];
            cost += weights.coeff(i, j) * (dx * dx + dy * dy);
        }
        perPointCost[i] = cost;
        sum += cost;
    }
    total = static_cast<float>(sum / 2);
    costDirty = false;
    return &perPointCost;
}

std::vector<float>* LaplacianEigenmapEmbeddingResult::GetSelectedPointNeighborHood(std::vector<int>& selected)
{
    return m_markSelectedNeighbors(selected);
}

}  // namespace Zelvo
