#include "IsomapEmbeddingResult.h"

#include <utility>

namespace Zelvo {

IsomapEmbeddingResult::IsomapEmbeddingResult(float* positions, int dim, int n, HDpointSet<float>* set,
                                             Eigen::MatrixXf& B, std::vector<std::vector<int>> neighbors)
    : classicMDSEmbeddingResult(positions, dim, n, set, B)
{
    neighborLists = std::move(neighbors);
}

std::vector<float>* IsomapEmbeddingResult::GetSelectedPointNeighborHood(std::vector<int>& selected)
{
    return m_markSelectedNeighbors(selected);
}

}  // namespace Zelvo
