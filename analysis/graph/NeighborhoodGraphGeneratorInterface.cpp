#include "NeighborhoodGraphGeneratorInterface.h"

#include "ClusterNodeGraphModel.h"
#include "distanceFunctor.h"

namespace Zelvo {

std::unique_ptr<GraphModel<float>> NeighborhoodGraphGeneratorInterface::GenerateNeighborhoodGraph(
    ClusterNodeGraphModel& nodes, distanceFunctor& distance)
{
    // Node i of the graph is node i of the model's list.
    const std::vector<ClusterNode*>& list = nodes.GetClusterNodes();
    std::vector<HDpoint<float>> points;
    points.reserve(list.size());
    for (const ClusterNode* node : list) points.push_back(node->GetRepresentativePoint());

    static const std::vector<bool> noMask;
    const std::vector<bool>& mask = nodes.GetPointSet() ? nodes.GetPointSet()->m_dimMask : noMask;
    return GenerateNeighborhoodGraph(points, mask, distance);
}

}  // namespace Zelvo
