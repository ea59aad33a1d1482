#include "SubspaceClustering.h"

#include "ClusteringResult.h"
#include "Log.h"

#include <new>

namespace Zelvo {

SubspaceClustering::SubspaceClustering(distanceFunctor& functor, SubspaceClusteringType /*only one kind exists*/,
                                       SpectralClusteringType spectralType, int clusterCount, float kernel)
    : SpectralClustering(functor, spectralType, clusterCount, kernel, 10)
{
}

// Exhausted memory is reported like every other failure: no exception leaves the engine.
std::unique_ptr<ClusteringResult> SubspaceClustering::DoClustering(HDpointSet<float>* points)
try {
    std::vector<std::vector<int>> lists;
    const bool succeeded = m_core.RunSubspaceClustering(points, lists);
    return MakeResult(succeeded, lists);
} catch (const std::bad_alloc&) {
    Log::Puts("Error SubspaceClustering: not enough memory");
    return nullptr;
}

}  // namespace Zelvo
