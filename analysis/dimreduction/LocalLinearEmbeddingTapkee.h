#pragma once

#include "DimReductionInterface.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Kernel locally linear embedding of the raw points: neighbours by the engine's distance
// functor, reconstruction weights from the dot-product kernel over all coordinates.
class LocalLinearEmbeddingTapkee : public DimReductionInterface {
public:
    LocalLinearEmbeddingTapkee(distanceFunctor& distance, int k);
    ~LocalLinearEmbeddingTapkee() override = default;

    // A new LocalLinearEmbeddingEmbeddingResult holding (I - W)^T (I - W) and W, or null
    // after an "Error ..." line.
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;

private:
    distanceFunctor m_distance;
    int m_k;
};

}  // namespace Zelvo
