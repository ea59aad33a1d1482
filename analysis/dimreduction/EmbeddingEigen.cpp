#include "EmbeddingEigen.h"

#include "Log.h"

#include <Eigen/Eigenvalues>
#include <Eigen/SparseCholesky>
#include <Spectra/MatOp/DenseSymMatProd.h>
#include <Spectra/SymEigsShiftSolver.h>
#include <Spectra/SymEigsSolver.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <vector>

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

// Entries below the diagonal of the LDL^T factor of P A P^T, for a symmetric pattern (both
// triangles stored) and the permutation P (position of each row). Row k of the factor holds
// column j < k exactly when j lies on the path of the elimination tree from some i < k with
// A(i, k) != 0 up to k; walking those paths row after row, and stopping at the nodes this row
// has met already, counts every entry once and builds the tree on the way. O(n) memory.
int64_t FactorEntries(const Eigen::SparseMatrix<double>& matrix, const Eigen::VectorXi& position)
{
    const int n = static_cast<int>(matrix.rows());
    std::vector<int> column(n);  // the matrix's column that becomes column k
    for (int i = 0; i < n; ++i) column[position[i]] = i;
    std::vector<int> parent(n, -1);
    std::vector<int> lastRow(n, -1);  // the last row whose path passed the node
    int64_t entries = 0;
    for (int k = 0; k < n; ++k) {
        lastRow[k] = k;
        for (Eigen::SparseMatrix<double>::InnerIterator it(matrix, column[k]); it; ++it) {
            int j = position[it.index()];
            if (j >= k) continue;
            for (; lastRow[j] != k; j = parent[j]) {
                if (parent[j] < 0) parent[j] = k;
                lastRow[j] = k;
                ++entries;
            }
        }
    }
    return entries;
}

// Eigen's sparse LDL^T factorisation of a matrix that comes ordered and as its upper triangle,
// without the copies of its input that compute() makes on the way.
class OrderedLDLT
    : public Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Upper, Eigen::NaturalOrdering<int>> {
public:
    void Factorise(const Eigen::SparseMatrix<double>& upper)
    {
        analyzePattern_preordered(upper, true);
        factorize_preordered<true>(upper);
    }
};

// (A - sigma I)^-1 x for shift-invert Lanczos, through a sparse LDL^T factorisation of
// P (A - sigma I) P^T with P the fill-reducing (AMD) ordering. The ordering and the factor's
// size are found when the operator is made, before anything of the size of the factor is
// allocated; set_shift makes the factor. P and the factor are those a SimplicialLDLT with AMD
// ordering makes of A - sigma I, and the solves give its values.
class SparseShiftInvert {
public:
    using Scalar = double;

    explicit SparseShiftInvert(const Eigen::SparseMatrix<double>& matrix) : m_matrix(matrix)
    {
        {
            // The ordering reads the pattern alone: float values take less room than double.
            Eigen::SparseMatrix<float> pattern;
            pattern = matrix.cast<float>().selfadjointView<Eigen::Lower>();
            Eigen::AMDOrdering<int> ordering;
            ordering(pattern, m_inverse);  // the orderings give the inverse permutation
        }
        m_order = m_inverse.inverse();
        m_factorEntries = FactorEntries(matrix, m_order.indices());
    }
    Eigen::Index rows() const { return m_matrix.rows(); }
    Eigen::Index cols() const { return m_matrix.cols(); }
    bool Factorised() const { return m_factorised; }

    // What set_shift and the solves still allocate: the shifted and permuted upper triangle,
    // the factor with the solver's O(n) arrays, and the operator's scratch vector.
    double FactorBytes() const
    {
        const double n = static_cast<double>(m_matrix.rows());
        const double upper = (static_cast<double>(m_matrix.nonZeros()) + n) / 2.0;
        return 12.0 * (upper + static_cast<double>(m_factorEntries)) + 56.0 * n + 16.0;
    }
    // Eigen's factor numbers its entries with int.
    bool FactorIndexable() const { return m_factorEntries <= std::numeric_limits<int>::max(); }

    void set_shift(const double& sigma)
    {
        const Eigen::Index n = m_matrix.rows();
        Eigen::SparseMatrix<double> shifted(n, n);
        shifted.selfadjointView<Eigen::Upper>() = m_matrix.selfadjointView<Eigen::Lower>().twistedBy(m_order);
        for (Eigen::Index c = 0; c < n; ++c) {
            bool diagonal = false;
            for (Eigen::SparseMatrix<double>::InnerIterator it(shifted, c); it; ++it)
                if (it.index() == c) {
                    it.valueRef() -= sigma;
                    diagonal = true;
                }
            if (!diagonal) shifted.coeffRef(c, c) = -sigma;
        }
        m_solver.Factorise(shifted);
        m_factorised = m_solver.info() == Eigen::Success;
        m_permuted.resize(n);
        m_solved.resize(n);
    }

    void perform_op(const double* in, double* out) const
    {
        Eigen::Map<const Eigen::VectorXd> x(in, m_matrix.rows());
        Eigen::Map<Eigen::VectorXd> y(out, m_matrix.rows());
        if (!m_factorised) {
            y.setZero();
            return;
        }
        m_permuted = m_order * x;
        m_solved = m_solver.solve(m_permuted);
        y = m_inverse * m_solved;
    }

private:
    const Eigen::SparseMatrix<double>& m_matrix;
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> m_order;
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> m_inverse;
    int64_t m_factorEntries = 0;
    OrderedLDLT m_solver;
    mutable Eigen::VectorXd m_permuted;
    mutable Eigen::VectorXd m_solved;
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

// refused: the factor would not fit, and fits has said so.
bool PartialSmallest(const Eigen::SparseMatrix<double>& matrix, int count, const MemoryCheck& fits, bool& refused,
                     EigenPairs& result)
{
    // The matrices solved here are singular (a known null vector), so the shift sits
    // just below zero, far closer to 0 than any eigenvalue that matters.
    double scale = 0;
    for (Eigen::Index i = 0; i < matrix.rows(); ++i) scale = std::max(scale, std::abs(matrix.coeff(i, i)));
    const double sigma = -1e-10 * std::max(scale, 1e-300);
    SparseShiftInvert op(matrix);
    // The factor is made only when it fits beside everything the run holds already.
    if (fits && !fits(op.FactorBytes() + EigenSolveBytes(matrix.rows(), count, PartialEigenSolver, true))) {
        refused = true;
        return false;
    }
    if (!op.FactorIndexable()) return false;
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
    // The Lanczos basis, its compressed copy at a restart and a few vectors, then the basis
    // with the eigenvectors and their sorted copy; the small matrices of the restarts.
    const double basis = static_cast<double>(SubspaceSize(count, n));
    return 8.0 * rows * (2.0 * basis + 2.0 * count + 4.0) + 32.0 * basis * basis;
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
bool SolveOrReport(int count, Eigen::Index rows, Solve solve, EigenPairs& result, const bool& refused = false)
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
    if (!refused) ReportEigenFailure();
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
                        const MemoryCheck& fits, EigenPairs& result)
{
    bool refused = false;
    return SolveOrReport(count, matrix.rows(), [&] {
        return UseDense(kind, matrix.rows(), count) ? DenseSmallest(Eigen::MatrixXd(matrix), count, result)
                                                    : PartialSmallest(matrix, count, fits, refused, result);
    }, result, refused);
}

}  // namespace tapkee
