#pragma once

#include "Cluster.h"

#include <memory>
#include <vector>

namespace Zelvo {

class ClusteringResult;

// Selects clusters from a clustering result's tree.
class FilterClusteringResult {
public:
    virtual ~FilterClusteringResult();
    // New clusters owned by the caller; empty when the result has no tree.
    virtual std::vector<std::unique_ptr<Cluster>> ApplyClusterFilter(ClusteringResult& result) = 0;
};

}  // namespace Zelvo
