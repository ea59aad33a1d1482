#pragma once

#include "DimReductionInterface.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Isomap of the raw points: classic scaling of the geodesic distances over the graph of
// the k nearest neighbours under the engine's distance functor. The result keeps the
// inner-product matrix, the neighbour lists and the squared geodesic distances.
class ISOMAPTapkee : public DimReductionInterface {
public:
    ISOMAPTapkee(distanceFunctor& distance, int k);
    ~ISOMAPTapkee() override = default;

    // A new IsomapEmbeddingResult, or null after an "Error ..." line (k outside 1..n-1,
    // a neighbourhood graph that is not connected, ...).
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;
    float CalculateCostFunction(EmbeddingResult*) override { return 0; }
    float CalculateLocalizedDistorsion(EmbeddingResult*) override { return 0; }

private:
    distanceFunctor m_distance;
    int m_k;
};

}  // namespace Zelvo
