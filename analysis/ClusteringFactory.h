#pragma once

#include "ClusteringInterface.h"
#include "DistanceType.h"
#include "EngineTypes.h"

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
};

}  // namespace Zelvo
