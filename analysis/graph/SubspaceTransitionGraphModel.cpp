#include "SubspaceTransitionGraphModel.h"

namespace Zelvo {

SubspaceTransitionGraphModel::SubspaceTransitionGraphModel(QObject* parent) : ViewTransitionGraphModel(parent) {}

SubspaceTransitionGraphModel::~SubspaceTransitionGraphModel() = default;

void SubspaceTransitionGraphModel::initParams()
{
    ViewTransitionGraphModel::initParams();
    addPosition = 0;
    addCount = 0;
    removePosition = 0;
    removeCount = 0;
    previousGraph = nullptr;
}

void SubspaceTransitionGraphModel::m_nodesAppended(int previousCount, int count)
{
    addPosition = previousCount - 1;
    addCount = count;
    removePosition = -1;
    removeCount = 0;
    indexMap.AddIndexMapByAddRemoveRanges(previousCount, addPosition, addCount, removePosition, removeCount);
}

void SubspaceTransitionGraphModel::AddEmbeddingResult(LinearProjectionEmbeddingResult* r, bool flag)
{
    m_nodesAppended(static_cast<int>(graphNodes.size()), 1);
    ViewTransitionGraphModel::AddEmbeddingResult(r, flag);
}

void SubspaceTransitionGraphModel::reBuildNodeNeighborhoodGraph()
{
    if (!graphGenerator) return;
    const std::vector<GraphNodeModelInterface*> nodes = *getGraphNodeInterfacePointers();
    // The previous graph is the current one; it is released only after the update used it.
    graph = graphGenerator->UpdateGraph(nodes, previousGraph, indexMap);
    previousGraph = graph.get();
}

}  // namespace Zelvo
