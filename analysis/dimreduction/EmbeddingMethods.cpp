#include "EmbeddingMethods.h"

#include "EmbeddingEigen.h"
#include "EmbeddingNeighbors.h"
#include "Log.h"

#include <Eigen/Cholesky>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tapkee {

namespace {

// Turns a symmetric matrix of squared distances into B = -1/2 J D J in place.
void DoubleCentre(Eigen::MatrixXd& matrix)
{
    const Eigen::Index n = matrix.rows();
    const Eigen::VectorXd means = matrix.colwise().mean().transpose();  // rows equal columns
    const double grandMean = means.mean();
    for (Eigen::Index j = 0; j < n; ++j) {
        double* column = matrix.col(j).data();
        for (Eigen::Index i = 0; i < n; ++i) column[i] = -0.5 * (column[i] - means[i] - means[j] + grandMean);
    }
}

// Classic scaling of the squared distances held in `working` (destroyed): hands back
// B and the eigenvectors of its t largest eigenvalues scaled by sqrt(max(lambda, 0)).
bool ClassicScaling(Eigen::MatrixXd& working, const RunSettings& settings, TapkeeOutput& output)
{
    DoubleCentre(working);
    output.innerProducts = working.cast<float>();
    EigenPairs pairs;
    if (!LargestEigenpairs(working, settings.targetDimension, settings.solver, pairs)) return false;
    working.resize(0, 0);
    for (Eigen::Index c = 0; c < pairs.vectors.cols(); ++c)
        pairs.vectors.col(c) *= std::sqrt(std::max(pairs.values[c], 0.0));
    output.embedding = pairs.vectors.cast<float>();
    return true;
}

bool CheckWeightsFinite(const Eigen::SparseMatrix<double>& matrix)
{
    for (Eigen::Index e = 0; e < matrix.nonZeros(); ++e)
        if (!std::isfinite(matrix.valuePtr()[e])) return false;
    return true;
}

// Scales the columns to unit length. A column of (nearly) zero length, an eigenvalue 0 seen
// through the Gram matrix, has no direction of its own: it becomes a unit vector orthogonal
// to the columns before it, as a full eigen-decomposition would give.
void UnitColumnsCompleted(Eigen::MatrixXd& vectors)
{
    const Eigen::Index rows = vectors.rows();
    const double largest = vectors.colwise().norm().maxCoeff();
    for (Eigen::Index c = 0; c < vectors.cols(); ++c) {
        const double norm = vectors.col(c).norm();
        if (norm > 1e-9 * largest && norm > 0) {
            vectors.col(c) /= norm;
            continue;
        }
        for (Eigen::Index k = 0; k < rows; ++k) {
            Eigen::VectorXd candidate = Eigen::VectorXd::Unit(rows, k);
            for (Eigen::Index b = 0; b < c; ++b) candidate -= vectors.col(b).dot(candidate) * vectors.col(b);
            const double left = candidate.norm();
            if (left > 0.5) {
                vectors.col(c) = candidate / left;
                break;
            }
        }
    }
}

// Kernel LLE from the neighbour lists on, beside them, for an M = (I - W)^T (I - W) of `entries`
// entries: the sparse steps over the R = n k reconstruction weights and M, the solve without its
// factor, and the embedding. Eigen's sparse sums and casts grow their storage by doubling, so a
// matrix they make holds up to twice its entries, three times while it grows. The steps are the
// triplets (16 bytes, reserved) and setFromTriplets; I - W; the product, whose result is made and
// copied three times (48 bytes an entry of M); the solve's ordering beside M (double) and its
// float copy (60 bytes an entry).
double KernelLleBytes(int n, const RunSettings& settings, double entries)
{
    const double N = n;
    const double weights = N * settings.neighbors;
    return 60.0 * entries + 44.0 * (weights + N) + 64.0 * N +
           EigenSolveBytes(n, settings.targetDimension + 1, settings.solver, true) +
           24.0 * N * (settings.targetDimension + 1.0);
}

}  // namespace

double PeakBytes(int chosenMethod, int n, const RunSettings& settings, bool neighborSearch)
{
    const double N = n;
    const double t = settings.targetDimension;
    const double k = settings.neighbors;
    const double square = N * N;
    // Per point: the neighbour lists and the lists they are made from (vector headers and ints).
    const double lists = N * (72.0 + 12.0 * k);
    switch (chosenMethod) {
    case MultidimensionalScaling:
        // Distances (float), the double working copy and B (float) at once.
        return 16.0 * square + EigenSolveBytes(n, settings.targetDimension, settings.solver, false) + 8.0 * N * t;
    case Isomap:
        // The same three matrices, and the neighbour graph with its edge lengths for the paths.
        return 16.0 * square + lists + N * 2.0 * k * 24.0 +
               EigenSolveBytes(n, settings.targetDimension, settings.solver, false) + 8.0 * N * t;
    case LaplacianEigenmaps: {
        // The distances (float), three lists of at most k neighbours a point (the nearest, a
        // sorted copy and the mutual ones), and the largest of the sparse steps over the E + n
        // entries of the Laplacian (E weights, at most k a point, and the diagonal): 68 bytes an
        // entry covers each of them. Eigen's sparse sums and casts grow their storage by doubling,
        // so a matrix they make holds up to twice its entries, three times while it grows. The
        // steps: the triplets (12 bytes) and setFromTriplets' two matrices; the weights cast to
        // double; the Laplacian made and summed with the identity beside the weights (float and
        // double); the solve's ordering (a float pattern, its transpose and their sum) beside the
        // Laplacian and the weights. The factor is asked for by the solve.
        const double entries = N * (k + 1.0);
        return 4.0 * square + 3.0 * N * (40.0 + 8.0 * k) + 68.0 * entries + 64.0 * N +
               EigenSolveBytes(n, settings.targetDimension + 1, settings.solver, true) + 24.0 * N * (t + 1.0);
    }
    case KernelLocallyLinearEmbedding: {
        // Before M is made: the n x n distances when no search finds the neighbours, the neighbour
        // lists and the count of M's entries (whose arrays the heap may keep). Then the steps from
        // the weights on at the fewest entries M can have, n (k + 1), as each column holds the k + 1
        // of its own point's row: the run asks its memory check for them with M's real entries once
        // the neighbours give them.
        const double counting = 20.0 * N * (k + 1.0) + 28.0 * N;
        return (neighborSearch ? 0.0 : 4.0 * square) + N * (40.0 + 4.0 * k) + counting +
               KernelLleBytes(n, settings, N * (k + 1.0));
    }
    default:
        return 0.0;
    }
}

void SquareInPlace(Eigen::MatrixXf& distances)
{
    float* value = distances.data();
    for (Eigen::Index e = 0; e < distances.size(); ++e) {
        const double d = value[e];
        value[e] = static_cast<float>(d * d);
    }
}

Eigen::MatrixXf SquaredColumnDistances(const Eigen::MatrixXf& data)
{
    const Eigen::Index n = data.cols();
    // Centred columns keep the Gram-matrix form of the distances accurate.
    const Eigen::MatrixXd centred = data.cast<double>().colwise() - data.cast<double>().rowwise().mean();
    const Eigen::VectorXd norms = centred.colwise().squaredNorm().transpose();
    Eigen::MatrixXf squared(n, n);
    const Eigen::Index block = 256;
    Eigen::MatrixXd products;
    for (Eigen::Index first = 0; first < n; first += block) {
        const Eigen::Index width = std::min(block, n - first);
        products.noalias() = centred.transpose() * centred.middleCols(first, width);
        for (Eigen::Index c = 0; c < width; ++c) {
            const Eigen::Index j = first + c;
            float* column = squared.col(j).data();
            for (Eigen::Index i = 0; i < n; ++i)
                column[i] = static_cast<float>(std::max(norms[i] + norms[j] - 2.0 * products(i, c), 0.0));
            column[j] = 0.0f;
        }
    }
    return squared;
}

bool RunPCA(const Eigen::MatrixXf& data, const RunSettings& settings, TapkeeOutput& output)
{
    const Eigen::Index d = data.rows();
    const Eigen::Index n = data.cols();
    const int t = settings.targetDimension;
    const Eigen::VectorXd mean = data.cast<double>().rowwise().mean();
    Zelvo::Log::Printf("embedPCA - meanVector cols:%ld  rows:%ld\n", 1L, static_cast<long>(d));

    Eigen::MatrixXd centred = data.cast<double>().colwise() - mean;
    EigenPairs pairs;
    if (n < d && t <= n) {
        // Fewer points than dimensions: the covariance A A^T / (n - 1) of the centred data A
        // shares its non-zero eigenvalues with the n x n Gram matrix A^T A / (n - 1), and an
        // eigenvector v of the latter gives the eigenvector A v of the former, so wide data
        // never builds a d x d matrix.
        Eigen::MatrixXd gram(n, n);
        gram.setZero();
        gram.selfadjointView<Eigen::Lower>().rankUpdate(centred.transpose(), 1.0 / static_cast<double>(n - 1));
        gram.triangularView<Eigen::StrictlyUpper>() = gram.transpose();
        EigenPairs small;
        if (!LargestEigenpairs(gram, t, settings.solver, small)) return false;
        pairs.values = small.values;
        pairs.vectors = centred * small.vectors;
        UnitColumnsCompleted(pairs.vectors);
        FixEigenvectorSigns(pairs.vectors);
    } else {
        Eigen::MatrixXd covariance(d, d);
        covariance.setZero();
        covariance.selfadjointView<Eigen::Lower>().rankUpdate(centred, 1.0 / static_cast<double>(n - 1));
        covariance.triangularView<Eigen::StrictlyUpper>() = covariance.transpose();
        if (!LargestEigenpairs(covariance, t, settings.solver, pairs)) return false;
    }
    Zelvo::Log::Printf("embedPCA - projectionMatrix cols:%ld  rows:%ld\n", static_cast<long>(t),
                       static_cast<long>(d));

    output.embedding = (centred.transpose() * pairs.vectors).cast<float>();
    centred.resize(0, 0);
    output.projectionMatrix = pairs.vectors.cast<float>();
    output.mean = mean.cast<float>();
    Zelvo::Log::Printf("ProjectionMat dim Check: %d, %d\n", static_cast<int>(output.projectionMatrix.cols()),
                       static_cast<int>(output.projectionMatrix.rows()));
    return true;
}

bool RunMultidimensionalScaling(int n, const DistanceCallback& distance, const RunSettings& settings,
                                TapkeeOutput& output)
{
    if (!PairwiseDistances(n, distance, output.distanceMatrix)) return false;
    SquareInPlace(output.distanceMatrix);
    Eigen::MatrixXd working = output.distanceMatrix.cast<double>();
    return ClassicScaling(working, settings, output);
}

bool RunIsomap(int n, const DistanceCallback& distance, const RunSettings& settings, TapkeeOutput& output)
{
    if (!PairwiseDistances(n, distance, output.distanceMatrix)) return false;
    output.neighbors = NearestNeighbors(output.distanceMatrix, settings.neighbors);
    // A neighbour graph in pieces has no path between them; like the usual Isomap, join the
    // pieces by the shortest edges between them rather than refuse the data.
    int components = 1;
    const std::vector<std::pair<int, int>> joining = JoiningEdges(output.distanceMatrix, output.neighbors, components);
    if (components > 1) {
        Zelvo::Log::Printf("Warning: the graph of the %d nearest neighbours has %d components; they are joined by "
                           "the shortest edges between them\n", settings.neighbors, components);
    }
    Eigen::MatrixXd working;
    if (!SquaredGeodesics(output.distanceMatrix, output.neighbors, joining, working)) {
        Zelvo::Log::Printf("Error: the graph of the %d nearest neighbours is not connected\n", settings.neighbors);
        return false;
    }
    output.distanceMatrix = working.cast<float>();
    return ClassicScaling(working, settings, output);
}

bool RunLaplacianEigenmaps(int n, const DistanceCallback& distance, const RunSettings& settings,
                           TapkeeOutput& output)
{
    if (!PairwiseDistances(n, distance, output.distanceMatrix)) return false;
    output.neighbors = MutualNeighbors(NearestNeighbors(output.distanceMatrix, settings.neighbors));

    std::vector<Eigen::Triplet<float>> entries;
    for (int i = 0; i < n; ++i)
        for (int j : output.neighbors[i]) {
            const double d = output.distanceMatrix(i, j);
            entries.emplace_back(i, j, static_cast<float>(std::exp(-d * d / settings.kernelWidth)));
        }
    output.weights.resize(n, n);
    output.weights.setFromTriplets(entries.begin(), entries.end());
    std::vector<Eigen::Triplet<float>>().swap(entries);
    SquareInPlace(output.distanceMatrix);

    // (D - W) f = lambda D f through the symmetric form I - D^-1/2 W D^-1/2, g = D^1/2 f.
    Eigen::SparseMatrix<double> weights = output.weights.cast<double>();
    Eigen::VectorXd degree = Eigen::VectorXd::Zero(n);
    for (Eigen::Index c = 0; c < weights.outerSize(); ++c)
        for (Eigen::SparseMatrix<double>::InnerIterator it(weights, c); it; ++it) degree[it.row()] += it.value();
    // A point without weight leaves D singular: say which remedy helps before giving up.
    int withoutMutual = 0;
    int zeroWeights = 0;
    for (int i = 0; i < n; ++i) {
        if (degree[i] > 0) continue;
        if (output.neighbors[i].empty())
            ++withoutMutual;
        else
            ++zeroWeights;
    }
    if (withoutMutual > 0 || zeroWeights > 0) {
        if (withoutMutual > 0)
            Zelvo::Log::Printf("Error: Laplacian eigenmaps: %d of %d points have no mutual neighbour among their %d "
                               "nearest; raise the neighbour count\n",
                               withoutMutual, n, settings.neighbors);
        if (zeroWeights > 0)
            Zelvo::Log::Printf("Error: Laplacian eigenmaps: %d of %d points have only zero weights (exp(-d^2/%g) "
                               "underflows for their neighbours); raise the heat-kernel width\n",
                               zeroWeights, n, settings.kernelWidth);
        ReportEigenFailure();
        return false;
    }
    const Eigen::VectorXd rootInverse = degree.cwiseSqrt().cwiseInverse();
    Eigen::SparseMatrix<double> laplacian = -(rootInverse.asDiagonal() * weights * rootInverse.asDiagonal());
    Eigen::SparseMatrix<double>().swap(weights);  // not needed in the solve
    Eigen::SparseMatrix<double> identity(n, n);
    identity.setIdentity();
    laplacian += identity;
    laplacian.data().squeeze();  // sums may leave room for up to as many entries again
    if (!CheckWeightsFinite(laplacian)) {
        ReportEigenFailure();
        return false;
    }

    const int t = settings.targetDimension;
    EigenPairs pairs;
    if (!SmallestEigenpairs(laplacian, t + 1, settings.solver, settings.fits, pairs)) return false;
    Eigen::MatrixXd embedding = rootInverse.asDiagonal() * pairs.vectors.rightCols(t);
    for (int c = 0; c < t; ++c) {
        const double norm = std::sqrt(embedding.col(c).cwiseAbs2().dot(degree));
        if (norm > 0) embedding.col(c) /= norm;
    }
    FixEigenvectorSigns(embedding);
    output.embedding = embedding.cast<float>();
    return true;
}

bool RunKernelLocallyLinearEmbedding(int n, const KernelCallback& kernel, const DistanceCallback& distance,
                                     const NeighborSearch& search, const RunSettings& settings,
                                     TapkeeOutput& output)
{
    if (!search || !search(settings.neighbors, output.neighbors)) {
        if (!PairwiseDistances(n, distance, output.distanceMatrix)) return false;
        output.neighbors = NearestNeighbors(output.distanceMatrix, settings.neighbors);
        SquareInPlace(output.distanceMatrix);
    }

    // M's entries follow from the neighbours alone: W and M are made only when they fit.
    if (settings.fits) {
        const double entriesOfM = static_cast<double>(ProductEntries(output.neighbors));
        if (!settings.fits(KernelLleBytes(n, settings, entriesOfM))) return false;
    }

    const int k = settings.neighbors;
    std::vector<Eigen::Triplet<double>> entries;
    entries.reserve(static_cast<size_t>(n) * (k + 1));
    Eigen::MatrixXd gram(k, k);
    Eigen::VectorXd pointKernel(k);
    for (int i = 0; i < n; ++i) {
        const std::vector<int>& near = output.neighbors[i];
        const double self = kernel(i, i);
        for (int a = 0; a < k; ++a) pointKernel[a] = kernel(i, near[a]);
        // Gram matrix of the neighbours seen from point i.
        for (int a = 0; a < k; ++a)
            for (int b = 0; b <= a; ++b) {
                const double value = static_cast<double>(kernel(near[a], near[b])) - pointKernel[a] -
                                     pointKernel[b] + self;
                gram(a, b) = value;
                gram(b, a) = value;
            }
        const double trace = gram.trace();
        gram.diagonal().array() += trace > 0 ? 1e-3 * trace : 1e-3;
        Eigen::VectorXd w = gram.ldlt().solve(Eigen::VectorXd::Ones(k));
        w /= w.sum();
        if (!w.allFinite()) {
            Zelvo::Log::Printf("Error: no reconstruction weights for point %d\n", i);
            return false;
        }
        for (int a = 0; a < k; ++a) entries.emplace_back(i, near[a], w[a]);
    }
    Eigen::SparseMatrix<double> reconstruction(n, n);
    reconstruction.setFromTriplets(entries.begin(), entries.end());
    std::vector<Eigen::Triplet<double>>().swap(entries);
    output.reconstructionWeights = reconstruction.cast<float>();
    output.reconstructionWeights.data().squeeze();  // casts may leave room for up to as many entries again

    Eigen::SparseMatrix<double> residual(n, n);
    residual.setIdentity();
    residual -= reconstruction;
    // Resizing a sparse matrix keeps its storage: an empty one takes it over.
    Eigen::SparseMatrix<double>().swap(reconstruction);
    Eigen::SparseMatrix<double> quadratic = Eigen::SparseMatrix<double>(residual.transpose()) * residual;
    Eigen::SparseMatrix<double>().swap(residual);
    quadratic.data().squeeze();
    output.weights = quadratic.cast<float>();
    output.weights.data().squeeze();

    const int t = settings.targetDimension;
    EigenPairs pairs;
    if (!SmallestEigenpairs(quadratic, t + 1, settings.solver, settings.fits, pairs)) return false;
    output.embedding = pairs.vectors.rightCols(t).cast<float>();
    return true;
}

}  // namespace tapkee
