#include "LocalLinearEmbeddingTapkee.h"

#include "LocalLinearEmbeddingEmbeddingResult.h"
#include "TapkeeEngineSupport.h"

#include <new>
#include <utility>

namespace Zelvo {

LocalLinearEmbeddingTapkee::LocalLinearEmbeddingTapkee(distanceFunctor& distance, int k)
    : m_distance(distance), m_k(k)
{
}

std::unique_ptr<EmbeddingResult> LocalLinearEmbeddingTapkee::DoEmbeding(HDpointSet<float>* points, int targetDim)
{
    try {
        const tapkee::ParameterSet parameters{tapkee::method(tapkee::KernelLocallyLinearEmbedding),
                                              tapkee::target_dimension(targetDim), tapkee::num_neighbors(m_k)};
        tapkee::TapkeeOutput output;
        if (!TapkeeEngineSupport::RunOnRawPoints(points, m_distance, "Local Linear Embedding", parameters, true,
                                                 targetDim, output))
            return nullptr;
        const int n = static_cast<int>(output.embedding.rows());
        TapkeeEngineSupport::ToPointMajor(output.embedding);
        auto result = std::make_unique<LocalLinearEmbeddingEmbeddingResult>(
            output.embedding.data(), targetDim, n, points, output.weights, output.reconstructionWeights);
        // The run found the neighbours without the n x n distances; only the distortion
        // measures read them, so they are made when first asked for.
        if (output.distanceMatrix.size() == 0)
            result->SetHDSquaredDistanceBlocks(TapkeeEngineSupport::DistanceBlocks(points, m_distance));
        else
            result->SetHDSquaredDistance(std::move(output.distanceMatrix));
        result->neighborLists = std::move(output.neighbors);
        TapkeeEngineSupport::ReportRange("Local Linear Embedding", result->minX, result->maxX, result->minY,
                                         result->maxY);
        return result;
    } catch (const std::bad_alloc&) {
        TapkeeEngineSupport::ReportMemoryExhausted("Local Linear Embedding");
        return nullptr;
    }
}

}  // namespace Zelvo
