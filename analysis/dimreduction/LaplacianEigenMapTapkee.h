#pragma once

#include "DimReductionInterface.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Laplacian eigenmaps of the raw points over mutual k-nearest neighbours under the
// engine's distance functor, with heat-kernel weights exp(-d^2 / width).
class LaplacianEigenMapTapkee : public DimReductionInterface {
public:
    // A width of exactly 0 (the form's empty field) means 1.0.
    LaplacianEigenMapTapkee(distanceFunctor& distance, int k, float width);
    ~LaplacianEigenMapTapkee() override = default;

    // A new LaplacianEigenmapEmbeddingResult, or null after an "Error ..." line (k outside
    // 1..n-1, a width that is not finite and positive, a point without mutual neighbours).
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;

private:
    distanceFunctor m_distance;
    int m_k;
    float m_width;
};

}  // namespace Zelvo
