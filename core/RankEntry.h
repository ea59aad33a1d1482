#pragma once

namespace Zelvo {

// One entry of a rank-matrix row while it is sorted.
struct rankEntry {
    int index;
    float distance;
};

// Orders rank entries by ascending distance.
struct sortEntry {
    bool operator()(const rankEntry& a, const rankEntry& b) const { return a.distance < b.distance; }
};

}  // namespace Zelvo
