#pragma once

#include "SpectralClustering.h"

namespace Zelvo {

// Subspace clustering: the affinity comes from a ridge-regularised least-squares
// self-representation of every point by the others (15 strongest coefficients kept); the
// spectral steps are those of the base, with at most 10 clusters for the automatic count.
class SubspaceClustering : public SpectralClustering {
public:
    SubspaceClustering(distanceFunctor& functor, SubspaceClusteringType subspaceType,
                       SpectralClusteringType spectralType, int clusterCount, float kernel);
    std::unique_ptr<ClusteringResult> DoClustering(HDpointSet<float>* points) override;
};

}  // namespace Zelvo
