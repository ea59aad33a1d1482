#include "ClusteringLevelFilter.h"

#include "ClusteringResult.h"
#include "hNode.h"

#include <cstddef>
#include <utility>

namespace Zelvo {

ClusteringLevelFilter::ClusteringLevelFilter(int level) : m_level(level) {}

ClusteringLevelFilter::~ClusteringLevelFilter() = default;

std::vector<std::unique_ptr<Cluster>> ClusteringLevelFilter::ApplyClusterFilter(ClusteringResult& result)
{
    std::vector<std::unique_ptr<Cluster>> clusters;
    hNode* root = result.GetRoot();
    if (!root) return clusters;

    // Breadth first; the queue is a vector read from a moving front.
    std::vector<std::pair<hNode*, int>> queue{{root, 0}};
    for (size_t front = 0; front < queue.size(); ++front) {
        hNode* node = queue[front].first;
        const int depth = queue[front].second;
        if (depth > m_level) break;
        if (depth == m_level || node->isLeaf) {
            clusters.push_back(std::make_unique<Cluster>(node));
            continue;
        }
        for (hNode* child : node->children) queue.emplace_back(child, depth + 1);
    }
    return clusters;
}

}  // namespace Zelvo
