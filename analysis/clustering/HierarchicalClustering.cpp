#include "HierarchicalClustering.h"

#include "ClusteringResult.h"
#include "HDpointSet.h"
#include "Log.h"
#include "MemoryBudget.h"
#include "TreeCluster.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

namespace Zelvo {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

HierarchicalClustering::HierarchicalClustering(HierarchyicalClusteringType linkage, DistanceType distance)
    : m_linkage(linkage), m_distance(distance)
{
}

HierarchicalClustering::~HierarchicalClustering() = default;

// Exhausted memory is reported like every other failure: no exception leaves the engine.
std::unique_ptr<ClusteringResult> HierarchicalClustering::DoClustering(HDpointSet<float>* points)
try {
    if (points && !MemoryBudget::Fits("Hierarchical clustering",
                                      PeakBytes(points->GetPointCount(), points->GetSelectedDimensionCount(),
                                                static_cast<int64_t>(points->m_dimMask.size()))))
        return nullptr;
    if (!_setHDdataSet(points)) {
        Log::Puts("Hierarchical Cluster failed");
        return nullptr;
    }

    auto result = std::make_unique<ClusteringResult>();
    const char dist = _convertDistanceType(m_distance);
    const char method = _convertClusteringType(m_linkage);

    std::unique_ptr<TreeClusterNode, FreeDeleter> tree(treecluster(m_rowCount, m_columnCount, m_data.data(),
                                                                   m_mask.data(), m_weights.data(), 0, dist,
                                                                   method, nullptr));
    if (!tree) {
        Log::Puts("Hierarchical Cluster failed");
        return nullptr;
    }

    result->SetSerializedHierarchyString(_getSerializedHierarchy(tree.get()));
    result->SetDescription(_getClusteringInfoString());
    return result;
} catch (const std::bad_alloc&) {
    Log::Puts("Error HierarchicalClustering: not enough memory");
    return nullptr;
}

double HierarchicalClustering::PeakBytes(int64_t n, int64_t selected, int64_t dimensions) const
{
    const double N = double(std::max<int64_t>(n, 0));
    const double d = double(std::max<int64_t>(selected, 0)), D = double(std::max<int64_t>(dimensions, 0));
    // Data and mask tables with their row pointers, the merge tree and the hierarchy text; the
    // normalised values of states 1 and 2 are made again (float, every dimension).
    double bytes = N * (12.0 * d + 4.0 * D + 80.0);
    if (m_linkage == SingleLinkage) return bytes + 16.0 * N;
    // The triangle of n (n - 1) / 2 doubles, its row pointers and each row's smallest entry.
    bytes += 4.0 * N * (N - 1.0) + 28.0 * N;
    // Centroid linkage merges its own copy of the rows, each row a block of its own.
    if (m_linkage == CentroidLinkage) bytes += N * (12.0 * d + 48.0);
    return bytes;
}

bool HierarchicalClustering::_setHDdataSet(HDpointSet<float>* points)
{
    m_rowCount = 0;
    m_columnCount = 0;
    m_dataBlock.clear();
    m_data.clear();
    m_maskBlock.clear();
    m_mask.clear();
    m_weights.clear();

    if (!points) {
        Log::Puts("Error: hierarchical clustering was given no point set");
        return false;
    }

    // D comes from the mask, as everywhere in the point set.
    points->m_dimension = static_cast<int64_t>(points->m_dimMask.size());
    const size_t D = static_cast<size_t>(points->m_dimension);
    const int n = points->GetPointCount();
    const size_t N = static_cast<size_t>(n);

    const std::vector<float>* source = nullptr;
    switch (points->m_state) {
    case PointSetOriginal:
        source = &points->m_values;
        break;
    case PointSetVarianceNorm:
        // The set keeps its normalised buffers until told otherwise; rebuilt here from the
        // current values so rows deleted or replaced since cannot leak into the tree.
        points->ResetNormalizationBuffers();
        if (N > 0 && D > 0) points->generateMeanVarNormalizationBuffer();
        source = &points->m_meanVarBuffer;
        break;
    case PointSetMinMaxNorm:
        points->ResetNormalizationBuffers();
        if (N > 0 && D > 0) points->generateMinMaxNormalizationBuffer();
        source = &points->m_minMaxBuffer;
        break;
    default:
        Log::Printf("Error: hierarchical clustering needs normalisation state 0, 1 or 2, not %d\n",
                    static_cast<int>(points->m_state));
        return false;
    }
    if (source->size() < N * D) {
        Log::Printf("Error: hierarchical clustering found %zu values for %d points of %zu dimensions\n",
                    source->size(), n, D);
        return false;
    }

    std::vector<size_t> selected;
    for (size_t d = 0; d < D; ++d)
        if (points->m_dimMask[d]) selected.push_back(d);
    const size_t d = selected.size();

    m_rowCount = n;
    m_columnCount = static_cast<int>(d);
    m_dataBlock.assign(N * d, 0.0);
    m_maskBlock.assign(N * d, 1);
    m_weights.assign(d, 1.0);
    m_data.resize(N);
    m_mask.resize(N);
    for (size_t i = 0; i < N; ++i) {
        double* row = m_dataBlock.data() + i * d;
        const float* values = source->data() + i * D;
        for (size_t c = 0; c < d; ++c) row[c] = static_cast<double>(values[selected[c]]);
        m_data[i] = row;
        m_mask[i] = m_maskBlock.data() + i * d;
    }
    return true;
}

char HierarchicalClustering::_convertDistanceType(DistanceType distance)
{
    switch (distance) {
    case DistanceManhattan:
        m_distanceName = "ManhattanDist";
        return 'b';
    case DistancePearsonCorrelation:
        m_distanceName = "CorrelationDist";
        return 'c';
    default:  // Euclidean and every other value
        m_distanceName = "EuclideanDist";
        return 'e';
    }
}

char HierarchicalClustering::_convertClusteringType(HierarchyicalClusteringType linkage)
{
    switch (linkage) {
    case SingleLinkage:
        m_linkageName = "SingleLinkage";
        return 's';
    case MaximumLinkage:
        m_linkageName = "MaximumLinkage";
        return 'm';
    case CentroidLinkage:
        m_linkageName = "CentroidLinkage";
        return 'c';
    default:  // average and every other value
        m_linkageName = "AverageLinkage";
        return 'a';
    }
}

const std::string& HierarchicalClustering::_getSerializedHierarchy(const TreeClusterNode* tree)
{
    m_serializedHierarchy.clear();
    if (!tree || m_rowCount < 2) return m_serializedHierarchy;

    // Depth first; the left member is pushed first so the right one is written first.
    std::vector<std::pair<int, int>> stack;  // id, depth
    stack.reserve(static_cast<size_t>(m_rowCount));
    stack.emplace_back(1 - m_rowCount, 0);
    int previousDepth = -1;
    char leaf[24];
    while (!stack.empty()) {
        const auto [id, depth] = stack.back();
        stack.pop_back();
        // Close every node that ended since the previous entry.
        if (previousDepth >= depth) m_serializedHierarchy.append(static_cast<size_t>(previousDepth + 1 - depth), '-');
        if (id < 0) {
            const TreeClusterNode& node = tree[-id - 1];
            m_serializedHierarchy += "+(N)";
            stack.emplace_back(node.left, depth + 1);
            stack.emplace_back(node.right, depth + 1);
        } else {
            std::snprintf(leaf, sizeof leaf, "+(L%d)", id);
            m_serializedHierarchy += leaf;
        }
        previousDepth = depth;
    }
    return m_serializedHierarchy;
}

std::string HierarchicalClustering::_getClusteringInfoString() const
{
    return "classicHClustering" + m_linkageName + "_" + m_distanceName;
}

}  // namespace Zelvo
