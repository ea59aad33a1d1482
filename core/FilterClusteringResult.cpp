#include "FilterClusteringResult.h"

namespace Zelvo {

FilterClusteringResult::~FilterClusteringResult() = default;

}  // namespace Zelvo
