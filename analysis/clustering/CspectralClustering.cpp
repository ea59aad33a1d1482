#include "CspectralClustering.h"

#include "ClusterRotate.h"
#include "Log.h"
#include "MemoryBudget.h"

#include <Eigen/Eigenvalues>
#include <Eigen/Sparse>
#include <Spectra/MatOp/DenseSymMatProd.h>
#include <Spectra/MatOp/SparseSymMatProd.h>
#include <Spectra/SymEigsSolver.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>

using Zelvo::Log;

namespace {

// Below this share of non-zero entries the leading solver multiplies by a sparse copy.
const double kSparseShare = 0.1;

bool isSymmetric(const Eigen::MatrixXd& m)
{
    const double scale = std::max(1.0, m.cwiseAbs().maxCoeff());
    for (Eigen::Index j = 0; j < m.cols(); ++j)
        for (Eigen::Index i = j + 1; i < m.rows(); ++i)
            if (std::fabs(m(i, j) - m(j, i)) > 1e-12 * scale) return false;
    return true;
}

// Order of a descending selection sort: the first of equal maxima wins and an equal
// value never displaces the current position.
std::vector<int> selectionOrder(Eigen::VectorXd& values)
{
    const int n = static_cast<int>(values.size());
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    for (int i = 0; i + 1 < n; ++i) {
        int m = i;
        for (int j = i + 1; j < n; ++j)
            if (values(j) > values(m)) m = j;
        if (m != i) {
            std::swap(values(i), values(m));
            std::swap(order[i], order[m]);
        }
    }
    return order;
}

// The messages of a non-finite eigenpair; false when one is found.
bool checkFinite(const Eigen::VectorXd& values, const Eigen::MatrixXd& vectors)
{
    for (Eigen::Index i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values(i))) {
            Log::Puts("\n############ invalid ########## floating point number");
            return false;
        }
    }
    for (Eigen::Index i = 0; i < vectors.rows(); ++i)
        for (Eigen::Index j = 0; j < vectors.cols(); ++j)
            if (!std::isfinite(vectors(i, j))) {
                Log::Printf("\n############ invalid ########## floating point number eigenVec(%d, %d)\n", int(i), int(j));
                return false;
            }
    return true;
}

}  // namespace

bool CspectralClustering::TakesLeading(int64_t n, int kept, bool symmetric, Solver solver)
{
    if (!symmetric || solver == Solver::Full || kept >= n - 1) return false;
    return solver == Solver::Leading || n > kDenseLimit;
}

double CspectralClustering::FullBytes(int64_t n, bool symmetric)
{
    const double square = double(n) * double(n);
    // Symmetric: the solver's eigenvectors and their copy. General: the solver's Hessenberg,
    // Schur and eigenvector matrices, the complex eigenvectors and their real parts.
    return (symmetric ? 16.0 : 56.0) * square + 64.0 * double(n);
}

double CspectralClustering::LeadingBytes(int64_t n, int kept)
{
    const double basis = double(std::min<int64_t>(n, std::max<int64_t>(2 * int64_t(kept) + 1, 30)));
    return 8.0 * double(n) * (2.0 * basis + kept + 4.0) + 16.0 * basis * basis;
}

CspectralClustering::CspectralClustering(const Eigen::MatrixXd& laplacian, int k, bool selfAdjoint, Solver solver,
                                         const char* engine)
    : m_requestedCount(k)
{
    const Eigen::Index n = laplacian.rows();
    if (n == 0 || laplacian.cols() != n) {
        Log::Printf("Error: CspectralClustering needs a square matrix with points, got %ld x %ld\n", long(n),
                    long(laplacian.cols()));
        return;
    }
    if (k < 1) {
        Log::Printf("Error: CspectralClustering eigenvector count %d is below 1\n", k);
        return;
    }
    if (!laplacian.allFinite()) {
        Log::Puts("Error: CspectralClustering input matrix holds a non-finite value");
        return;
    }

    // A symmetric matrix has real eigenpairs: the symmetric solver gives them directly.
    const bool symmetric = selfAdjoint || isSymmetric(laplacian);
    const int kept = static_cast<int>(std::min<Eigen::Index>(k, n));
    bool leading = TakesLeading(n, kept, symmetric, solver);

    Eigen::VectorXd values;
    Eigen::MatrixXd vectors;
    if (leading && !m_decomposeLeading(laplacian, kept, values, vectors)) {
        Log::Puts("Warning: CspectralClustering leading eigenpairs did not converge, computing all of them");
        leading = false;
    }
    if (!leading && !Zelvo::MemoryBudget::Fits(engine, FullBytes(n, symmetric))) return;
    if (!leading && !m_decomposeFull(laplacian, symmetric, values, vectors)) return;
    m_usedLeading = leading;

    Log::Puts("CspectralClustering::eigen decomposition finished");
    Log::Printf("EigenValue range: %f <-> %f\n", values.minCoeff(), values.maxCoeff());
    Log::Printf("Eigen vectors [%d]: ", int(n));
    Log::Printf("\n Check EigenValue EigenVector: ");
    if (!checkFinite(values, vectors)) {
        Log::Puts("Error: CspectralClustering eigen decomposition gave a non-finite value");
        return;
    }
    Log::Printf("\n");

    const std::vector<int> order = selectionOrder(values);
    std::string line;
    char buffer[64];
    for (Eigen::Index i = 0; i < values.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, " %f, ", values(i));
        line += buffer;
    }
    Log::Write(line + "\n");
    m_eigenValues = values;

    m_eigenVectors.resize(n, kept);
    for (int c = 0; c < kept; ++c) m_eigenVectors.col(c) = vectors.col(order[c]);

    int zeroRows = 0;
    for (Eigen::Index r = 0; r < n; ++r) {
        const double norm = m_eigenVectors.row(r).norm();
        if (norm > 0)
            m_eigenVectors.row(r) /= norm;
        else
            ++zeroRows;
    }
    if (zeroRows > 0)
        Log::Printf("Warning: CspectralClustering %d zero rows of the eigenvector matrix left as zero\n", zeroRows);
    Log::Puts("CspectralClustering::eigenvector sorting finished");
    m_valid = true;
}

bool CspectralClustering::m_decomposeFull(const Eigen::MatrixXd& laplacian, bool symmetric, Eigen::VectorXd& values,
                                          Eigen::MatrixXd& vectors)
{
    if (symmetric) {
        Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(laplacian, Eigen::ComputeEigenvectors);
        if (solver.info() != Eigen::Success) {
            Log::Puts("Error: CspectralClustering eigen decomposition failed");
            return false;
        }
        values = solver.eigenvalues();
        vectors = solver.eigenvectors();
        return true;
    }
    Eigen::EigenSolver<Eigen::MatrixXd> solver(laplacian, true);
    if (solver.info() != Eigen::Success) {
        Log::Puts("Error: CspectralClustering eigen decomposition failed");
        return false;
    }
    values = solver.eigenvalues().real();
    vectors = solver.eigenvectors().real();
    return true;
}

bool CspectralClustering::m_decomposeLeading(const Eigen::MatrixXd& laplacian, int count, Eigen::VectorXd& values,
                                             Eigen::MatrixXd& vectors)
{
    const Eigen::Index n = laplacian.rows();
    const Eigen::Index ncv = std::min<Eigen::Index>(n, std::max<Eigen::Index>(2 * count + 1, 30));
    const Eigen::Index nonZeros = (laplacian.array() != 0.0).count();
    try {
        // The sparse copy only saves time: without room for it the dense matrix is multiplied.
        const double sparseBytes = double(nonZeros) * (sizeof(double) + sizeof(int)) + double(n + 1) * sizeof(int);
        // The copy grows its storage by doubling while it is made (up to three times its entries
        // at the last growth), and the solve's own vectors come after it: all of that must fit.
        if (double(nonZeros) < kSparseShare * double(n) * double(n) &&
            Zelvo::MemoryBudget::HasRoomFor(3.0 * sparseBytes + LeadingBytes(n, count))) {
            const Eigen::SparseMatrix<double> sparse = laplacian.sparseView(0.0, 0.0);
            Spectra::SparseSymMatProd<double> op(sparse);
            Spectra::SymEigsSolver<Spectra::SparseSymMatProd<double>> eigs(op, count, ncv);
            eigs.init();
            eigs.compute(Spectra::SortRule::LargestAlge, 10000, 1e-12);
            if (eigs.info() != Spectra::CompInfo::Successful) return false;
            values = eigs.eigenvalues();
            vectors = eigs.eigenvectors();
        } else {
            Spectra::DenseSymMatProd<double> op(laplacian);
            Spectra::SymEigsSolver<Spectra::DenseSymMatProd<double>> eigs(op, count, ncv);
            eigs.init();
            eigs.compute(Spectra::SortRule::LargestAlge, 10000, 1e-12);
            if (eigs.info() != Spectra::CompInfo::Successful) return false;
            values = eigs.eigenvalues();
            vectors = eigs.eigenvectors();
        }
    } catch (const std::exception& error) {
        Log::Printf("Warning: CspectralClustering leading eigen solver: %s\n", error.what());
        return false;
    }
    return true;
}

std::vector<std::vector<int>> CspectralClustering::clusterKmeans(int k, const Kmeans::RandomGenerator& random)
{
    if (!m_valid) {
        Log::Puts("Error: CspectralClustering has no eigenvectors to cluster");
        return {};
    }
    const int n = static_cast<int>(m_eigenVectors.rows());
    if (k > n) {
        Log::Printf("Warning: cluster count %d above the point count %d, clamped to %d\n", k, n, n);
        k = n;
    }
    m_clusterCount = k;
    return Kmeans::cluster(m_eigenVectors, k, random);
}

std::vector<std::vector<int>> CspectralClustering::clusterRotate()
{
    if (!m_valid) {
        Log::Puts("Error: CspectralClustering has no eigenvectors to cluster");
        return {};
    }
    ClusterRotate rotate(1);
    std::vector<std::vector<int>> lists = rotate.cluster(m_eigenVectors);
    m_clusterCount = static_cast<int>(lists.size());
    Log::Puts("CspectralClustering::Cluster rotation finished");
    return lists;
}
