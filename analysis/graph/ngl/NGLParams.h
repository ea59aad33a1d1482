#pragma once

namespace ngl {

// Parameters for a point set's initialisation; the full point set needs none.
template <typename T>
struct NGLParams {
};

}  // namespace ngl
