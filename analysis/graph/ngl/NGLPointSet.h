#pragma once

#include "NGLGeometry.h"
#include "NGLParams.h"
#include "NGLPoint.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace ngl {

// The points of a graph (coordinates owned here, Geometry<T>::D per point) and the source of
// neighbour candidates: every point is proposed.
template <typename T>
class NGLPointSet {
public:
    std::vector<NGLPoint<T>> points;
    int numPoints = 0;

    NGLPointSet() = default;
    // numPoints points of Geometry<T>::D coordinates each, point after point.
    NGLPointSet(std::vector<T> coordinates, int count) : m_coordinates(std::move(coordinates))
    {
        const std::size_t D = Geometry<T>::D;
        if (count < 0 || m_coordinates.size() < std::size_t(count) * D) count = 0;
        numPoints = count;
        points.reserve(count);
        for (int i = 0; i < count; ++i) points.emplace_back(m_coordinates.data() + std::size_t(i) * D);
    }
    NGLPointSet(const NGLPointSet&) = delete;
    NGLPointSet& operator=(const NGLPointSet&) = delete;
    virtual ~NGLPointSet() = default;

    virtual void initialize(NGLParams<T>&) {}
    virtual void destroy() {}
    // Candidates for p's neighbours: 0, 1, ..., numPoints - 1.
    virtual void getNeighbors(NGLPoint<T>& /*p*/, std::vector<unsigned int>& candidates)
    {
        candidates.resize(numPoints > 0 ? numPoints : 0);
        for (int i = 0; i < numPoints; ++i) candidates[i] = unsigned(i);
    }

    const T* coordinates() const { return m_coordinates.data(); }

private:
    std::vector<T> m_coordinates;
};

}  // namespace ngl
