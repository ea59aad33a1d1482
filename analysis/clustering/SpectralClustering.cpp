#include "SpectralClustering.h"

#include "ClusteringResult.h"
#include "Log.h"

#include <new>

namespace Zelvo {

SpectralClustering::SpectralClustering(distanceFunctor& functor, SpectralClusteringType type, int clusterCount,
                                       float kernel, int maxClusterCount)
    : m_core(clusterCount, static_cast<double>(kernel), maxClusterCount),
      m_type(type),
      m_distanceType(functor.type),
      m_dimMask(functor.mask)
{
}

// Exhausted memory is reported like every other failure: no exception leaves the engine.
std::unique_ptr<ClusteringResult> SpectralClustering::DoClustering(HDpointSet<float>* points)
try {
    std::vector<std::vector<int>> lists;
    const bool succeeded = m_core.RunSpectralClustering(points, lists);
    return MakeResult(succeeded, lists);
} catch (const std::bad_alloc&) {
    Log::Puts("Error SpectralClustering: not enough memory");
    return nullptr;
}

std::unique_ptr<ClusteringResult> SpectralClustering::MakeResult(bool succeeded,
                                                                 const std::vector<std::vector<int>>& lists)
{
    if (!succeeded) return nullptr;
    auto result = std::make_unique<ClusteringResult>();
    if (lists.empty()) {
        const std::vector<int> noLabels;
        result->SetFlatClusteringLabel(&noLabels);
    } else {
        result->SetClusteringIndexArray(lists);
    }
    return result;
}

}  // namespace Zelvo
