#pragma once

#include "DimReductionInterface.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Principal component analysis of the selected dimensions in the set's current
// normalisation state. The functor is kept for the family's uniform construction; the
// distances of the result are the Euclidean ones between the packed points.
class PCATapkee : public DimReductionInterface {
public:
    explicit PCATapkee(distanceFunctor& distance);
    ~PCATapkee() override = default;

    // A new LinearProjectionEmbeddingResult (unit basis columns, the packed mean), or null
    // after an "Error ..." line.
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;
    float CalculateCostFunction(EmbeddingResult*) override { return 0; }
    float CalculateLocalizedDistorsion(EmbeddingResult*) override { return 0; }

private:
    distanceFunctor m_distance;
};

}  // namespace Zelvo
