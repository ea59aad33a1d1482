#pragma once

#include "DimReductionInterface.h"

#include <memory>

namespace Zelvo {

// Shows two chosen dimensions (indices over all dimensions of the point set) as the x and
// y axes, through a linear projection onto two unit vectors of the packed data.
class AxisAlignedProjection : public DimReductionInterface {
public:
    AxisAlignedProjection(int xDim, int yDim);
    ~AxisAlignedProjection() override = default;

    // A new LinearProjectionEmbeddingResult, or null after an "Error ..." line (target
    // dimension other than 2, an index out of range or naming an unselected dimension).
    std::unique_ptr<EmbeddingResult> DoEmbeding(HDpointSet<float>* points, int targetDim) override;

private:
    int xDim;
    int yDim;
};

}  // namespace Zelvo
