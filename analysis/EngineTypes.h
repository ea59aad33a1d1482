#pragma once

// Enumerations that select engine variants; the factories pass the values on unchanged.
namespace Zelvo {

// 0 single, 1 maximum (complete), 2 average, 3 centroid linkage; any other value: average.
enum HierarchyicalClusteringType : int {
    SingleLinkage = 0,
    MaximumLinkage = 1,
    AverageLinkage = 2,
    CentroidLinkage = 3
};

// 0 classic k-means (Lloyd iteration), 1 k-means++; any other value fails.
enum kmeansType : int { ClassicKmeans = 0, KmeansPlusPlus = 1 };

// The graph cut of spectral clustering; only 0 (normalised cut) is in use.
enum SpectralClusteringType : int { NormalizedCut = 0 };

// The affinity graph of subspace clustering; only 0 (least-squares self-representation).
enum SubspaceClusteringType : int { LeastSquaresSelfRepresentation = 0 };

}  // namespace Zelvo
