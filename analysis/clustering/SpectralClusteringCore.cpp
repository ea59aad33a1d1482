#include "SpectralClusteringCore.h"

#include "Log.h"
#include "SubspaceAffinity.h"

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
    std::unique_ptr<CspectralClustering> e;
    if (m_clusterCount > 0) {
        e = std::make_unique<CspectralClustering>(laplacian, m_clusterCount, selfAdjoint, m_solver);
        lists = e->clusterKmeans(m_clusterCount, m_random);
    } else {
        e = std::make_unique<CspectralClustering>(laplacian, m_maxClusterCount, selfAdjoint, m_solver);
        lists = e->clusterRotate();
    }
    // A failed decomposition has said why; a valid one may still give no list (a single
    // point on the automatic path), which makes a result without clusters.
    if (!e->IsValid()) return false;
    for (size_t i = 0; i < lists.size(); ++i)
        Log::Printf("Cluster: %d, pointCount: %ld\n", int(i), long(lists[i].size()));
    return true;
}

bool SpectralClusteringCore::RunSpectralClustering(HDpointSet<float>* set, std::vector<std::vector<int>>& lists)
{
    lists.clear();
    return buildAffinityMatrix(set) && buildNormalizedLaplacian() &&
           spectralClusteringFromLaplacianMatrix(m_laplacianMatrix, true, lists);
}

bool SpectralClusteringCore::RunSubspaceClustering(HDpointSet<float>* set, std::vector<std::vector<int>>& lists)
{
    lists.clear();
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
