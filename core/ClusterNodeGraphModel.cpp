#include "ClusterNodeGraphModel.h"

#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "Log.h"

#include <algorithm>
#include <utility>

namespace Zelvo {

ClusterNodeGraphModel::ClusterNodeGraphModel(ClusteringResult* clustering, EmbeddingResult* embedding,
                                             HDpointSet<float>* points)
    : m_clustering(clustering), m_embedding(embedding), m_points(points),
      m_filter(std::make_unique<ClusteringLevelFilter>(1))
{
}

ClusterNodeGraphModel::~ClusterNodeGraphModel() = default;

void ClusterNodeGraphModel::UpdateEmbeddingResult(EmbeddingResult* embedding)
{
    m_embedding = embedding;
}

void ClusterNodeGraphModel::UpdateClusterNodeByLevel(int level)
{
    if (level != -1) m_level = level;
    m_filter->SetLevel(m_level);
    std::vector<std::unique_ptr<Cluster>> clusters;
    if (m_clustering) clusters = m_filter->ApplyClusterFilter(*m_clustering);

    m_nodes.clear();
    m_ownedNodes.clear();
    for (std::unique_ptr<Cluster>& cluster : clusters) {
        if (ClusterNode* node = createClusterNode(std::move(cluster))) m_nodes.push_back(node);
    }
}

std::vector<ClusterNode*> ClusterNodeGraphModel::RefineClusterNode(ClusterNode* node)
{
    std::vector<ClusterNode*> refined;
    const auto at = std::find(m_nodes.begin(), m_nodes.end(), node);
    if (node == nullptr || at == m_nodes.end()) return refined;
    m_nodes.erase(at);  // stays owned: the caller may still hold it

    for (std::unique_ptr<Cluster>& child : node->GetCluster()->SpawnChildrenClusters()) {
        if (ClusterNode* created = createClusterNode(std::move(child))) {
            m_nodes.push_back(created);
            refined.push_back(created);
        }
    }
    return refined;
}

ClusterNode* ClusterNodeGraphModel::createClusterNode(std::unique_ptr<Cluster> cluster)
{
    if (!m_points || !m_embedding) return nullptr;
    const int index = cluster->GetCenterIndex(*m_points);
    if (index < 0) return nullptr;  // no member names a point of the set
    if (index >= m_embedding->pointCount || m_embedding->dim < 2) {
        Log::Printf("Error: cluster representative %d has no position in the embedding\n", index);
        return nullptr;
    }
    HDpoint<float> representative = cluster->GetCenterFromPoints(*m_points);
    HDpoint<float> center = cluster->GetGeometricCenter(*m_points);
    const Position2D position = m_embedding->Get2Dpoint(index);
    m_ownedNodes.push_back(std::make_unique<ClusterNode>(std::move(cluster), std::move(representative),
                                                         std::move(center), position.x, position.y));
    return m_ownedNodes.back().get();
}

}  // namespace Zelvo
