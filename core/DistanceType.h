#pragma once

namespace Zelvo {

// Distance measured by the distance functor, as the forms name them. Fixed underlying type:
// the panel stores DistanceUnknown for any other text and callers may pass any value.
enum DistanceType : int {
    DistanceEuclidean = 0,           // "Euclidean"
    DistanceManhattan = 1,           // "Manhattan"
    DistancePearsonCorrelation = 2,  // "PearsonCorrelation"
    DistanceUnknown = 3              // any other text: distance -1
};

}  // namespace Zelvo
