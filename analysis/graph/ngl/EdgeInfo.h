#pragma once

namespace ngl {

// One candidate edge a-b as an empty-region test sees it.
template <typename T>
struct EdgeInfo {
    T* a = nullptr;    // first end
    T* b = nullptr;    // second end
    T* mid = nullptr;  // midpoint
    T len2 = 0;        // |a - b|^2
    T quarter = 0;     // len2 / 4
};

}  // namespace ngl
