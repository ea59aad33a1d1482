#include "AxisAlignedProjection.h"

#include "EmbeddingResult.h"
#include "LinearProjection.h"
#include "Log.h"

#include <Eigen/Core>

#include <new>

namespace Zelvo {

namespace {

// Column of dimension d in the packed data, or -1 when d is out of range or not selected.
int PackedIndex(const std::vector<bool>& mask, int d)
{
    if (d < 0 || static_cast<size_t>(d) >= mask.size() || !mask[d]) return -1;
    int packed = 0;
    for (int i = 0; i < d; ++i)
        if (mask[i]) ++packed;
    return packed;
}

}  // namespace

AxisAlignedProjection::AxisAlignedProjection(int xDim, int yDim) : xDim(xDim), yDim(yDim) {}

// Exhausted memory is reported like every other failure: no exception leaves the engine.
std::unique_ptr<EmbeddingResult> AxisAlignedProjection::DoEmbeding(HDpointSet<float>* points, int targetDim)
try {
    if (targetDim != 2) {
        Log::Printf("Error AxisAlignedProjection can't have targetDim of %d\n", targetDim);
        return nullptr;
    }
    if (!points) {
        Log::Puts("Error AxisAlignedProjection: no point set");
        return nullptr;
    }
    const std::vector<bool>& mask = points->m_dimMask;
    const int packedX = PackedIndex(mask, xDim);
    const int packedY = PackedIndex(mask, yDim);
    if (packedX < 0 || packedY < 0) {
        Log::Printf("Error AxisAlignedProjection: dimension %d is not a selected dimension of the %zu\n",
                    packedX < 0 ? xDim : yDim, mask.size());
        return nullptr;
    }

    Eigen::MatrixXf basis = Eigen::MatrixXf::Zero(points->GetSelectedDimensionCount(), 2);
    basis(packedX, 0) = 1.0f;
    basis(packedY, 1) = 1.0f;
    std::unique_ptr<EmbeddingResult> result = LinearProjection(basis).DoEmbeding(points, 2);
    if (!result) return nullptr;
    result->ReCalculateDistanceMatrix();
    Log::Printf("Axis Aligned projection: rangeX: %f %f rangeY: %f %f\n", result->minX, result->maxX, result->minY,
                result->maxY);
    return result;
} catch (const std::bad_alloc&) {
    Log::Puts("Error AxisAlignedProjection: not enough memory");
    return nullptr;
}

}  // namespace Zelvo
