#pragma once

#include "HDpointSet.h"

#include <memory>

namespace Zelvo {

class ClusteringResult;

// A clustering engine. It keeps no reference to the point set or to the result after
// DoClustering returns and can be run again; null means it failed.
class ClusteringInterface {
public:
    virtual ~ClusteringInterface() = default;
    virtual std::unique_ptr<ClusteringResult> DoClustering(HDpointSet<float>* points) = 0;
};

}  // namespace Zelvo
