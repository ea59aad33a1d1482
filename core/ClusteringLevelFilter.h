#pragma once

#include "FilterClusteringResult.h"

namespace Zelvo {

// Cuts the tree at one level: every node at exactly that depth (the root is 0) together
// with every leaf above it, in breadth-first order. A negative level gives no clusters.
class ClusteringLevelFilter : public FilterClusteringResult {
public:
    explicit ClusteringLevelFilter(int level);
    ~ClusteringLevelFilter() override;

    std::vector<std::unique_ptr<Cluster>> ApplyClusterFilter(ClusteringResult& result) override;

    int GetLevel() const { return m_level; }
    void SetLevel(int level) { m_level = level; }

private:
    int m_level;
};

}  // namespace Zelvo
