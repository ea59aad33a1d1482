#pragma once

#include "DimReductionInterface.h"
#include "distanceFunctor.h"

#include <memory>

namespace Zelvo {

// Builds dimension-reduction engines: one static function per method, each returning a new
// engine that the caller owns. Engines that measure distances copy the functor they get.
// Parameters reach the engines unchanged; the engines validate them.
class DimReductionFactory {
public:
    DimReductionFactory() = delete;

    static std::unique_ptr<DimReductionInterface> FromPCAFactory(distanceFunctor& distance);
    static std::unique_ptr<DimReductionInterface> FromMDSFactory(distanceFunctor& distance);
    static std::unique_ptr<DimReductionInterface> FromISOMAPFactory(distanceFunctor& distance, int k);
    // A width of exactly 0 becomes 1.0 in the engine.
    static std::unique_ptr<DimReductionInterface> FromLaplacianEigenmapFactory(distanceFunctor& distance, int k,
                                                                               float width);
    static std::unique_ptr<DimReductionInterface> FromLocalLinearEmbeddingFactory(distanceFunctor& distance, int k);
    static std::unique_ptr<DimReductionInterface> FromAxisAlignProjectionFactory(int xDim, int yDim);
};

}  // namespace Zelvo
