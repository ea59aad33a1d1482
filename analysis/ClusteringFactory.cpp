#include "ClusteringFactory.h"

#include "HierarchicalClustering.h"

namespace Zelvo {

std::unique_ptr<ClusteringInterface> ClusteringFactory::FromClassicalHierarchClusteringFactory(
    HierarchyicalClusteringType linkage, DistanceType distance)
{
    return std::make_unique<HierarchicalClustering>(linkage, distance);
}

}  // namespace Zelvo
