#include "GraphNodeIndexMap.h"

#include <algorithm>

namespace Zelvo {

void GraphNodeIndexMap::AddIndexMap(int position, int oldIndex, int newIndex)
{
    if (position < 0) return;
    if (size_t(position) >= forwardMap.size()) forwardMap.resize(size_t(position) + 1, -1);
    forwardMap[position] = newIndex;
    if (newIndex >= 0) {
        if (size_t(newIndex) >= reverseMap.size()) reverseMap.resize(size_t(newIndex) + 1, -1);
        reverseMap[newIndex] = oldIndex;
    }
}

void GraphNodeIndexMap::AddIndexMapByAddRemoveRanges(int previousCount, int addPosition, int addCount,
                                                     int removePosition, int removeCount)
{
    previousCount = std::max(previousCount, 0);
    addCount = std::max(addCount, 0);
    removeCount = std::max(removeCount, 0);
    const int total = previousCount + addCount;

    forwardMap.assign(size_t(total), -1);
    reverseMap.assign(size_t(std::max(total - removeCount, 0)), -2);
    if (total < 1 || (addPosition < 0 && removePosition < 0)) return;

    // Added nodes go right after addPosition (at most at the end of the old list); old nodes
    // from there on move up by addCount.
    const int insertAt = std::min(addPosition + 1, previousCount);
    for (int p = 0; p < total; ++p) {
        const int oldIndex = p < previousCount ? p : -1;
        int newIndex = p;
        if (addPosition >= 0) {
            if (oldIndex < 0)
                newIndex = insertAt + (p - previousCount);
            else if (p >= insertAt)
                newIndex = p + addCount;
        }
        if (removePosition >= 0 && newIndex >= removePosition)
            newIndex = (long long)newIndex < (long long)removePosition + removeCount ? -1 : newIndex - removeCount;
        AddIndexMap(p, oldIndex, newIndex);
    }
}

}  // namespace Zelvo
