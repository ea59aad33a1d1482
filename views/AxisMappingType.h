#pragma once

namespace Zelvo {

// How a parallel-coordinates axis maps its dimension's values onto its height.
enum AxisMappingType : int {
    AxisMappingOwnRange = 0,   // the dimension's own minimum and maximum
    AxisMappingFullRange = 1,  // the smallest minimum and largest maximum of the selected dimensions
};

}  // namespace Zelvo
