#pragma once

#include "CspectralClustering.h"
#include "HDpointSet.h"
#include "Kmeans.h"

#include <Eigen/Dense>

#include <vector>

namespace Zelvo {

// The numerical body of spectral and subspace clustering over a point set: the affinity
// (Gaussian or least-squares subspace), the normalised Laplacian D^-1/2 A D^-1/2 and the
// cluster lists from its leading eigenvectors (k-means for a positive count, eigenvector
// rotation up to the maximum count otherwise). Every step prints an "Error ..." line and
// returns false instead of ending the process.
class SpectralClusteringCore {
public:
    SpectralClusteringCore(int clusterCount, double kernel, int maxClusterCount);
    virtual ~SpectralClusteringCore() = default;

    // A(i, j) = exp(-kernel x squared distance over the packed selected coordinates).
    bool buildAffinityMatrix(HDpointSet<float>* set);
    // The least-squares subspace affinity of the packed points.
    bool buildAffinityMatrix_L2(HDpointSet<float>* set);
    bool buildNormalizedLaplacian();
    // Prints one "Cluster: ..." line per list; false when nothing could be clustered.
    bool spectralClusteringFromLaplacianMatrix(const Eigen::MatrixXd& laplacian, bool selfAdjoint,
                                               std::vector<std::vector<int>>& lists);

    // The whole runs: affinity, Laplacian, cluster lists.
    bool RunSpectralClustering(HDpointSet<float>* set, std::vector<std::vector<int>>& lists);
    bool RunSubspaceClustering(HDpointSet<float>* set, std::vector<std::vector<int>>& lists);

    // The most memory a run over n points of d selected dimensions holds at once, in bytes:
    // the packed points, the affinity and Laplacian matrices (n x n doubles), the subspace
    // affinity's own systems and the eigen-decomposition of a symmetric Laplacian.
    double PeakBytes(int64_t n, int64_t d, bool subspace) const;

    // One label per point from cluster lists: the list's position, -1 for a point in none.
    static std::vector<int> LabelsFromLists(const std::vector<std::vector<int>>& lists, int pointCount);

    void SetRandomGenerator(const Kmeans::RandomGenerator& random) { m_random = random; }
    void SetSolver(CspectralClustering::Solver solver) { m_solver = solver; }
    const Eigen::MatrixXd& GetAffinityMatrix() const { return m_affinityMatrix; }
    const Eigen::MatrixXd& GetLaplacianMatrix() const { return m_laplacianMatrix; }
    int GetClusterCount() const { return m_clusterCount; }
    int GetMaxClusterCount() const { return m_maxClusterCount; }
    double GetKernel() const { return m_kernel; }

protected:
    // The packed selected coordinates as a d x n matrix; false with a line when unusable.
    bool m_packedPoints(HDpointSet<float>* set, Eigen::MatrixXd& points);
    // False, with the refusal, when a run on the set would not fit the memory the process may
    // use; nothing is made before. A set without points or dimensions passes: the run says why.
    bool m_fits(HDpointSet<float>* set, bool subspace) const;

    Eigen::MatrixXd m_affinityMatrix;
    Eigen::MatrixXd m_laplacianMatrix;
    int m_clusterCount;
    int m_maxClusterCount;
    double m_kernel;
    Kmeans::RandomGenerator m_random = std::rand;
    CspectralClustering::Solver m_solver = CspectralClustering::Solver::Automatic;
    const char* m_engineName = "Spectral clustering";
};

}  // namespace Zelvo
