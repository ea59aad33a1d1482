#include "ISOMAPTapkee.h"

#include "IsomapEmbeddingResult.h"
#include "TapkeeEngineSupport.h"

#include <new>
#include <utility>

namespace Zelvo {

ISOMAPTapkee::ISOMAPTapkee(distanceFunctor& distance, int k) : m_distance(distance), m_k(k) {}

std::unique_ptr<EmbeddingResult> ISOMAPTapkee::DoEmbeding(HDpointSet<float>* points, int targetDim)
{
    try {
        const tapkee::ParameterSet parameters{tapkee::method(tapkee::Isomap), tapkee::target_dimension(targetDim),
                                              tapkee::num_neighbors(m_k)};
        tapkee::TapkeeOutput output;
        if (!TapkeeEngineSupport::RunOnRawPoints(points, m_distance, "Isomap", parameters, false, targetDim,
                                                 output))
            return nullptr;
        const int n = static_cast<int>(output.embedding.rows());
        TapkeeEngineSupport::ToPointMajor(output.embedding);
        auto result = std::make_unique<IsomapEmbeddingResult>(output.embedding.data(), targetDim, n, points,
                                                               output.innerProducts, std::move(output.neighbors));
        // Squared geodesics, so that every result's matrix holds squared distances.
        result->SetHDSquaredDistance(std::move(output.distanceMatrix));
        TapkeeEngineSupport::ReportRange("Isomap", result->minX, result->maxX, result->minY, result->maxY);
        return result;
    } catch (const std::bad_alloc&) {
        TapkeeEngineSupport::ReportMemoryExhausted("Isomap");
        return nullptr;
    }
}

}  // namespace Zelvo
