#pragma once

#include <vector>

namespace Zelvo {

// How node indices move when nodes are appended to or removed from a node list.
class GraphNodeIndexMap {
public:
    // For each position in the old-plus-added list: the new index, or -1 when removed.
    std::vector<int> forwardMap;
    // For each new index: the old index, -1 for an added node; unmapped entries hold -2 after
    // a rebuild, -1 where AddIndexMap grew the list.
    std::vector<int> reverseMap;

    // A negative position is ignored.
    void AddIndexMap(int position, int oldIndex, int newIndex);
    // Rebuilds both lists for addCount nodes inserted after addPosition (negative: none) and
    // removeCount nodes removed from removePosition on (negative: none), counted in new indices
    // after the insertion. Negative counts count as 0. Added nodes sit at positions
    // previousCount and up in the forward list.
    void AddIndexMapByAddRemoveRanges(int previousCount, int addPosition, int addCount, int removePosition,
                                      int removeCount);
};

}  // namespace Zelvo
