#pragma once

#include "EdgeInfo.h"
#include "NGLPoint.h"

namespace ngl {

// Decides whether a point lies in the empty region of an edge.
template <typename T>
class EmptyRegionTest {
public:
    virtual ~EmptyRegionTest() = default;
    virtual void initialize() {}
    virtual void destroy() {}
    // At or below 0: r lies in the edge's region (and so blocks the edge). NaN never blocks.
    virtual T contains(EdgeInfo<T>& edge, NGLPoint<T>& r) = 0;
};

}  // namespace ngl
