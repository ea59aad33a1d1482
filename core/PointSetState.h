#pragma once

namespace Zelvo {

// Normalisation state of a point set, as the forms name them. Fixed underlying type: the
// panel may store values outside the named ones.
enum PointSetState : int {
    PointSetOriginal = 0,        // "Original": raw values
    PointSetVarianceNorm = 1,    // "Variance Normalization": mean-variance normalised
    PointSetMinMaxNorm = 2,      // "MinMax Normalization": min-max normalised
    PointSetUnknown = 3          // any other text: packing yields no buffer
};

}  // namespace Zelvo
