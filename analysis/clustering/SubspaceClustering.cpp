#include "SubspaceClustering.h"

#include "ClusteringResult.h"

namespace Zelvo {

SubspaceClustering::SubspaceClustering(distanceFunctor& functor, SubspaceClusteringType /*only one kind exists*/,
                                       SpectralClusteringType spectralType, int clusterCount, float kernel)
    : SpectralClustering(functor, spectralType, clusterCount, kernel, 10)
{
}

std::unique_ptr<ClusteringResult> SubspaceClustering::DoClustering(HDpointSet<float>* points)
{
    std::vector<std::vector<int>> lists;
    const bool succeeded = m_core.RunSubspaceClustering(points, lists);
    return MakeResult(succeeded, lists);
}

}  // namespace Zelvo
