#include "ClusterNode.h"

#include <utility>

namespace Zelvo {

ClusterNode::ClusterNode(std::unique_ptr<Cluster> cluster, HDpoint<float> representative,
                         HDpoint<float> geometricCenter, float x, float y)
    : m_cluster(std::move(cluster)),
      m_representativePoint(std::move(representative)),
      m_geometricCenter(std::move(geometricCenter)),
      m_x(x),
      m_y(y)
{
}

ClusterNode::~ClusterNode() = default;

float ClusterNode::DistanceFromNode(GraphNodeModelInterface*)
{
    return 1.0f;
}

}  // namespace Zelvo
