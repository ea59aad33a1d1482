#include "MinimalEnclosingBall.h"

#include "Log.h"
#include "Miniball.h"
#include "SupportWalk.h"

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
    if (m_pointCount == 0) {
        m_radius = std::sqrt(-1.0f);  // no ball: the squared radius stays -1
        return;
    }
    // Move-to-front is fastest in few dimensions but grows exponentially with the support
    // size; beyond that the support walk gives the same ball in polynomial time.
    if (m_dimension <= kMoveToFrontMaxDimension) {
        const Miniball::Miniball ball(m_data, m_pointCount, m_dimension);
        m_radius = std::sqrt(ball.squared_radius());
    } else {
        const Miniball::SupportWalk ball(m_data, m_pointCount, m_dimension);
        m_radius = float(std::sqrt(ball.squared_radius()));
    }
}

}  // namespace Zelvo
