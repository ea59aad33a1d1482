#include "DataOperationController.h"

#include "ClusteringResult.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "Log.h"
#include "hNode.h"

#include <algorithm>

namespace Zelvo {

namespace {
// Every embedding the system shows is two-dimensional.
constexpr int kTargetDimension = 2;
}  // namespace

DataOperationController::DataOperationController() = default;

DataOperationController::~DataOperationController() = default;

void DataOperationController::SetDataProfile(DataProfile* profile)
{
    m_profile = profile;
}

bool DataOperationController::m_canRun(const void* engine, const char* operation) const
{
    if (!m_profile) {
        Log::Printf("Error: No data profile for %s!\n", operation);
        return false;
    }
    if (!engine) {
        Log::Printf("Error: No engine for %s!\n", operation);
        return false;
    }
    return true;
}

std::unique_ptr<ClusteringResult> DataOperationController::ApplyClustering(ClusteringInterface* engine)
{
    if (!m_canRun(engine, "clustering")) return nullptr;
    return engine->DoClustering(&m_profile->GetPointSet());
}

std::unique_ptr<EmbeddingResult> DataOperationController::ApplyDimReduction(DimReductionInterface* engine)
{
    if (!m_canRun(engine, "dimension reduction")) return nullptr;
    return engine->DoEmbeding(&m_profile->GetPointSet(), kTargetDimension);
}

std::unique_ptr<ClusterNodeGraphModel> DataOperationController::GenerateGraphModelFromClusteringResult(
    ClusteringResult* clustering, EmbeddingResult* embedding)
{
    if (!m_profile) {
        Log::Puts("Error: No data profile!");
        return nullptr;
    }
    if (!embedding) embedding = m_profile->GetCurrentEmbeddingResult();
    if (!embedding) {
        Log::Puts("Error: No existing embeddingResult!");
        return nullptr;
    }
    if (!clustering) {
        Log::Puts("Error: No existing clusteringResult!");
        return nullptr;
    }
    HDpointSet<float>& points = m_profile->GetPointSet();
    const int pointCount = points.GetPointCount();
    // After a deletion the embedding keeps its rows and knows which point each one shows; one
    // that cannot be paired with the points as they are now has no place for the clustering.
    std::vector<int> embeddingRow;
    if (!embedding->GetEmbeddingRowOfPointSetRow("Cluster nodes", embeddingRow)) return nullptr;
    // A clustering stored before points were deleted numbers points the set no longer has.
    if (hNode* root = clustering->GetRoot()) {
        int largest = -1;
        for (hNode* leaf : root->GetAllChildrenLeafNode())
            for (int index : leaf->pointIndices) largest = std::max(largest, index < 0 ? pointCount : index);
        if (largest >= pointCount) {
            Log::Printf("Error: The clusteringResult numbers points up to %d, the point set holds %d!\n", largest,
                        pointCount);
            return nullptr;
        }
    }
    return std::make_unique<ClusterNodeGraphModel>(clustering, embedding, &points);
}

}  // namespace Zelvo
