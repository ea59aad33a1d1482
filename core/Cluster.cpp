#include "Cluster.h"

#include "hNode.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Zelvo {

namespace {

// D as every reader of the raw values sees it: the length of the dimension mask.
size_t dimensionOf(const HDpointSet<float>& points)
{
    return points.m_dimMask.size();
}

size_t pointCountOf(const HDpointSet<float>& points)
{
    const size_t D = dimensionOf(points);
    return D == 0 ? 0 : points.m_values.size() / D;
}

}  // namespace

Cluster::Cluster(hNode* node) : m_node(node)
{
    getAllLabelFromNode();
}

Cluster::~Cluster() = default;

void Cluster::getAllLabelFromNode()
{
    if (!m_node) return;
    for (const hNode* leaf : m_node->GetAllChildrenLeafNode())
        m_members.insert(m_members.end(), leaf->pointIndices.begin(), leaf->pointIndices.end());
}

HDpoint<float> Cluster::GetGeometricCenter(HDpointSet<float>& points)
{
    const size_t D = dimensionOf(points);
    const size_t N = pointCountOf(points);
    std::vector<float> center(D, 0.0f);
    size_t used = 0;
    for (const int m : m_members) {
        if (!m_isPointOf(m, N)) continue;
        const float* row = &points.m_values[static_cast<size_t>(m) * D];
        for (size_t d = 0; d < D; ++d) center[d] += row[d];
        ++used;
    }
    if (used > 0)
        for (size_t d = 0; d < D; ++d) center[d] /= static_cast<float>(used);
    m_geometricCenter = HDpoint<float>(std::move(center));
    return m_geometricCenter;
}

HDpoint<float> Cluster::GetCenterFromPoints(HDpointSet<float>& points)
{
    GetGeometricCenter(points);
    const size_t D = dimensionOf(points);
    const size_t N = pointCountOf(points);
    const std::vector<bool>& mask = points.m_dimMask;

    float best = std::numeric_limits<float>::max();
    int bestIndex = -1;
    for (const int m : m_members) {
        if (!m_isPointOf(m, N)) continue;
        const float* row = &points.m_values[static_cast<size_t>(m) * D];
        double sum = 0.0;
        for (size_t d = 0; d < D; ++d) {
            if (!mask[d]) continue;
            const float diff = row[d] - m_geometricCenter[d];
            sum += static_cast<double>(diff * diff);
        }
        const float distance = static_cast<float>(std::sqrt(sum));
        // A member whose distance is not finite still beats having no representative.
        if (distance < best || bestIndex < 0) {
            best = distance;
            bestIndex = m;
        }
    }
    if (bestIndex >= 0) {
        const float* row = &points.m_values[static_cast<size_t>(bestIndex) * D];
        m_representativePoint = HDpoint<float>(row, D);
        m_representativeIndex = bestIndex;
    } else {
        m_representativeIndex = -1;
    }
    return m_representativePoint;
}

int Cluster::GetCenterIndex(HDpointSet<float>& points)
{
    GetCenterFromPoints(points);
    return m_representativeIndex;
}

ClusterStatistics* Cluster::GetClusterStatistic(HDpointSet<float>& points)
{
    const size_t D = dimensionOf(points);
    const size_t N = pointCountOf(points);
    size_t used = 0;
    for (const int m : m_members)
        if (m_isPointOf(m, N)) ++used;
    if (used == 0) return nullptr;

    if (points.m_dimMin.size() < D || points.m_dimMax.size() < D) points.UpdateDimensionMinMaxMeanVariance();
    m_statistics.Resize(D);
    std::fill(m_statistics.memberMin.begin(), m_statistics.memberMin.end(), std::numeric_limits<float>::max());
    std::fill(m_statistics.memberMax.begin(), m_statistics.memberMax.end(), std::numeric_limits<float>::lowest());
    std::fill(m_statistics.memberMean.begin(), m_statistics.memberMean.end(), 0.0f);

    for (const int m : m_members) {
        if (!m_isPointOf(m, N)) continue;
        const float* row = &points.m_values[static_cast<size_t>(m) * D];
        for (size_t d = 0; d < D; ++d) {
            const float v = row[d];
            m_statistics.memberMean[d] += v;
            if (v < m_statistics.memberMin[d]) m_statistics.memberMin[d] = v;
            if (v > m_statistics.memberMax[d]) m_statistics.memberMax[d] = v;
        }
    }
    for (size_t d = 0; d < D; ++d) {
        m_statistics.pointSetMin[d] = points.m_dimMin[d];
        m_statistics.pointSetMax[d] = points.m_dimMax[d];
        m_statistics.memberMean[d] /= static_cast<float>(used);
        m_statistics.dimensionLabels[d] = points.GetDimensionLabel(static_cast<int>(d));
    }
    return &m_statistics;
}

std::vector<std::unique_ptr<Cluster>> Cluster::SpawnChildrenClusters()
{
    std::vector<std::unique_ptr<Cluster>> children;
    if (!m_node || m_node->isLeaf) return children;
    children.reserve(m_node->children.size());
    for (hNode* child : m_node->children) children.push_back(std::make_unique<Cluster>(child));
    return children;
}

}  // namespace Zelvo
