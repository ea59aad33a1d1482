#include "MDSTapkee.h"

#include "TapkeeEngineSupport.h"
#include "classicMDSEmbeddingResult.h"

#include <new>
#include <utility>

namespace Zelvo {

MDSTapkee::MDSTapkee(distanceFunctor& distance) : m_distance(distance) {}

std::unique_ptr<EmbeddingResult> MDSTapkee::DoEmbeding(HDpointSet<float>* points, int targetDim)
{
    try {
        const tapkee::ParameterSet parameters{tapkee::method(tapkee::MultidimensionalScaling),
                                              tapkee::target_dimension(targetDim)};
        tapkee::TapkeeOutput output;
        if (!TapkeeEngineSupport::RunOnRawPoints(points, m_distance, "MDS", parameters, false, targetDim, output))
            return nullptr;
        const int n = static_cast<int>(output.embedding.rows());
        TapkeeEngineSupport::ToPointMajor(output.embedding);
        auto result = std::make_unique<classicMDSEmbeddingResult>(output.embedding.data(), targetDim, n, points,
                                                                   output.innerProducts);
        result->SetHDSquaredDistance(std::move(output.distanceMatrix));
        TapkeeEngineSupport::ReportRange("MDS", result->minX, result->maxX, result->minY, result->maxY);
        return result;
    } catch (const std::bad_alloc&) {
        TapkeeEngineSupport::ReportMemoryExhausted("MDS");
        return nullptr;
    }
}

}  // namespace Zelvo
