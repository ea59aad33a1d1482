#include "EmbeddingLibrary.h"

#include "EmbeddingMethods.h"
#include "EmbeddingNeighbors.h"
#include "Log.h"

#include <cmath>
#include <new>

namespace tapkee {

namespace {

const char* KeywordName(KeywordId id)
{
    switch (id) {
    case KeywordId::Method: return method.name;
    case KeywordId::TargetDimension: return target_dimension.name;
    case KeywordId::NumNeighbors: return num_neighbors.name;
    case KeywordId::GaussianKernelWidth: return gaussian_kernel_width.name;
    case KeywordId::EigenSolver: return eigen_solver.name;
    }
    return "unknown";
}

bool IsWholeNumber(double value)
{
    return std::isfinite(value) && value == std::floor(value) && std::abs(value) < 2e9;
}

bool UsesNeighbors(int m)
{
    return m == Isomap || m == LaplacianEigenmaps || m == KernelLocallyLinearEmbedding;
}

// Reads and checks the parameters for a run over n points.
bool ReadParameters(const ParameterSet& parameters, int n, int& chosenMethod, RunSettings& settings)
{
    constexpr int keywordCount = 5;
    bool given[keywordCount] = {};
    double values[keywordCount] = {};
    for (const Parameter& p : parameters.Entries()) {
        const int slot = static_cast<int>(p.id);
        if (given[slot]) {
            Zelvo::Log::Printf("Error: parameter %s given more than once\n", KeywordName(p.id));
            return false;
        }
        given[slot] = true;
        values[slot] = p.value;
    }
    auto value = [&](KeywordId id) { return values[static_cast<int>(id)]; };
    auto has = [&](KeywordId id) { return given[static_cast<int>(id)]; };

    if (!has(KeywordId::Method) || !has(KeywordId::TargetDimension)) {
        Zelvo::Log::Puts("Error: an embedding needs a method and a target dimension");
        return false;
    }
    const double m = value(KeywordId::Method);
    if (!(m == PCA || m == MultidimensionalScaling || m == Isomap || m == LaplacianEigenmaps ||
          m == KernelLocallyLinearEmbedding)) {
        Zelvo::Log::Printf("Error: unknown embedding method %g\n", m);
        return false;
    }
    chosenMethod = static_cast<int>(m);

    const double t = value(KeywordId::TargetDimension);
    if (!IsWholeNumber(t) || t < 1) {
        Zelvo::Log::Printf("Error: target dimension %g is not a positive whole number\n", t);
        return false;
    }
    settings.targetDimension = static_cast<int>(t);
    if (n < settings.targetDimension + 1) {
        Zelvo::Log::Printf("Error: %d points are too few for target dimension %d\n", n, settings.targetDimension);
        return false;
    }

    if (UsesNeighbors(chosenMethod)) {
        const double k = value(KeywordId::NumNeighbors);
        if (!has(KeywordId::NumNeighbors) || !IsWholeNumber(k) || k < 1 || k > n - 1) {
            Zelvo::Log::Printf("Error: number of neighbors %g is outside 1..%d\n", k, n - 1);
            return false;
        }
        settings.neighbors = static_cast<int>(k);
    }
    if (chosenMethod == LaplacianEigenmaps) {
        const double width = value(KeywordId::GaussianKernelWidth);
        if (!has(KeywordId::GaussianKernelWidth) || !std::isfinite(width) || width <= 0) {
            Zelvo::Log::Printf("Error: gaussian kernel width %g is not finite and positive\n", width);
            return false;
        }
        settings.kernelWidth = width;
    }
    if (has(KeywordId::EigenSolver)) {
        const double kind = value(KeywordId::EigenSolver);
        if (!(kind == AutomaticEigenSolver || kind == DenseEigenSolver || kind == PartialEigenSolver)) {
            Zelvo::Log::Printf("Error: unknown eigen solver %g\n", kind);
            return false;
        }
        settings.solver = static_cast<EigenSolverKind>(static_cast<int>(kind));
    }
    return true;
}

bool RunCallbackMethod(int chosenMethod, int n, const KernelCallback& kernel, const DistanceCallback& distance,
                       const NeighborSearch& search, const RunSettings& settings, TapkeeOutput& output)
{
    if (!distance) {
        Zelvo::Log::Puts("Error: the embedding needs a distance callback");
        return false;
    }
    switch (chosenMethod) {
    case MultidimensionalScaling: return RunMultidimensionalScaling(n, distance, settings, output);
    case Isomap: return RunIsomap(n, distance, settings, output);
    case LaplacianEigenmaps: return RunLaplacianEigenmaps(n, distance, settings, output);
    case KernelLocallyLinearEmbedding:
        if (!kernel) {
            Zelvo::Log::Puts("Error: kernel locally linear embedding needs a kernel callback");
            return false;
        }
        return RunKernelLocallyLinearEmbedding(n, kernel, distance, search, settings, output);
    default:
        Zelvo::Log::Puts("Error: PCA needs the data matrix");
        return false;
    }
}

void ReportMemoryExhausted()
{
    Zelvo::Log::Puts("Error: not enough memory for the embedding");
}

}  // namespace

TapkeeOutput embedUsing(const Eigen::MatrixXf& data, const ParameterSet& parameters)
{
    TapkeeOutput output;
    int chosenMethod = -1;
    RunSettings settings;
    const int n = static_cast<int>(data.cols());
    if (!ReadParameters(parameters, n, chosenMethod, settings)) return output;
    bool done = false;
    try {
        if (chosenMethod == PCA) {
            if (settings.targetDimension > data.rows()) {
                Zelvo::Log::Printf("Error: target dimension %d exceeds the data dimension %ld\n",
                                   settings.targetDimension, static_cast<long>(data.rows()));
                return output;
            }
            done = RunPCA(data, settings, output);
        } else {
            const DistanceCallback distance = [&data](int i, int j) {
                return static_cast<float>((data.col(i).cast<double>() - data.col(j).cast<double>()).norm());
            };
            const KernelCallback kernel = [&data](int i, int j) {
                return static_cast<float>(data.col(i).cast<double>().dot(data.col(j).cast<double>()));
            };
            done = RunCallbackMethod(chosenMethod, n, kernel, distance, NeighborSearch(), settings, output);
        }
    } catch (const std::bad_alloc&) {
        ReportMemoryExhausted();
        done = false;
    }
    if (!done) return TapkeeOutput();
    return output;
}

TapkeeOutput embedRange(int n, const KernelCallback& kernel, const DistanceCallback& distance,
                        const ParameterSet& parameters)
{
    return embedRange(n, kernel, distance, NeighborSearch(), parameters);
}

TapkeeOutput embedRange(int n, const KernelCallback& kernel, const DistanceCallback& distance,
                        const NeighborSearch& search, const ParameterSet& parameters, const MemoryCheck& fits)
{
    TapkeeOutput output;
    int chosenMethod = -1;
    RunSettings settings;
    if (!ReadParameters(parameters, n, chosenMethod, settings)) return output;
    settings.fits = fits;
    bool done = false;
    try {
        done = RunCallbackMethod(chosenMethod, n, kernel, distance, search, settings, output);
    } catch (const std::bad_alloc&) {
        ReportMemoryExhausted();
        done = false;
    }
    if (!done) return TapkeeOutput();
    return output;
}

double PeakMemory(int n, const ParameterSet& parameters, bool neighborSearch)
{
    // Read as a run reads them, without its messages: values a run refuses count for nothing.
    const auto count = [&](KeywordId id) {
        const double value = parameters.Value(id, -1);
        return IsWholeNumber(value) && value >= 0 && value <= n ? static_cast<int>(value) : -1;
    };
    const double method = parameters.Value(KeywordId::Method, -1);
    if (n < 1 || !IsWholeNumber(method)) return 0.0;
    RunSettings settings;
    settings.targetDimension = count(KeywordId::TargetDimension);
    settings.neighbors = UsesNeighbors(static_cast<int>(method)) ? count(KeywordId::NumNeighbors) : 0;
    if (settings.targetDimension < 1 || settings.neighbors < 0) return 0.0;
    const double kind = parameters.Value(KeywordId::EigenSolver, AutomaticEigenSolver);
    if (kind == DenseEigenSolver || kind == PartialEigenSolver)
        settings.solver = static_cast<EigenSolverKind>(static_cast<int>(kind));
    return PeakBytes(static_cast<int>(method), n, settings, neighborSearch);
}

Eigen::MatrixXf SquaredCallbackDistances(int n, const DistanceCallback& distance)
{
    Eigen::MatrixXf distances;
    if (PairwiseDistances(n, distance, distances)) SquareInPlace(distances);
    return distances;
}

}  // namespace tapkee
