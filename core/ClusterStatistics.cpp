#include "ClusterStatistics.h"

namespace Zelvo {

void ClusterStatistics::Resize(size_t dimensionCount)
{
    memberMean.resize(dimensionCount);
    memberMin.resize(dimensionCount);
    memberMax.resize(dimensionCount);
    pointSetMin.resize(dimensionCount);
    pointSetMax.resize(dimensionCount);
    dimensionLabels.resize(dimensionCount);
}

}  // namespace Zelvo
