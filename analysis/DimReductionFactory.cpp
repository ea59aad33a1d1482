#include "DimReductionFactory.h"

namespace Zelvo {

}  // namespace Zelvo
