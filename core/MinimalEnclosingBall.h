#pragma once

namespace Zelvo {

// Radius of the smallest ball enclosing a packed float array (point after point).
// The points are referenced, not copied: they must stay alive and unchanged while the
// ball is computed.
class MinimalEnclosingBall {
public:
    // Up to this many dimensions the move-to-front algorithm is used, above it the
    // support walk.
    static constexpr int kMoveToFrontMaxDimension = 10;

    MinimalEnclosingBall() = default;

    void SetPoints(float* data, int pointCount, int dimension);
    // Computes the radius; does nothing without data. Zero points give NaN (no ball).
    void CalculateMinimalEnclosingBall();
    // -1 until computed.
    float GetRadius() const { return m_radius; }

private:
    int m_dimension = 0;
    int m_pointCount = 0;
    float* m_data = nullptr;  // not owned
    float m_radius = -1.0f;
};

}  // namespace Zelvo
