#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Zelvo {

// Per-dimension statistics of one cluster's members beside the range of the whole point
// set, shown by the statistics overlay. Every vector has one entry per dimension.
class ClusterStatistics {
public:
    std::vector<float> memberMean;
    std::vector<float> memberMin;
    std::vector<float> memberMax;
    std::vector<float> pointSetMin;
    std::vector<float> pointSetMax;
    std::vector<std::string> dimensionLabels;

    // Sizes every list to D entries.
    void Resize(size_t dimensionCount);
};

}  // namespace Zelvo
