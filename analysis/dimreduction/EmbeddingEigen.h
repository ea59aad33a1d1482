#pragma once

#include "EmbeddingLibrary.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

namespace tapkee {

// Eigenvalues and their unit eigenvectors (one per column), in the order asked for.
struct EigenPairs {
    Eigen::VectorXd values;
    Eigen::MatrixXd vectors;
};

// The `count` largest eigenpairs of a symmetric matrix (only its lower triangle is
// read), largest first. False after printing the eigen-decomposition error.
bool LargestEigenpairs(const Eigen::MatrixXd& matrix, int count, EigenSolverKind kind, EigenPairs& result);

// The `count` smallest eigenpairs of a symmetric positive semi-definite sparse
// matrix (both triangles stored, a symmetric pattern), smallest first. The shift-invert
// solve asks `fits`, when given, for the bytes its factor and the rest of the solve will
// allocate, once the factor's size is known and before the factor is made. False after
// printing the error, or after `fits` refused (with its own message alone).
bool SmallestEigenpairs(const Eigen::SparseMatrix<double>& matrix, int count, EigenSolverKind kind,
                        const MemoryCheck& fits, EigenPairs& result);

// Memory the solve of `count` pairs of an n x n matrix takes beside the matrix itself, in
// bytes: the dense solver's copy (and, for a sparse matrix, its dense form) or the Lanczos
// basis and vectors with the eigenvectors handed back. The factor of the sparse shift-invert
// solve is not counted: SmallestEigenpairs asks for it once its size is known.
double EigenSolveBytes(Eigen::Index n, int count, EigenSolverKind kind, bool sparse);

// Turns every column so that its entry of largest magnitude (the first of equals) is positive.
void FixEigenvectorSigns(Eigen::MatrixXd& vectors);

// The message of a failed eigen-decomposition (no line end).
void ReportEigenFailure();

}  // namespace tapkee
