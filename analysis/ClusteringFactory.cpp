#include "ClusteringFactory.h"

#include "HierarchicalClustering.h"
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

}  // namespace Zelvo
