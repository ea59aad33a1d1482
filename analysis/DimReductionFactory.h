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
};

}  // namespace Zelvo
