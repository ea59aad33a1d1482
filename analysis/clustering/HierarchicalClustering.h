#pragma once

#include "ClusteringInterface.h"
#include "DistanceType.h"
#include "EngineTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TreeClusterNode;

namespace Zelvo {

// Agglomerative clustering of the selected dimensions of a point set, in its current
// normalisation state, through treecluster. The merge tree becomes the serialised hierarchy of
// the result: one internal node per merge, one leaf per point, so the cluster tree is binary.
class HierarchicalClustering : public ClusteringInterface {
public:
    HierarchicalClustering(HierarchyicalClusteringType linkage, DistanceType distance);
    ~HierarchicalClustering() override;
    HierarchicalClustering(const HierarchicalClustering&) = delete;
    HierarchicalClustering& operator=(const HierarchicalClustering&) = delete;

    // A new result, or null with "Hierarchical Cluster failed" on standard output, or with
    // the refusal alone when the run would not fit the memory the process may use.
    std::unique_ptr<ClusteringResult> DoClustering(HDpointSet<float>* points) override;

    // The most memory a run over n points of the given dimensions holds at once, in bytes:
    // the tables, and the distance triangle of every linkage but single linkage.
    double PeakBytes(int64_t n, int64_t selected, int64_t dimensions) const;

private:
    friend struct HierarchicalClusteringTestAccess;

    // Fills the row and column counts and the data, mask and weight tables; false when the
    // set offers no values to cluster (no set, unknown normalisation state, bad buffers).
    bool _setHDdataSet(HDpointSet<float>* points);
    char _convertDistanceType(DistanceType distance);
    char _convertClusteringType(HierarchyicalClusteringType linkage);
    // Writes the merge tree of m_rowCount items as serialised hierarchy text.
    const std::string& _getSerializedHierarchy(const TreeClusterNode* tree);
    std::string _getClusteringInfoString() const;

    HierarchyicalClusteringType m_linkage;
    DistanceType m_distance;
    std::string m_linkageName;
    std::string m_distanceName;
    int m_rowCount = 0;
    int m_columnCount = 0;
    // The library reads rows through row pointers; each table keeps its rows in one block.
    std::vector<double> m_dataBlock;
    std::vector<double*> m_data;
    std::vector<int> m_maskBlock;
    std::vector<int*> m_mask;
    std::vector<double> m_weights;
    std::string m_serializedHierarchy;
};

}  // namespace Zelvo
