#pragma once

#include "HDpointSet.h"

#include <memory>

namespace Zelvo {

class EmbeddingResult;

// A dimension-reduction engine. DoEmbeding returns a new result owned by the caller, or null
// when it failed. Costs and distortions are computed by the results themselves; the two
// hooks below are kept for engines that want them and do nothing by default.
class DimReductionInterface {
public:
    virtual ~DimReductionInterface() = default;
    virtual std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) = 0;
    virtual float CalculateCostFunction(EmbeddingResult*) { return 0; }
    virtual float CalculateLocalizedDistorsion(EmbeddingResult*) { return 0; }
};

}  // namespace Zelvo
