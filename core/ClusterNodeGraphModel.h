#pragma once

#include "ClusterNode.h"
#include "ClusteringLevelFilter.h"
#include "HDpointSet.h"

#include <memory>
#include <vector>

namespace Zelvo {

class ClusteringResult;
class EmbeddingResult;

// The cluster nodes of one tree level of a clustering, placed at their representative
// points in an embedding, and refinable into the nodes of their child clusters.
//
// The model owns every node it created. Nodes in the list live until the next rebuild; a
// node taken out of the list by a refinement stays valid (its holder may still draw it)
// until the next rebuild or the model's destruction.
class ClusterNodeGraphModel {
public:
    // None of the three is owned; builds no nodes yet (level 1).
    ClusterNodeGraphModel(ClusteringResult* clustering, EmbeddingResult* embedding, HDpointSet<float>* points);
    ~ClusterNodeGraphModel();
    ClusterNodeGraphModel(const ClusterNodeGraphModel&) = delete;
    ClusterNodeGraphModel& operator=(const ClusterNodeGraphModel&) = delete;

    // Only the pointer changes: existing nodes keep their positions until a rebuild.
    void UpdateEmbeddingResult(EmbeddingResult* embedding);
    // Rebuilds the nodes of a level; -1 keeps the stored level.
    void UpdateClusterNodeByLevel(int level);
    // Replaces a listed node by the nodes of its child clusters (returned in child order,
    // appended to the list). A node not in the list changes nothing and gives an empty list.
    std::vector<ClusterNode*> RefineClusterNode(ClusterNode* node);
    // Builds every listed node again from its part of the tree, as the points are numbered now
    // (after points were deleted and the clustering renumbered): one entry per former node, in
    // list order, null where the cluster has no point left. Former nodes stay valid as above.
    std::vector<ClusterNode*> RebuildClusterNodes();

    const std::vector<ClusterNode*>& GetClusterNodes() const { return m_nodes; }
    int GetLevel() const { return m_level; }
    ClusteringResult* GetClusteringResult() const { return m_clustering; }
    EmbeddingResult* GetEmbeddingResult() const { return m_embedding; }
    HDpointSet<float>* GetPointSet() const { return m_points; }

private:
    // A node for the cluster, owned by the model; null (and the cluster dropped) when the
    // cluster has no point to stand for it.
    ClusterNode* createClusterNode(std::unique_ptr<Cluster> cluster, const std::vector<int>& embeddingRow);
    // The embedding row of each point-set row (-1: none). Rows that cannot be paired (an
    // Error line says so) are taken in order, as far as the embedding goes.
    std::vector<int> embeddingRows() const;

    ClusteringResult* m_clustering;
    EmbeddingResult* m_embedding;
    HDpointSet<float>* m_points;
    std::vector<ClusterNode*> m_nodes;
    std::unique_ptr<ClusteringLevelFilter> m_filter;
    int m_level = 1;
    std::vector<std::unique_ptr<ClusterNode>> m_ownedNodes;  // listed and refined-away nodes
};

}  // namespace Zelvo
