#pragma once

#include "ClusteringInterface.h"
#include "DistanceType.h"
#include "EngineTypes.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Builds clustering engines from the user's parameters: one static function per engine
// variant, each returning a new engine that the caller owns. Parameters reach the engines
// unchanged; the engines validate them.
class ClusteringFactory {
public:
    ClusteringFactory() = delete;

    static std::unique_ptr<ClusteringInterface> FromClassicalHierarchClusteringFactory(
        HierarchyicalClusteringType linkage, DistanceType distance);
    static std::unique_ptr<ClusteringInterface> FromKmeansClusteringFactory(int k, kmeansType type);
    // The automatic cluster count (clusterCount <= 0) examines at most 10 eigenvectors.
    static std::unique_ptr<ClusteringInterface> FromSpectralClusteringFactory(distanceFunctor& distance,
                                                                              SpectralClusteringType type,
                                                                              int clusterCount, float kernel);
    static std::unique_ptr<ClusteringInterface> FromSubspaceClusteringFactory(distanceFunctor& distance,
                                                                              SubspaceClusteringType subspaceType,
                                                                              SpectralClusteringType spectralType,
                                                                              int clusterCount, float kernel);
};

}  // namespace Zelvo
