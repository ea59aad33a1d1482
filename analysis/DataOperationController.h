#pragma once

#include "ClusterNodeGraphModel.h"
#include "ClusteringInterface.h"
#include "DimReductionInterface.h"

#include <memory>

namespace Zelvo {

class ClusteringResult;
class DataProfile;
class EmbeddingResult;

// Runs clustering and dimension-reduction engines on the data profile's point set and
// builds the cluster-node model of a clustering. It neither keeps nor deletes the engines
// it is given, and hands every result to the caller.
class DataOperationController {
public:
    DataOperationController();
    ~DataOperationController();

    // The profile whose point set the operations work on (not owned).
    void SetDataProfile(DataProfile* profile);
    DataProfile* GetDataProfile() const { return m_profile; }

    // The engine's result on the profile's point set; null when it failed.
    std::unique_ptr<ClusteringResult> ApplyClustering(ClusteringInterface* engine);
    // The engine's 2-D embedding of the profile's point set; null when it failed.
    std::unique_ptr<EmbeddingResult> ApplyDimReduction(DimReductionInterface* engine);
    // A model over the clustering and the given embedding, or the profile's current one when
    // none is given. Null, with an "Error" line, without an embedding or when the embedding
    // does not hold one position per point of the set.
    std::unique_ptr<ClusterNodeGraphModel> GenerateGraphModelFromClusteringResult(ClusteringResult* clustering,
                                                                                  EmbeddingResult* embedding);

private:
    // True when a profile and an engine are there; else prints why.
    bool m_canRun(const void* engine, const char* operation) const;

    DataProfile* m_profile = nullptr;
};

}  // namespace Zelvo
