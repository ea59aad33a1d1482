#include "MSTgraphGenerator.h"

namespace Zelvo {

MSTgraphGenerator::MSTgraphGenerator() = default;

MSTgraphGenerator::~MSTgraphGenerator() = default;

std::unique_ptr<GraphModel<float>> MSTgraphGenerator::GenerateNeighborhoodGraph(
    const std::vector<HDpoint<float>>& /*points*/, const std::vector<bool>& /*dimMask*/, distanceFunctor& /*distance*/)
{
    return nullptr;
}

}  // namespace Zelvo
