#include "EmbeddingEigen.h"

#include "Log.h"

#include <Eigen/Eigenvalues>
#include <Eigen/SparseCholesky>
#include <Spectra/MatOp/DenseSymMatProd.h>
#include <Spectra/SymEigsShiftSolver.h>
#include <Spectra/SymEigsSolver.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <numeric>

namespace tapkee {

namespace {

constexpr int kMaxLanczosIterations = 3000;
constexpr double kLanczosTolerance = 1e-12;

// Krylov subspace size for `count` wanted pairs of an n x n problem.
Eigen::Index SubspaceSize(Eigen::Index count, Eigen::Index n)
{
    return std::min<Eigen::Index>(n, std::max<Eigen::Index>(2 * count + 1, 24));
}

bool UseDense(EigenSolverKind kind, Eigen::Index n, Eigen::Index count)
{
    // The Lanczos solvers need room for a subspace larger than the wanted pairs.
    if (count + 2 > n) return true;
    if (kind == DenseEigenSolver) return true;
    if (kind == PartialEigenSolver) return false;
    return n <= kDenseEigenLimit;
}

// Orders the pairs by value (ascending or descending) and keeps the first `count`.
void SortAndKeep(const Eigen::VectorXd& values, const Eigen::MatrixXd& vectors, int count, bool ascending,
                 EigenPairs& result)
{
    std::vector<Eigen::Index> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](Eigen::Index a, Eigen::Index b) {
        return ascending ? values[a] < values[b] : values[a] > values[b];
    });
    result.values.resize(count);
    result.vectors.resize(vectors.rows(), count);
    for (int c = 0; c < count; ++c) {
        result.values[c] = values[order[c]];
        result.vectors.col(c) = vectors.col(order[c]);
    }
    FixEigenvectorSigns(result.vectors);
}

bool AllFinite(const EigenPairs& pairs)
{
    return pairs.values.allFinite() && pairs.vectors.allFinite();
}

// (A - sigma I)^-1 x through a sparse LDL^T factorisation, for shift-invert Lanczos.
class SparseShiftInvert {
public:
    using Scalar = double;

    explicit SparseShiftInvert(const Eigen::SparseMatrix<double>& matrix) : m_matrix(matrix) {}
    Eigen::Index rows() const { return m_matrix.rows(); }
    Eigen::Index cols() const { return m_matrix.cols(); }
    bool Factorised() const { return m_factorised; }

    void set_shift(const double& sigma)
    {
        Eigen::SparseMatrix<double> identity(m_matrix.rows(), m_matrix.cols());
        identity.setIdentity();
        m_solver.compute(m_matrix - sigma * identity);
        m_factorised = m_solver.info() == Eigen::Success;
    }

    void perform_op(const double* in, double* out) const
    {
        Eigen::Map<const Eigen::VectorXd> x(in, m_matrix.rows());
        Eigen::Map<Eigen::VectorXd> y(out, m_matrix.rows());
        if (m_factorised) y = m_solver.solve(x);
        else y.setZero();
    }

private:
    const Eigen::SparseMatrix<double>& m_matrix;
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::AMDOrdering<int>> m_solver;
    bool m_factorised = false;
};

bool DenseLargest(const Eigen::MatrixXd& matrix, int count, EigenPairs& result)
{
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(matrix);
    if (solver.info() != Eigen::Success) return false;
    SortAndKeep(solver.eigenvalues(), solver.eigenvectors(), count, false, result);
    return true;
}

bool DenseSmallest(const Eigen::MatrixXd& matrix, int count, EigenPairs& result)
{
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(matrix);
    if (solver.info() != Eigen::Success) return false;
    SortAndKeep(solver.eigenvalues(), solver.eigenvectors(), count, true, result);
    return true;
}

bool PartialLargest(const Eigen::MatrixXd& matrix, int count, EigenPairs& result)
{
    Spectra::DenseSymMatProd<double> op(matrix);
    Spectra::SymEigsSolver<Spectra::DenseSymMatProd<double>> solver(op, count,
                                                                     SubspaceSize(count, matrix.rows()));
    solver.init();
    solver.compute(Spectra::SortRule::LargestAlge, kMaxLanczosIterations, kLanczosTolerance,
                   Spectra::SortRule::LargestAlge);
    if (solver.info() != Spectra::CompInfo::Successful) return false;
    SortAndKeep(solver.eigenvalues(), solver.eigenvectors(), count, false, result);
    return true;
}

bool PartialSmallest(const Eigen::SparseMatrix<double>& matrix, int count, EigenPairs& result)
{
    // The matrices solved here are singular (a known null vector), so the shift sits
    // just below zero, far closer to 0 than any eigenvalue that matters.
    double scale = 0;
    for (Eigen::Index i = 0; i < matrix.rows(); ++i) scale = std::max(scale, std::abs(matrix.coeff(i, i)));
    const double sigma = -1e-10 * std::max(scale, 1e-300);
    SparseShiftInvert op(matrix);
    Spectra::SymEigsShiftSolver<SparseShiftInvert> solver(op, count, SubspaceSize(count, matrix.rows()), sigma);
    if (!op.Factorised()) return false;
    solver.init();
    solver.compute(Spectra::SortRule::LargestMagn, kMaxLanczosIterations, kLanczosTolerance,
                   Spectra::SortRule::SmallestAlge);
    if (solver.info() != Spectra::CompInfo::Successful) return false;
    SortAndKeep(solver.eigenvalues(), solver.eigenvectors(), count, true, result);
    return true;
}

}  // namespace

double EigenSolveBytes(Eigen::Index n, int count, EigenSolverKind kind, bool sparse)
{
    const double rows = static_cast<double>(n);
    if (UseDense(kind, n, count)) return (sparse ? 16.0 : 8.0) * rows * rows;
    const double basis = static_cast<double>(SubspaceSize(count, n));
    return 8.0 * rows * (basis + 2.0 * count + 4.0) + 8.0 * basis * basis;
}

void ReportEigenFailure()
{
    Zelvo::Log::Write("Catch!!! eigenDecomposition error");
}

void FixEigenvectorSigns(Eigen::MatrixXd& vectors)
{
    for (Eigen::Index c = 0; c < vectors.cols(); ++c) {
        Eigen::Index best = 0;
        for (Eigen::Index r = 1; r < vectors.rows(); ++r)
            if (std::abs(vectors(r, c)) > std::abs(vectors(best, c))) best = r;
        if (vectors.rows() > 0 && vectors(best, c) < 0) vectors.col(c) = -vectors.col(c);
    }
}

namespace {

// Runs one solve. Spectra refuses or gives up by throwing; exhausted memory (std::bad_alloc)
// passes on to the run, which reports it. Any other failure prints the eigen error.
template <typename Solve>
bool SolveOrReport(int count, Eigen::Index rows, Solve solve, EigenPairs& result)
{
    bool solved = false;
    try {
        if (count >= 1 && count <= rows) solved = solve();
    } catch (const std::logic_error&) {
        solved = false;
    } catch (const std::runtime_error&) {
        solved = false;
    }
    if (solved && AllFinite(result)) return true;
    ReportEigenFailure();
    return false;
}

}  // namespace

bool LargestEigenpairs(const Eigen::MatrixXd& matrix, int count, EigenSolverKind kind, EigenPairs& result)
{
    return SolveOrReport(count, matrix.rows(), [&] {
        return UseDense(kind, matrix.rows(), count) ? DenseLargest(matrix, count, result)
                                                    : PartialLargest(matrix, count, result);
    }, result);
}

bool SmallestEigenpairs(const Eigen::SparseMatrix<double>& matrix, int count, EigenSolverKind kind,
                        EigenPairs& result)
{
    return SolveOrReport(count, matrix.rows(), [&] {
        return UseDense(kind, matrix.rows(), count) ? DenseSmallest(Eigen::MatrixXd(matrix), count, result)
                                                    : PartialSmallest(matrix, count, result);
    }, result);
}

}  // namespace tapkee
