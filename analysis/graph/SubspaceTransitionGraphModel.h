#pragma once

#include "GraphNodeIndexMap.h"
#include "ViewTransitionGraphModel.h"

namespace Zelvo {

// The view transition graph model that the main window keeps. It records which nodes the
// last change appended, so that the generator can update the previous graph instead of
// building a new one.
class SubspaceTransitionGraphModel : public ViewTransitionGraphModel {
    Q_OBJECT

public:
    explicit SubspaceTransitionGraphModel(QObject* parent = nullptr);
    ~SubspaceTransitionGraphModel() override;

    void AddEmbeddingResult(LinearProjectionEmbeddingResult* r, bool flag) override;
    void initParams() override;
    // Hands the generator the nodes, the previous graph and the index map from that graph's
    // nodes to the current ones; the new graph becomes both current and previous.
    void reBuildNodeNeighborhoodGraph() override;

    // The node range of the last change (positions in graphNodes; -1: none).
    int addPosition = 0;
    int addCount = 0;
    int removePosition = 0;
    int removeCount = 0;
    GraphNodeIndexMap indexMap;
    // The graph the next update starts from; owned through `graph`, never on its own.
    const GraphModel<float>* previousGraph = nullptr;

protected:
    void m_nodesAppended(int previousCount, int count) override;
};

}  // namespace Zelvo
