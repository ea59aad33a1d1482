#include "ClusteringFactory.h"

#include "HierarchicalClustering.h"
#include "SpectralClustering.h"
#include "SubspaceClustering.h"
#include "kmeansClustering.h"

namespace Zelvo {

std::unique_ptr<ClusteringInterface> ClusteringFactory::FromClassicalHierarchClusteringFactory(
    HierarchyicalClusteringType linkage, DistanceType distance)
{
    return std::make_unique<HierarchicalClustering>(linkage, distance);
}

std::unique_ptr<ClusteringInterface> ClusteringFactory::FromKmeansClusteringFactory(int k, kmeansType type)
{
    return std::make_unique<kmeansClustering>(k, type);
}

std::unique_ptr<ClusteringInterface> ClusteringFactory::FromSpectralClusteringFactory(distanceFunctor& distance,
                                                                                   SpectralClusteringType type,
                                                                                   int clusterCount, float kernel)
{
    return std::make_unique<SpectralClustering>(distance, type, clusterCount, kernel, 10);
}

std::unique_ptr<ClusteringInterface> ClusteringFactory::FromSubspaceClusteringFactory(
    distanceFunctor& distance, SubspaceClusteringType subspaceType, SpectralClusteringType spectralType,
    int clusterCount, float kernel)
{
    return std::make_unique<SubspaceClustering>(distance, subspaceType, spectralType, clusterCount, kernel);
}

}  // namespace Zelvo
