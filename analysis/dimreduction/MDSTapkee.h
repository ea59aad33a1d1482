#pragma once

#include "DimReductionInterface.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Classic multidimensional scaling of the raw points under the engine's distance
// functor (its type over its mask). The result keeps the inner-product matrix B.
class MDSTapkee : public DimReductionInterface {
public:
    explicit MDSTapkee(distanceFunctor& distance);
    ~MDSTapkee() override = default;

    // A new classicMDSEmbeddingResult, or null after an "Error ..." line.
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;
    float CalculateCostFunction(EmbeddingResult*) override { return 0; }
    float CalculateLocalizedDistorsion(EmbeddingResult*) override { return 0; }

private:
    distanceFunctor m_distance;
};

}  // namespace Zelvo
