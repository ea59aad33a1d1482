#pragma once

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace Zelvo {

// A weighted edge set over node indices, as made by the neighbourhood-graph generators.
// `edges` keeps the recording order and is what gets drawn.
template <typename T>
class GraphModel {
public:
    int maxNodeIndex = 0;  // largest node index named so far (an index, not a count)
    std::map<std::pair<int, int>, T> edgeWeights;
    std::map<int, int> firstNeighbor;  // other end of the first edge each node started
    std::vector<std::pair<int, int>> edges;

    // Records (a, b) unless one end's first neighbour is already the other end.
    // An existing weight for (a, b) is kept.
    void AddEdge(int a, int b, T weight)
    {
        maxNodeIndex = std::max(maxNodeIndex, std::max(a, b));
        const auto fa = firstNeighbor.find(a);
        const auto fb = firstNeighbor.find(b);
        if ((fa != firstNeighbor.end() && fa->second == b) || (fb != firstNeighbor.end() && fb->second == a))
            return;
        if (fa == firstNeighbor.end()) firstNeighbor.emplace(a, b);
        edgeWeights.emplace(std::make_pair(a, b), weight);
        edges.emplace_back(a, b);
    }
};

}  // namespace Zelvo
