#pragma once

#include <vector>

// A series of grids in one value buffer with its four extents. Owned through VolumeModel.
template <typename T>
class volume4D {
public:
    std::vector<T> values;
    std::vector<int> extentX;
    std::vector<int> extentY;
    std::vector<int> extentZ;
    std::vector<int> extentT;
};
