#pragma once

#include "ClusteringInterface.h"
#include "EngineTypes.h"
#include "SpectralClusteringCore.h"
#include "distanceFunctor.h"

namespace Zelvo {

// Spectral clustering: Gaussian affinity over the packed points, normalised Laplacian, the
// leading eigenvectors clustered by k-means for a fixed count, or by eigenvector rotation
// (at most maxClusterCount clusters) when the count is 0 or below. Null when it fails.
class SpectralClustering : public ClusteringInterface {
public:
    SpectralClustering(distanceFunctor& functor, SpectralClusteringType type, int clusterCount, float kernel,
                       int maxClusterCount);
    std::unique_ptr<ClusteringResult> DoClustering(HDpointSet<float>* points) override;

    // The k-means seeding draws from std::rand unless a test injects its own sequence.
    void SetRandomGenerator(const Kmeans::RandomGenerator& random) { m_core.SetRandomGenerator(random); }
    int GetMaxClusterCount() const { return m_core.GetMaxClusterCount(); }

protected:
    // A result holding the cluster lists, or null when the run failed.
    static std::unique_ptr<ClusteringResult> MakeResult(bool succeeded, const std::vector<std::vector<int>>& lists);

    SpectralClusteringCore m_core;

private:
    // Kept as the engine was made; the affinity is always the squared Euclidean distance.
    SpectralClusteringType m_type;
    DistanceType m_distanceType;
    std::vector<bool> m_dimMask;
};

}  // namespace Zelvo
