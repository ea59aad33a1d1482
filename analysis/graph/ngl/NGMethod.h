#pragma once

#include "NGLPointSet.h"

#include <vector>

namespace ngl {

// Walks the points and collects each one's neighbours into the graph's index pairs.
// Keeps one validity flag per point; a point is never offered as its own neighbour
// because it is invalid during its own turn.
template <typename T>
class NGMethod {
public:
    virtual void initialize() {}
    virtual void destroy() {}

    virtual void createValid(int n) { m_valid.assign(n > 0 ? size_t(n) : 0, 1); }
    virtual void destroyValid() { std::vector<unsigned char>().swap(m_valid); }
    // Indices outside the flag array are ignored and read as invalid.
    virtual void invalidate(unsigned int i)
    {
        if (i < m_valid.size()) m_valid[i] = 0;
    }
    virtual void validate(unsigned int i)
    {
        if (i < m_valid.size()) m_valid[i] = 1;
    }
    virtual bool isValid(unsigned int i) { return i < m_valid.size() && m_valid[i] != 0; }

    // The neighbours of p among the valid candidates of `points`, in candidate order.
    virtual void getNeighbors(NGLPoint<T>& p, NGLPointSet<T>& points, std::vector<unsigned int>& neighbours) = 0;

    // Every point's neighbours as index pairs i, j, i, j, ... (pairCount pairs). A symmetric
    // test returns each edge from both ends.
    virtual void getNeighborGraph(NGLPointSet<T>& points, std::vector<unsigned int>& pairs, int& pairCount)
    {
        pairs.clear();
        createValid(points.numPoints);
        std::vector<unsigned int> neighbours;
        for (int i = 0; i < points.numPoints; ++i) {
            invalidate(unsigned(i));
            getNeighbors(points.points[i], points, neighbours);
            validate(unsigned(i));
            for (unsigned int j : neighbours) {
                if (j == unsigned(i)) continue;
                pairs.push_back(unsigned(i));
                pairs.push_back(j);
            }
        }
        pairCount = int(pairs.size() / 2);
        destroyValid();
    }

    virtual ~NGMethod() = default;

private:
    std::vector<unsigned char> m_valid;
};

}  // namespace ngl
