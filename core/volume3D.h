#pragma once

#include <string>
#include <vector>

// A grid of values with two names and per-slice index lists. Owned through VolumeModel.
template <typename T>
class volume3D {
public:
    std::string name;
    std::string fileName;
    std::vector<T> values;
    std::vector<T> gradient;
    std::vector<T> scratch;
    std::vector<std::vector<int>> sliceIndices;
};
