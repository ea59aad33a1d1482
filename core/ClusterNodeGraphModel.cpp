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
    const std::vector<int> embeddingRow = embeddingRows();
    for (std::unique_ptr<Cluster>& cluster : clusters) {
        if (ClusterNode* node = createClusterNode(std::move(cluster), embeddingRow)) m_nodes.push_back(node);
    }
}

std::vector<ClusterNode*> ClusterNodeGraphModel::RefineClusterNode(ClusterNode* node)
{
    std::vector<ClusterNode*> refined;
    const auto at = std::find(m_nodes.begin(), m_nodes.end(), node);
    if (node == nullptr || at == m_nodes.end()) return refined;
    m_nodes.erase(at);  // stays owned: the caller may still hold it

    const std::vector<int> embeddingRow = embeddingRows();
    for (std::unique_ptr<Cluster>& child : node->GetCluster()->SpawnChildrenClusters()) {
        if (ClusterNode* created = createClusterNode(std::move(child), embeddingRow)) {
            m_nodes.push_back(created);
            refined.push_back(created);
        }
    }
    return refined;
}

std::vector<ClusterNode*> ClusterNodeGraphModel::RebuildClusterNodes()
{
    const std::vector<int> embeddingRow = embeddingRows();
    std::vector<ClusterNode*> rebuilt;
    rebuilt.reserve(m_nodes.size());
    for (ClusterNode* node : m_nodes)
        rebuilt.push_back(createClusterNode(std::make_unique<Cluster>(node->GetCluster()->GetNode()), embeddingRow));
    m_nodes.clear();
    for (ClusterNode* node : rebuilt)
        if (node) m_nodes.push_back(node);
    return rebuilt;
}

std::vector<int> ClusterNodeGraphModel::embeddingRows() const
{
    std::vector<int> embeddingRow;
    if (!m_points || !m_embedding || m_embedding->GetEmbeddingRowOfPointSetRow("Cluster nodes", embeddingRow))
        return embeddingRow;
    // Rows that cannot be paired (said above): row i stands for point i as far as both go.
    embeddingRow.resize(static_cast<size_t>(std::max(0, m_embedding->pointCount)));
    for (size_t i = 0; i < embeddingRow.size(); ++i) embeddingRow[i] = static_cast<int>(i);
    return embeddingRow;
}

ClusterNode* ClusterNodeGraphModel::createClusterNode(std::unique_ptr<Cluster> cluster,
                                                      const std::vector<int>& embeddingRow)
{
    if (!m_points || !m_embedding) return nullptr;
    const int index = cluster->GetCenterIndex(*m_points);
    if (index < 0) return nullptr;  // no member names a point of the set
    // The embedding may be older than a deletion: it shows the point in a row of its own.
    const int row = static_cast<size_t>(index) < embeddingRow.size() ? embeddingRow[index] : -1;
    if (row < 0 || m_embedding->dim < 2) {
        Log::Printf("Error: cluster representative %d has no position in the embedding\n", index);
        return nullptr;
    }
    // GetCenterIndex computed and kept both points.
    HDpoint<float> representative = cluster->GetRepresentativePoint();
    HDpoint<float> center = cluster->GetStoredGeometricCenter();
    const Position2D position = m_embedding->Get2Dpoint(row);
    m_ownedNodes.push_back(std::make_unique<ClusterNode>(std::move(cluster), std::move(representative),
                                                         std::move(center), position.x, position.y));
    return m_ownedNodes.back().get();
}

}  // namespace Zelvo
