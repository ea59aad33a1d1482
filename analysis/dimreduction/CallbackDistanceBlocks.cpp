#include "CallbackDistanceBlocks.h"

#include "Log.h"
#include "tapkeeDistCallback.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Zelvo {

CallbackDistanceBlocks::CallbackDistanceBlocks(std::vector<HDpoint<float>> points, const distanceFunctor& functor)
    : m_points(std::move(points)), m_functor(functor)
{
}

bool CallbackDistanceBlocks::BeginPass(int /*workers*/)
{
    m_reported = false;
    return true;
}

int CallbackDistanceBlocks::PartCount(int /*first*/) const
{
    return std::max(1, (PointCount() + kPartRows - 1) / kPartRows);
}

bool CallbackDistanceBlocks::FillPart(int first, int part, int /*worker*/, float* columns)
{
    const int n = PointCount();
    const int width = std::min(BlockWidth(), n - first);
    const int begin = part * kPartRows;
    const int end = std::min(n, begin + kPartRows);
    // The functor may adjust its mask while measuring: each part measures with its own copy.
    tapkeeDistCallback distance(m_functor);
    for (int c = 0; c < width; ++c) {
        const int j = first + c;
        float* column = columns + static_cast<size_t>(c) * n;
        for (int i = begin; i < end; ++i) {
            if (i == j) {
                column[i] = 0.0f;
                continue;
            }
            const int a = std::min(i, j), b = std::max(i, j);
            const float d = distance.distance(m_points[a], m_points[b]);
            if (!std::isfinite(d) || d < 0) {
                if (!m_reported.exchange(true))
                    Log::Printf("Error: distance %f between points %d and %d is no distance\n", d, a, b);
                return false;
            }
            const double value = d;
            column[i] = static_cast<float>(value * value);
        }
    }
    return true;
}

}  // namespace Zelvo
