#include "ClusteringFactory.h"

namespace Zelvo {

}  // namespace Zelvo
