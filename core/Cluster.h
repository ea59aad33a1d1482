#pragma once

#include "ClusterStatistics.h"
#include "HDpoint.h"
#include "HDpointSet.h"

#include <memory>
#include <vector>

namespace Zelvo {

class hNode;

// One node of a cluster tree seen as a set of points: the indices at every leaf below the
// node. Values are always read from the point set's raw values (all D dimensions). Member
// indices that do not name a point of the set (after a deletion, or from an imported
// hierarchy) are kept in the member list but never read.
class Cluster {
public:
    // Keeps the node (not owned: the clustering result owns the tree); null gives no members.
    explicit Cluster(hNode* node);
    ~Cluster();
    Cluster(const Cluster&) = delete;
    Cluster& operator=(const Cluster&) = delete;

    // Mean of the members over all dimensions; D zeros without usable members.
    HDpoint<float> GetGeometricCenter(HDpointSet<float>& points);
    // The member nearest to the geometric centre over the selected dimensions (first of
    // equals). Without usable members the stored point stays as it was.
    HDpoint<float> GetCenterFromPoints(HDpointSet<float>& points);
    // Index of that member; -1 when the cluster has no usable member.
    int GetCenterIndex(HDpointSet<float>& points);
    // Member statistics, owned by the cluster; null without usable members.
    ClusterStatistics* GetClusterStatistic(HDpointSet<float>& points);
    // One new cluster per child node in child order; empty for a leaf.
    std::vector<std::unique_ptr<Cluster>> SpawnChildrenClusters();

    std::vector<int>* GetAllPointIndex() { return &m_members; }
    const std::vector<int>& GetMembers() const { return m_members; }
    int GetPointCount() const { return static_cast<int>(m_members.size()); }
    hNode* GetNode() const { return m_node; }
    int GetRepresentativeIndex() const { return m_representativeIndex; }
    const HDpoint<float>& GetRepresentativePoint() const { return m_representativePoint; }
    const HDpoint<float>& GetStoredGeometricCenter() const { return m_geometricCenter; }

private:
    void getAllLabelFromNode();
    // Rows of members that name a point of the set.
    static bool m_isPointOf(int index, size_t pointCount) { return index >= 0 && static_cast<size_t>(index) < pointCount; }

    std::vector<int> m_members;
    int m_representativeIndex = -1;
    HDpoint<float> m_geometricCenter;
    HDpoint<float> m_representativePoint;
    hNode* m_node = nullptr;
    ClusterStatistics m_statistics;
};

}  // namespace Zelvo
