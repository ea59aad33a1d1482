#pragma once

// A node of a neighbourhood graph that can measure its distance to another node.
// Cluster nodes and the view nodes of the transition graph models implement it.
class GraphNodeModelInterface {
public:
    virtual ~GraphNodeModelInterface() = default;
    virtual float DistanceFromNode(GraphNodeModelInterface* other) = 0;
};

namespace Zelvo {
using ::GraphNodeModelInterface;
}  // namespace Zelvo
