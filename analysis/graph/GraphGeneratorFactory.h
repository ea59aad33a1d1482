#pragma once

#include "GraphType.h"
#include "NeighborhoodGraphGeneratorInterface.h"

#include <memory>

namespace Zelvo {

class GraphGeneratorFactory {
public:
    GraphGeneratorFactory() = delete;
    // The generator for a graph-list entry; null for any value outside 0 to 13.
    static std::unique_ptr<NeighborhoodGraphGeneratorInterface> FromNeighborhoodGraphFactory(GraphType type);
};

}  // namespace Zelvo
