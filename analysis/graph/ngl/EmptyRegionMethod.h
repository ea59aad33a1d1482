#pragma once

#include "EmptyRegionTest.h"
#include "NGMethod.h"

#include <vector>

namespace ngl {

// p and q are neighbours when no other valid candidate lies in the empty region of p-q
// (as the test defines it). Coincident points are never neighbours. Cost O(n^2 D) per point.
template <typename T>
class EmptyRegionMethod : public NGMethod<T> {
public:
    // The test is not owned; it must outlive the method.
    explicit EmptyRegionMethod(EmptyRegionTest<T>* test) : m_test(test) {}

    void initialize() override {}
    void destroy() override {}

    void getNeighbors(NGLPoint<T>& p, NGLPointSet<T>& points, std::vector<unsigned int>& neighbours) override
    {
        neighbours.clear();
        if (!m_test) return;
        const unsigned int D = Geometry<T>::D;
        std::vector<unsigned int> candidates;
        points.getNeighbors(p, candidates);
        std::vector<T> a(D), b(D), mid(D);
        EdgeInfo<T> edge;
        edge.a = a.data();
        edge.b = b.data();
        edge.mid = mid.data();
        for (size_t qi = 0; qi < candidates.size(); ++qi) {
            const unsigned int q = candidates[qi];
            if (q >= unsigned(points.numPoints) || !this->isValid(q)) continue;
            const NGLPoint<T>& qp = points.points[q];
            for (unsigned int d = 0; d < D; ++d) {
                a[d] = p.coords[d];
                b[d] = qp.coords[d];
                mid[d] = b[d] * T(0.5) + a[d] * T(0.5);
            }
            edge.len2 = SquaredDistance<T>(edge.a, edge.b, D);
            edge.quarter = edge.len2 * T(0.25);
            if (edge.len2 == T(0)) continue;
            bool blocked = false;
            for (size_t ri = 0; ri < candidates.size() && !blocked; ++ri) {
                const unsigned int r = candidates[ri];
                if (ri == qi || r >= unsigned(points.numPoints) || !this->isValid(r)) continue;
                blocked = m_test->contains(edge, points.points[r]) <= T(0);
            }
            if (!blocked) neighbours.push_back(q);
        }
    }

    ~EmptyRegionMethod() override = default;

private:
    EmptyRegionTest<T>* m_test;
};

}  // namespace ngl
