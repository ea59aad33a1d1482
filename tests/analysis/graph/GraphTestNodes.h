#pragma once

#include "GraphModel.h"
#include "GraphNodeModelInterface.h"
#include "HDpoint.h"

#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace GraphTest {

// A graph node that is just a point; its own distance is computed in double as an oracle.
class TestNode : public GraphNodeModelInterface {
public:
    explicit TestNode(std::vector<float> values) : point(std::move(values)) {}
    float DistanceFromNode(GraphNodeModelInterface* other) override
    {
        const auto* node = dynamic_cast<TestNode*>(other);
        if (!node) return -1.0f;
        double sum = 0.0;
        for (size_t d = 0; d < point.size(); ++d) {
            const double diff = double(point[d]) - double(node->point[d]);
            sum += diff * diff;
        }
        return float(std::sqrt(sum));
    }
    Zelvo::HDpoint<float> point;
};

inline std::vector<TestNode> MakeNodes(const std::vector<std::vector<float>>& rows)
{
    std::vector<TestNode> nodes;
    for (const auto& row : rows) nodes.emplace_back(row);
    return nodes;
}

inline std::vector<TestNode> RandomNodes(int n, int dims, unsigned seed, float scale = 1.0f)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, scale);
    std::vector<TestNode> nodes;
    for (int i = 0; i < n; ++i) {
        std::vector<float> v(dims);
        for (float& x : v) x = u(rng);
        nodes.emplace_back(v);
    }
    return nodes;
}

// Small integers: many equal distances, coincident points and points on lune boundaries.
inline std::vector<TestNode> GridNodes(int n, int dims, unsigned seed, int range)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> u(0, range);
    std::vector<TestNode> nodes;
    for (int i = 0; i < n; ++i) {
        std::vector<float> v(dims);
        for (float& x : v) x = float(u(rng));
        nodes.emplace_back(v);
    }
    return nodes;
}

inline std::vector<Zelvo::HDpoint<float>> Points(const std::vector<TestNode>& nodes)
{
    std::vector<Zelvo::HDpoint<float>> points;
    for (const auto& node : nodes) points.push_back(node.point);
    return points;
}

inline std::set<std::pair<int, int>> Undirected(const std::vector<std::pair<int, int>>& edges)
{
    std::set<std::pair<int, int>> set;
    for (const auto& e : edges) set.insert({std::min(e.first, e.second), std::max(e.first, e.second)});
    return set;
}

}  // namespace GraphTest
