#pragma once

#include "EmptyRegionTest.h"
#include "NGLGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ngl {

// The relative-neighbour lune: r blocks a-b when it lies within |a - b| of both ends,
// the boundary included.
template <typename T>
class RelativeNeighbor : public EmptyRegionTest<T> {
public:
    T contains(EdgeInfo<T>& edge, NGLPoint<T>& r) override
    {
        const unsigned int D = Geometry<T>::D;
        const T ra = SquaredDistance<T>(r.coords, edge.a, D) - edge.len2;
        const T rb = SquaredDistance<T>(r.coords, edge.b, D) - edge.len2;
        // A NaN on either side must not let the other side decide.
        if (std::isnan(ra) || std::isnan(rb)) return std::numeric_limits<T>::quiet_NaN();
        return std::max(ra, rb);
    }
};

}  // namespace ngl
