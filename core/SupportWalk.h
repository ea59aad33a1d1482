#pragma once

#include <cstddef>
#include <vector>

namespace Miniball {

// Smallest enclosing ball for many dimensions, where move-to-front grows exponentially
// with the size of the support set. The ball always encloses every point; its centre
// walks towards the circumcentre of the current support set, takes in the first point
// that the shrinking ball meets and drops support points that would pull it back, until
// the centre lies in the convex hull of its support set, which makes the ball smallest.
// Linear algebra in double over float input; the points are read in place.
class SupportWalk {
public:
    SupportWalk(const float* points, int pointCount, int dimension);

    // Squared radius; -1 for an empty point set.
    double squared_radius() const { return m_sqrRadius; }
    const std::vector<double>& center() const { return m_center; }
    int support_size() const { return int(m_support.size()); }

private:
    const float* row(int point) const { return m_points + size_t(point) * size_t(m_d); }
    void run();
    // Circumcentre of the support set and the affine weights of it; false when singular.
    bool circumcentre(std::vector<double>& centre, std::vector<double>& weights) const;

    const float* m_points;
    int m_n;
    int m_d;
    std::vector<double> m_center;
    std::vector<int> m_support;
    double m_sqrRadius = -1.0;
};

}  // namespace Miniball
