#pragma once

#include "DistanceType.h"
#include "HDpoint.h"

#include <vector>

namespace Zelvo {

// Distance between two points over the coordinates whose mask bit is set. Used both on full
// points (mask = the data set's dimension mask) and on packed points (every value counts:
// a mask of another length is replaced by an all-set mask of the points' length).
class distanceFunctor {
public:
    // Not const: the mask is resized to the length of a when it does not match.
    // Euclidean and Manhattan sum in double; correlation gives 1 - r over the selection;
    // any other type gives -1.
    float operator()(const HDpoint<float>& a, const HDpoint<float>& b);

    DistanceType type = DistanceEuclidean;
    std::vector<bool> mask;
};

}  // namespace Zelvo
