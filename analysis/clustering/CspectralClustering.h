#pragma once

#include "Kmeans.h"

#include <Eigen/Dense>

#include <cstdint>

#include <vector>

// Eigen decomposition of a (normalised Laplacian) matrix, its k leading eigenvectors
// with every row scaled to unit length, and the clustering of those rows by k-means
// with a given count or by eigenvector rotation with an automatic count.
//
// Small matrices get the full decomposition; above kDenseLimit rows only the leading
// eigenpairs are computed (the others are never used).
class CspectralClustering {
public:
    enum class Solver { Automatic, Full, Leading };
    static const int kDenseLimit = 1500;

    // The whole decomposition runs here. On failure (empty or non-square matrix, k < 1,
    // a non-finite input or result, a full decomposition that would not fit the memory the
    // process may use) an "Error ..." line is printed and IsValid() is false. engine names the
    // engine in the memory refusal.
    CspectralClustering(const Eigen::MatrixXd& laplacian, int k, bool selfAdjoint,
                        Solver solver = Solver::Automatic, const char* engine = "Spectral clustering");
    virtual ~CspectralClustering() = default;

    bool IsValid() const { return m_valid; }
    // k lists of point indices (k is clamped to the point count with a warning line);
    // empty when the decomposition failed.
    std::vector<std::vector<int>> clusterKmeans(int k, const Kmeans::RandomGenerator& random = std::rand);
    // Lists of the automatically chosen count; empty when fewer than 2 columns are kept.
    std::vector<std::vector<int>> clusterRotate();

    // Kept leading eigenvectors as columns, rows of unit length (zero rows stay zero).
    const Eigen::MatrixXd& GetEigenVectors() const { return m_eigenVectors; }
    // The computed eigenvalues, descending (all of them on the full path).
    const Eigen::VectorXd& GetEigenValues() const { return m_eigenValues; }
    int GetClusterCount() const { return m_clusterCount; }
    int GetRequestedCount() const { return m_requestedCount; }
    bool UsedLeadingSolver() const { return m_usedLeading; }

    // Whether the leading eigenpairs of an n x n matrix are computed rather than all of them,
    // for `kept` columns.
    static bool TakesLeading(int64_t n, int kept, bool symmetric, Solver solver);
    // Memory of the decomposition beside the matrix itself, in bytes: all eigenpairs (the
    // solver's matrices and the copy of the vectors), or the Lanczos basis of the leading ones.
    static double FullBytes(int64_t n, bool symmetric);
    static double LeadingBytes(int64_t n, int kept);

private:
    bool m_decomposeFull(const Eigen::MatrixXd& laplacian, bool symmetric, Eigen::VectorXd& values,
                         Eigen::MatrixXd& vectors);
    bool m_decomposeLeading(const Eigen::MatrixXd& laplacian, int count, Eigen::VectorXd& values,
                            Eigen::MatrixXd& vectors);

    int m_requestedCount;
    Eigen::MatrixXd m_eigenVectors;
    int m_clusterCount = 0;
    Eigen::VectorXd m_eigenValues;
    bool m_valid = false;
    bool m_usedLeading = false;
};
