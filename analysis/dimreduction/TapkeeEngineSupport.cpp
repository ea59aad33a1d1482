#include "TapkeeEngineSupport.h"

#include "CallbackDistanceBlocks.h"
#include "KnnSearch.h"
#include "Log.h"
#include "MemoryBudget.h"
#include "linearKernelCallback.h"
#include "tapkeeDistCallback.h"

#include <algorithm>

namespace Zelvo {

bool TapkeeEngineSupport::m_prepareSet(HDpointSet<float>* set, const distanceFunctor& functor,
                                       const char* engineName, int& n)
{
    n = 0;
    if (!set) {
        Log::Printf("Error %s: no point set\n", engineName);
        return false;
    }
    // D is the length of the mask, as everywhere in the point set.
    set->m_dimension = static_cast<int64_t>(set->m_dimMask.size());
    const size_t D = set->m_dimMask.size();
    if (set->GetSelectedDimensionCount() == 0) {
        Log::Printf("Error %s: no dimension is selected\n", engineName);
        return false;
    }
    // The functor applies the selection; a mask of another length counts as all selected.
    if (functor.mask.size() == D && std::none_of(functor.mask.begin(), functor.mask.end(), [](bool b) { return b; })) {
        Log::Printf("Error %s: the distance selects no dimension\n", engineName);
        return false;
    }
    n = set->GetPointCount();
    if (n <= 0 || set->m_values.size() < static_cast<size_t>(n) * D) {
        Log::Printf("Error %s: the point set holds no points\n", engineName);
        return false;
    }
    return true;
}

bool TapkeeEngineSupport::m_packSet(HDpointSet<float>* set, const char* engineName)
{
    if (set->GetPackedRawDataArray(true)) return true;
    Log::Printf("Error %s: normalisation state %d gives no packed data\n", engineName, static_cast<int>(set->m_state));
    return false;
}

std::vector<HDpoint<float>> TapkeeEngineSupport::m_rawPoints(HDpointSet<float>* set, int n)
{
    const size_t D = set->m_dimMask.size();
    std::vector<HDpoint<float>> points;
    points.reserve(static_cast<size_t>(n));
    const float* values = set->m_values.data();
    for (int i = 0; i < n; ++i) points.emplace_back(values + static_cast<size_t>(i) * D, D);
    return points;
}

bool TapkeeEngineSupport::RunOnRawPoints(HDpointSet<float>* set, const distanceFunctor& functor,
                                         const char* engineName, const tapkee::ParameterSet& parameters,
                                         bool withKernel, int targetDim, tapkee::TapkeeOutput& output)
{
    int n = 0;
    if (!m_prepareSet(set, functor, engineName, n)) return false;
    const size_t D = set->m_dimMask.size();
    // Kernel LLE needs only the neighbours: found through a tree over the raw values, with the
    // functor's own distances, instead of from the n x n matrix (when the search can stand in).
    KnnSearch knn(set->m_values.data(), n, static_cast<int>(D), functor);
    const double k = parameters.Value(tapkee::KeywordId::NumNeighbors, 0.0);
    const bool searchStandsIn = withKernel && k >= 1 && k < n && knn.CanFind(static_cast<int>(k));
    // Nothing of the set changes, nor is anything large made, before the run is known to fit.
    // Beside the library's own: the raw points (a vector of D floats each), the packed buffer and
    // a normalised copy of the values that packing may make, and the search's tree (its points,
    // order, nodes and boxes).
    const double N = n;
    const double dimensions = static_cast<double>(D);
    const double selected = static_cast<double>(set->GetSelectedDimensionCount());
    const double pointBytes = N * (4.0 * dimensions + 56.0) + 4.0 * N * (selected + dimensions) +
                              (searchStandsIn ? N * (10.0 * dimensions + 16.0) : 0.0);
    if (!MemoryBudget::Fits(engineName, tapkee::PeakMemory(n, parameters, searchStandsIn) + pointBytes)) return false;
    if (!m_packSet(set, engineName)) return false;
    {
        // The points live only for the run; the output is all that stays.
        const std::vector<HDpoint<float>> points = m_rawPoints(set, n);
        tapkeeDistCallback distance(functor);
        // Kernel LLE asks again once its neighbours give the size of M, and the sparse solves
        // once the size of their factor is known.
        const tapkee::MemoryCheck fits = [engineName](double bytes) {
            return MemoryBudget::Fits(engineName, bytes);
        };
        if (withKernel) {
            const tapkee::NeighborSearch search = [&knn](int k, std::vector<std::vector<int>>& neighbors) {
                return knn.Find(k, neighbors);
            };
            linearKernelCallback kernelObject;
            const tapkee::KernelCallback kernel = [&points, kernelObject](int i, int j) mutable {
                return static_cast<float>(kernelObject.kernel(points[i], points[j]));
            };
            const tapkee::DistanceCallback byIndex = [&points, distance](int i, int j) mutable {
                return distance.distance(points[i], points[j]);
            };
            output = tapkee::embedRange(n, kernel, byIndex, search, parameters, fits);
        } else {
            // No kernel: the library refuses a method that would need one.
            const tapkee::DistanceCallback byIndex = [&points, distance](int i, int j) mutable {
                return distance.distance(points[i], points[j]);
            };
            output =
                tapkee::embedRange(n, tapkee::KernelCallback(), byIndex, tapkee::NeighborSearch(), parameters, fits);
        }
    }
    if (!AcceptEmbedding(output.embedding, n, targetDim, engineName)) return false;
    Log::Printf("Output-> point count: %d dim: %d TargetDim: %d \n", static_cast<int>(output.embedding.rows()),
                static_cast<int>(output.embedding.cols()), targetDim);
    return true;
}

std::unique_ptr<SquaredDistanceBlocks> TapkeeEngineSupport::DistanceBlocks(HDpointSet<float>* set,
                                                                           const distanceFunctor& functor)
{
    return std::make_unique<CallbackDistanceBlocks>(m_rawPoints(set, set->GetPointCount()), functor);
}

bool TapkeeEngineSupport::AcceptEmbedding(const Eigen::MatrixXf& embedding, int n, int targetDim,
                                          const char* engineName)
{
    if (embedding.rows() == 0) return false;
    if (embedding.rows() != n || embedding.cols() != targetDim) {
        Log::Printf("Error %s: embedding of %ld x %ld, expected %d x %d\n", engineName,
                    static_cast<long>(embedding.rows()), static_cast<long>(embedding.cols()), n, targetDim);
        return false;
    }
    if (!embedding.allFinite()) {
        Log::Printf("Error %s: the embedding holds values that are not finite\n", engineName);
        return false;
    }
    return true;
}

void TapkeeEngineSupport::ToPointMajor(Eigen::MatrixXf& embedding)
{
    embedding.transposeInPlace();
}

void TapkeeEngineSupport::ReportMemoryExhausted(const char* engineName)
{
    Log::Printf("Error %s: not enough memory\n", engineName);
}

void TapkeeEngineSupport::ReportRange(const char* label, float minX, float maxX, float minY, float maxY)
{
    Log::Printf("Applied %s: rangeX:%f %f  rangeY:%f %f\n", label, minX, maxX, minY, maxY);
}

}  // namespace Zelvo
