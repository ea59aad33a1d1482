#include "SpectralClusteringCore.h"

#include "Log.h"
#include "MemoryBudget.h"
#include "SubspaceAffinity.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace Zelvo {

SpectralClusteringCore::SpectralClusteringCore(int clusterCount, double kernel, int maxClusterCount)
    : m_clusterCount(clusterCount), m_maxClusterCount(maxClusterCount), m_kernel(kernel)
{
}

bool SpectralClusteringCore::m_packedPoints(HDpointSet<float>* set, Eigen::MatrixXd& points)
{
    if (!set) {
        Log::Puts("Error: spectral clustering has no point set");
        return false;
    }
    const int n = set->GetPointCount();
    const int d = set->GetSelectedDimensionCount();
    if (n <= 0 || d <= 0) {
        Log::Printf("Error: spectral clustering needs points and selected dimensions, got %d points, %d dimensions\n",
                    n, d);
        return false;
    }
    const std::vector<float>* packed = set->GetPackedRawDataArray(true);
    if (!packed || packed->size() != size_t(n) * size_t(d)) {
        Log::Puts("Error: spectral clustering could not pack the selected dimensions");
        return false;
    }
    points = Eigen::Map<const Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic>>(packed->data(), d, n)
                 .cast<double>();
    if (!points.allFinite()) {
        Log::Puts("Error: spectral clustering input holds a non-finite value");
        return false;
    }
    return true;
}

bool SpectralClusteringCore::buildAffinityMatrix(HDpointSet<float>* set)
{
    if (!(m_kernel >= 0) || !std::isfinite(m_kernel)) {
        Log::Printf("Error: spectral clustering kernel %f must be a finite value of 0 or more\n", m_kernel);
        return false;
    }
    Eigen::MatrixXd points;
    if (!m_packedPoints(set, points)) return false;
    const std::vector<float>& P = *set->GetPackedRawDataArray(false);
    const Eigen::Index n = points.cols();
    const Eigen::Index d = points.rows();

    m_affinityMatrix.setZero(n, n);
    for (Eigen::Index j = 0; j < n; ++j) {
        const float* pj = P.data() + j * d;
        for (Eigen::Index i = j; i < n; ++i) {
            const float* pi = P.data() + i * d;
            float s = 0;
            for (Eigen::Index c = 0; c < d; ++c) {
                const float diff = pi[c] - pj[c];
                s += diff * diff;
            }
            const double a = std::exp(-(m_kernel * double(s)));
            m_affinityMatrix(i, j) = a;
            m_affinityMatrix(j, i) = a;
        }
    }
    return true;
}

bool SpectralClusteringCore::buildAffinityMatrix_L2(HDpointSet<float>* set)
{
    Eigen::MatrixXd points;
    if (!m_packedPoints(set, points)) return false;
    return BuildSubspaceAffinity(points, m_affinityMatrix);
}

bool SpectralClusteringCore::buildNormalizedLaplacian()
{
    const Eigen::Index n = m_affinityMatrix.rows();
    if (n == 0) {
        Log::Puts("Error: spectral clustering has no affinity matrix");
        return false;
    }
    Eigen::VectorXd q = m_affinityMatrix.rowwise().sum();
    for (Eigen::Index i = 0; i < n; ++i) {
        q(i) = 1.0 / std::sqrt(q(i));
        if (!std::isfinite(q(i))) q(i) = 0;  // a point without weight stays unconnected
    }
    m_laplacianMatrix = q.asDiagonal() * m_affinityMatrix * q.asDiagonal();
    return true;
}

bool SpectralClusteringCore::spectralClusteringFromLaplacianMatrix(const Eigen::MatrixXd& laplacian, bool selfAdjoint,
                                                                   std::vector<std::vector<int>>& lists)
{
    lists.clear();
    const int count = m_clusterCount > 0 ? m_clusterCount : m_maxClusterCount;
    const auto e = std::make_unique<CspectralClustering>(laplacian, count, selfAdjoint, m_solver, m_engineName);
    // A failed decomposition has said why; a valid one may still give no list (a single
    // point on the automatic path), which makes a result without clusters.
    if (!e->IsValid()) return false;
    lists = m_clusterCount > 0 ? e->clusterKmeans(m_clusterCount, m_random) : e->clusterRotate();
    for (size_t i = 0; i < lists.size(); ++i)
        Log::Printf("Cluster: %d, pointCount: %ld\n", int(i), long(lists[i].size()));
    return true;
}

double SpectralClusteringCore::PeakBytes(int64_t n, int64_t d, bool subspace) const
{
    const double N = double(n), D = double(d), square = N * N;
    // The packed buffer (float) and its double copy.
    const double points = 12.0 * N * D;
    // Building the affinity: the subspace form solves the smaller of a d x d system (its matrix,
    // factor and the d x n solutions beside the affinity) and an n x n one (Gram, system, factor
    // and solutions, before the affinity exists).
    double affinity = 8.0 * square;
    if (subspace)
        affinity = n < d ? 32.0 * square : 8.0 * square + 16.0 * D * D + 8.0 * N * D + 24.0 * N;
    const int count = m_clusterCount > 0 ? m_clusterCount : m_maxClusterCount;
    const int kept = int(std::min<int64_t>(std::max(count, 1), n));
    const double solve = CspectralClustering::TakesLeading(n, kept, true, m_solver)
                             ? CspectralClustering::LeadingBytes(n, kept)
                             : CspectralClustering::FullBytes(n, true);
    // After the solve: the rotation's (or k-means') copies of the eigenvector rows, up to eight
    // n x k matrices.
    const double clustering = 64.0 * N * kept;
    // Affinity and Laplacian stay in the engine while the eigenpairs are computed and clustered.
    return points + std::max(affinity, 16.0 * square + 8.0 * N + std::max(solve, clustering)) + 8.0 * N * kept;
}

bool SpectralClusteringCore::m_fits(HDpointSet<float>* set, bool subspace) const
{
    if (!set) return true;
    const int n = set->GetPointCount();
    const int d = set->GetSelectedDimensionCount();
    if (n <= 0 || d <= 0) return true;
    return MemoryBudget::Fits(m_engineName, PeakBytes(n, d, subspace));
}

bool SpectralClusteringCore::RunSpectralClustering(HDpointSet<float>* set, std::vector<std::vector<int>>& lists)
{
    lists.clear();
    m_engineName = "Spectral clustering";
    return m_fits(set, false) && buildAffinityMatrix(set) && buildNormalizedLaplacian() &&
           spectralClusteringFromLaplacianMatrix(m_laplacianMatrix, true, lists);
}

bool SpectralClusteringCore::RunSubspaceClustering(HDpointSet<float>* set, std::vector<std::vector<int>>& lists)
{
    lists.clear();
    m_engineName = "Subspace clustering";
    if (!m_fits(set, true)) return false;
    Log::Puts("\nSubspaceClustering .... building the affinity matrix .....");
    if (!buildAffinityMatrix_L2(set)) return false;
    Log::Puts("\nSubspaceClustering .... building the normalized laplacian matrix .....");
    if (!buildNormalizedLaplacian()) return false;
    Log::Puts("\nSubspaceClustering .... run spectral clustering .....");
    return spectralClusteringFromLaplacianMatrix(m_laplacianMatrix, false, lists);
}

std::vector<int> SpectralClusteringCore::LabelsFromLists(const std::vector<std::vector<int>>& lists, int pointCount)
{
    std::vector<int> labels(std::max(pointCount, 0), -1);
    for (size_t c = 0; c < lists.size(); ++c)
        for (int p : lists[c])
            if (p >= 0 && p < pointCount) labels[p] = int(c);
    return labels;
}

}  // namespace Zelvo
