#pragma once

#include "volume3D.h"
#include "volume4D.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Zelvo {

// The volume side of a data set: the grid size and one label per voxel, plus any volume
// grids handed to it (owned).
class VolumeModel {
public:
    // Largest voxel count accepted: every voxel is also a point of the point set.
    static constexpr int64_t kMaxVoxelCount = INT32_MAX;

    VolumeModel() = default;
    ~VolumeModel();
    VolumeModel(const VolumeModel&) = delete;
    VolumeModel& operator=(const VolumeModel&) = delete;

    // Sets the grid size; the reader then sizes the labels to GetVolumePointCount(). A
    // negative extent or more than kMaxVoxelCount voxels is refused (message, unchanged).
    bool SetSpatialExtent(int x, int y, int z);
    int GetSpatialX() const { return m_spatialX; }
    int GetSpatialY() const { return m_spatialY; }
    int GetSpatialZ() const { return m_spatialZ; }
    // x * y * z.
    int64_t GetVolumePointCount() const;

    bool m_isVolume = true;
    std::vector<unsigned int> m_voxelLabels;  // one per voxel once read

    std::vector<std::unique_ptr<volume3D<float>>> m_volumes;
    std::unique_ptr<volume4D<float>> m_volume4D;
    std::unique_ptr<volume3D<float>> m_currentVolume;

private:
    int m_spatialX = 0;
    int m_spatialY = 0;
    int m_spatialZ = 0;
};

}  // namespace Zelvo
