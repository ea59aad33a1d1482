#include "MinimalEnclosingBall.h"

#include "Log.h"
#include "Miniball.h"

#include <cmath>

namespace Zelvo {

void MinimalEnclosingBall::SetPoints(float* data, int pointCount, int dimension)
{
    m_data = data;
    m_pointCount = pointCount;
    m_dimension = dimension;
}

void MinimalEnclosingBall::CalculateMinimalEnclosingBall()
{
    if (!m_data)
        return;
    if (m_pointCount < 0 || m_dimension < 1) {
        Log::Printf("Error: MinimalEnclosingBall: invalid point count %d or dimension %d\n", m_pointCount,
                    m_dimension);
        return;
    }
    const Miniball::Miniball ball(m_data, m_pointCount, m_dimension);
    m_radius = std::sqrt(ball.squared_radius());
}

}  // namespace Zelvo
