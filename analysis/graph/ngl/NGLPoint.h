#pragma once

namespace ngl {

// One point: a view of its Geometry<T>::D coordinates, which live in the point set.
template <typename T>
struct NGLPoint {
    T* coords = nullptr;

    NGLPoint() = default;
    explicit NGLPoint(T* c) : coords(c) {}
    T& operator[](unsigned int d) const { return coords[d]; }
};

}  // namespace ngl
