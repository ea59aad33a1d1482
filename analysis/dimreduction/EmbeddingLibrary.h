#pragma once

// The embedding library behind the dimension-reduction engines: PCA, classic
// multidimensional scaling, Isomap, Laplacian eigenmaps and kernel locally linear
// embedding, run on a data matrix or on n points reached through index callbacks.
// Besides the n x t embedding a run hands back everything the embedding results
// need for their costs and distortion measures (see TapkeeOutput).
//
// Numerical choices:
// - All eigen-work is done in double. Problems up to kDenseEigenLimit points use
//   Eigen's dense SelfAdjointEigenSolver, larger ones a partial Lanczos solver
//   (Spectra); both give the same vectors up to rounding. Every eigenvector is
//   turned so that its entry of largest magnitude is positive, which makes the
//   results deterministic.
// - The k nearest neighbours of a point never include the point itself (by index);
//   equal distances are ordered by index.
// - Isomap links i and j when either is among the other's k nearest neighbours,
//   runs Dijkstra from every point with path lengths summed in double, and refuses
//   a disconnected graph. Its distance matrix holds the squared geodesics.
// - MDS and Isomap scale each eigenvector by sqrt(max(lambda, 0)).
// - Laplacian eigenmaps: W(i,j) = exp(-d^2 / width) over mutual neighbours;
//   (D - W) f = lambda D f is solved for the t + 1 smallest lambda, the first
//   (constant) vector is dropped and each kept f is scaled so that f^T D f = 1.
//   A point without mutual neighbours makes the problem singular and is refused.
// - Kernel LLE: the local Gram matrix of the neighbours (centred on the point,
//   from the kernel) is built in double and regularised by 1e-3 * trace (1e-3 when
//   the trace is 0); the weights sum to 1; M = (I - W)^T (I - W); the t + 1
//   smallest eigenvectors of M are taken and the first is dropped.
// - The sparse problems above the dense limit use shift-invert Lanczos with a
//   sparse LDL^T factorisation and a tiny negative shift (M and D - W are singular).
// - Nothing throws out of the library: refused parameters print an "Error ..."
//   line, a failed eigen-decomposition prints "Catch!!! eigenDecomposition error",
//   and exhausted memory is caught; each returns an output with an empty embedding.

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <functional>
#include <initializer_list>
#include <vector>

namespace tapkee {

enum DimensionReductionMethod {
    KernelLocallyLinearEmbedding = 0,
    LaplacianEigenmaps = 5,
    Isomap = 8,
    MultidimensionalScaling = 10,
    PCA = 14
};

// Which eigen-solver a run uses; automatic picks by problem size.
enum EigenSolverKind { AutomaticEigenSolver = 0, DenseEigenSolver = 1, PartialEigenSolver = 2 };

// Largest point count (or PCA dimension) solved with the dense solver automatically.
constexpr int kDenseEigenLimit = 400;

enum class KeywordId { Method, TargetDimension, NumNeighbors, GaussianKernelWidth, EigenSolver };

struct Parameter {
    KeywordId id;
    double value;
};

// A named parameter: tapkee::num_neighbors(10) makes one entry of a ParameterSet.
struct Keyword {
    KeywordId id;
    const char* name;
    Parameter operator()(double value) const { return Parameter{id, value}; }
};

inline constexpr Keyword method{KeywordId::Method, "method"};
inline constexpr Keyword target_dimension{KeywordId::TargetDimension, "target_dimension"};
inline constexpr Keyword num_neighbors{KeywordId::NumNeighbors, "num_neighbors"};
inline constexpr Keyword gaussian_kernel_width{KeywordId::GaussianKernelWidth, "gaussian_kernel_width"};
inline constexpr Keyword eigen_solver{KeywordId::EigenSolver, "eigen_solver"};

// The parameters of one run in the order they were given. A keyword given twice is
// refused when the run starts.
class ParameterSet {
public:
    ParameterSet() = default;
    ParameterSet(std::initializer_list<Parameter> parameters) : m_entries(parameters) {}
    ParameterSet& Add(const Parameter& parameter)
    {
        m_entries.push_back(parameter);
        return *this;
    }
    const std::vector<Parameter>& Entries() const { return m_entries; }
    // The value given for the keyword (the last one when it was given twice), or fallback.
    double Value(KeywordId id, double fallback) const
    {
        for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
            if (it->id == id) return it->value;
        return fallback;
    }

private:
    std::vector<Parameter> m_entries;
};

// Distance and kernel between the points with indices i and j.
using DistanceCallback = std::function<float(int i, int j)>;
using KernelCallback = std::function<float(int i, int j)>;
// The k nearest neighbours of every point by the run's distance callback, nearest first,
// equal distances by index, never the point itself; false when the search cannot stand in
// for the callback (the run then searches the callback's distance matrix).
using NeighborSearch = std::function<bool(int k, std::vector<std::vector<int>>& neighbors)>;
// Asked in the middle of a run whether `bytes` more may be allocated; false after printing why,
// and the run then ends with an empty output and no other message.
using MemoryCheck = std::function<bool(double bytes)>;

// What a run hands back. Members a method does not produce stay empty.
struct TapkeeOutput {
    // n x t, one row per point; empty when the run failed.
    Eigen::MatrixXf embedding;
    // n x n squared distances: squared callback distances (MDS, Laplacian eigenmaps,
    // kernel LLE), squared geodesics (Isomap). PCA leaves it empty: only distortion
    // measures read it, and SquaredColumnDistances(data) makes it when they first do.
    Eigen::MatrixXf distanceMatrix;
    // n x n B = -1/2 J D J that classic scaling decomposes (MDS, Isomap).
    Eigen::MatrixXf innerProducts;
    // Per point: the k nearest by distance, nearest first (Isomap, kernel LLE), or the
    // mutual nearest neighbours in increasing index order (Laplacian eigenmaps).
    std::vector<std::vector<int>> neighbors;
    // Laplacian eigenmaps: the heat-kernel weights W; kernel LLE: (I - W)^T (I - W).
    Eigen::SparseMatrix<float> weights;
    // Kernel LLE: the reconstruction weights W, row i over the neighbours of i.
    Eigen::SparseMatrix<float> reconstructionWeights;
    // PCA: D' x t eigenvectors of the covariance (largest eigenvalues first) and the
    // D' column means of the data.
    Eigen::MatrixXf projectionMatrix;
    Eigen::VectorXf mean;
};

// Runs the method on the columns of a d x n data matrix (Euclidean distance, dot
// product kernel). PCA is only available this way.
TapkeeOutput embedUsing(const Eigen::MatrixXf& data, const ParameterSet& parameters);

// Runs a callback method on n points. The kernel is needed by kernel LLE only.
TapkeeOutput embedRange(int n, const KernelCallback& kernel, const DistanceCallback& distance,
                        const ParameterSet& parameters);

// The same with a neighbour search for kernel LLE, which then needs no n x n distances: its
// distanceMatrix stays empty unless the search gave up, and SquaredCallbackDistances makes
// it when it is wanted. The other methods ignore the search. Laplacian eigenmaps and kernel
// LLE ask `fits` for the factor of their sparse solve once its size is known; kernel LLE asks
// it before that, once its neighbours give the entries of M and before it makes W and M, for
// everything from there on but the factor (see PeakMemory).
TapkeeOutput embedRange(int n, const KernelCallback& kernel, const DistanceCallback& distance,
                        const NeighborSearch& search, const ParameterSet& parameters,
                        const MemoryCheck& fits = MemoryCheck());

// The n x n squared callback distances, as a run's distanceMatrix holds them; empty after
// an "Error ..." line when a distance is negative or not finite.
Eigen::MatrixXf SquaredCallbackDistances(int n, const DistanceCallback& distance);

// The same over a vector of points with callback objects offering
// kernel(a, b) and distance(a, b); copies of the callbacks are used.
template <typename Point, typename KernelObject, typename DistanceObject>
TapkeeOutput embedRange(const std::vector<Point>& points, KernelObject kernelObject,
                        DistanceObject distanceObject, const ParameterSet& parameters)
{
    KernelCallback kernel = [&points, kernelObject](int i, int j) mutable {
        return static_cast<float>(kernelObject.kernel(points[i], points[j]));
    };
    DistanceCallback distance = [&points, distanceObject](int i, int j) mutable {
        return static_cast<float>(distanceObject.distance(points[i], points[j]));
    };
    return embedRange(static_cast<int>(points.size()), kernel, distance, parameters);
}

// The most memory a run of the parameters' callback method over n points holds at once, in
// bytes, for a check before the run starts: mostly its n x n matrices, and the sparse matrices
// of Laplacian eigenmaps at the most entries their neighbours allow. Kernel LLE counts what it
// holds until its neighbours are known, and M = (I - W)^T (I - W) at the fewest entries it can
// have, n (k + 1): this part is a least need, and the run asks its MemoryCheck for the rest
// with M's real entries, counted from the neighbours, before it makes W and M.
// neighborSearch: kernel LLE finds the neighbours through a search that stands in for the
// n x n distances. Not counted: the factor of the sparse solve of Laplacian eigenmaps and
// kernel LLE, whose size depends on how the neighbours link; the run asks its MemoryCheck for
// it (with the rest of the solve) once the ordering gives its size. 0 for parameters that a
// run refuses.
double PeakMemory(int n, const ParameterSet& parameters, bool neighborSearch);

// Squared Euclidean distances between the columns of a d x n matrix (n x n): the
// distance matrix of a PCA run, made on demand.
Eigen::MatrixXf SquaredColumnDistances(const Eigen::MatrixXf& data);

}  // namespace tapkee
