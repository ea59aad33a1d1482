#pragma once

#include "GraphModel.h"
#include "GraphNodeIndexMap.h"
#include "GraphNodeModelInterface.h"

#include <memory>
#include <vector>

namespace Zelvo {

// Builds the graph between the nodes of a view transition graph model; nodes measure their
// mutual distance with DistanceFromNode. Node i of a graph is position i of the node list.
// The returned graph belongs to the caller.
class ViewGraphGeneratorInterface {
public:
    virtual ~ViewGraphGeneratorInterface() = default;

    virtual std::unique_ptr<GraphModel<float>> GenerateGraph(const std::vector<GraphNodeModelInterface*>& nodes) = 0;

    // The graph for the nodes, updated from `previous` (null when there is none yet), whose
    // node i is now node map.forwardMap[i] (-1: gone); map.reverseMap[j] is the previous index
    // of node j (negative: new). `previous` stays the caller's.
    virtual std::unique_ptr<GraphModel<float>> UpdateGraph(const std::vector<GraphNodeModelInterface*>& nodes,
                                                           const GraphModel<float>* previous,
                                                           const GraphNodeIndexMap& map) = 0;
};

}  // namespace Zelvo
