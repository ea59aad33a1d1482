#pragma once

#include "GraphModel.h"
#include "HDpoint.h"

#include <memory>
#include <vector>

namespace Zelvo {

class ClusterNodeGraphModel;
class distanceFunctor;

// Builds a neighbourhood graph between cluster nodes. The returned graph belongs to the caller;
// null means the generator builds no graph (or refused its parameters).
class NeighborhoodGraphGeneratorInterface {
public:
    virtual ~NeighborhoodGraphGeneratorInterface() = default;

    // Graph over the model's current cluster nodes, through their representative points and
    // the point set's dimension mask. Defined beside the cluster-node model.
    std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(ClusterNodeGraphModel& nodes,
                                                                 distanceFunctor& distance);

    // Graph over nodes given by their representative points, in node-list order. `dimMask`
    // selects the coordinates for generators that work on raw coordinates; generators that
    // measure through `distance` use its own mask.
    virtual std::unique_ptr<GraphModel<float>> GenerateNeighborhoodGraph(
        const std::vector<HDpoint<float>>& points, const std::vector<bool>& dimMask, distanceFunctor& distance) = 0;
};

}  // namespace Zelvo
