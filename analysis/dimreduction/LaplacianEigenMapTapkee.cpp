#include "LaplacianEigenMapTapkee.h"

#include "LaplacianEigenmapEmbeddingResult.h"
#include "TapkeeEngineSupport.h"

#include <new>
#include <utility>

namespace Zelvo {

LaplacianEigenMapTapkee::LaplacianEigenMapTapkee(distanceFunctor& distance, int k, float width)
    : m_distance(distance), m_k(k), m_width(width == 0.0f ? 1.0f : width)
{
}

std::unique_ptr<EmbeddingResult> LaplacianEigenMapTapkee::DoEmbeding(HDpointSet<float>* points, int targetDim)
{
    try {
        const tapkee::ParameterSet parameters{tapkee::method(tapkee::LaplacianEigenmaps),
                                              tapkee::target_dimension(targetDim),
                                              tapkee::gaussian_kernel_width(m_width), tapkee::num_neighbors(m_k)};
        tapkee::TapkeeOutput output;
        if (!TapkeeEngineSupport::RunOnRawPoints(points, m_distance, "Laplacian Eigenmap", parameters, false,
                                                 targetDim, output))
            return nullptr;
        const int n = static_cast<int>(output.embedding.rows());
        TapkeeEngineSupport::ToPointMajor(output.embedding);
        auto result = std::make_unique<LaplacianEigenmapEmbeddingResult>(output.embedding.data(), targetDim, n,
                                                                          points, output.weights);
        result->SetHDSquaredDistance(std::move(output.distanceMatrix));
        result->neighborLists = std::move(output.neighbors);
        TapkeeEngineSupport::ReportRange("Laplacian Eigenmap", result->minX, result->maxX, result->minY,
                                         result->maxY);
        return result;
    } catch (const std::bad_alloc&) {
        TapkeeEngineSupport::ReportMemoryExhausted("Laplacian Eigenmap");
        return nullptr;
    }
}

}  // namespace Zelvo
