#include "GraphGeneratorFactory.h"

#include "MSTgraphGenerator.h"
#include "RNGgraphGenerator.h"
#include "kNNgraphGenerator.h"

namespace Zelvo {

std::unique_ptr<NeighborhoodGraphGeneratorInterface> GraphGeneratorFactory::FromNeighborhoodGraphFactory(GraphType type)
{
    // k of each kNN entry, by list position.
    static const int kNeighbours[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 30};
    const unsigned int value = static_cast<unsigned int>(type);
    if (value < sizeof kNeighbours / sizeof kNeighbours[0]) return std::make_unique<kNNgraphGenerator>(kNeighbours[value]);
    if (value == RNGGraph) return std::make_unique<RNGgraphGenerator>();
    if (value == MSTGraph) return std::make_unique<MSTgraphGenerator>();
    return nullptr;
}

}  // namespace Zelvo
