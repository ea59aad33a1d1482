#pragma once

#include "Cluster.h"
#include "GraphNodeModelInterface.h"
#include "HDpoint.h"

#include <memory>
#include <vector>

namespace Zelvo {

// One cluster shown in the projected view: its cluster (owned), copies of the cluster's
// representative point and geometric centre, and the 2-D position of the representative
// point in the embedding it was built for.
class ClusterNode : public GraphNodeModelInterface {
public:
    ClusterNode(std::unique_ptr<Cluster> cluster, HDpoint<float> representative, HDpoint<float> geometricCenter,
                float x, float y);
    ~ClusterNode() override;
    ClusterNode(const ClusterNode&) = delete;
    ClusterNode& operator=(const ClusterNode&) = delete;

    // Every node is one step from every other.
    float DistanceFromNode(GraphNodeModelInterface* other) override;

    std::vector<int>* GetAllPointIndex() { return m_cluster->GetAllPointIndex(); }
    int GetPointCount() const { return m_cluster->GetPointCount(); }
    Cluster* GetCluster() { return m_cluster.get(); }
    const HDpoint<float>& GetRepresentativePoint() const { return m_representativePoint; }
    const HDpoint<float>& GetGeometricCenter() const { return m_geometricCenter; }
    float GetX() const { return m_x; }
    float GetY() const { return m_y; }

private:
    std::unique_ptr<Cluster> m_cluster;
    HDpoint<float> m_representativePoint;
    HDpoint<float> m_geometricCenter;
    float m_x;
    float m_y;
};

}  // namespace Zelvo
