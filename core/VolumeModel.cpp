#include "VolumeModel.h"

#include "Log.h"

namespace Zelvo {

VolumeModel::~VolumeModel()
{
    // The volume list first, then the current volume, then the series.
    m_volumes.clear();
    m_currentVolume.reset();
    m_volume4D.reset();
}

bool VolumeModel::SetSpatialExtent(int x, int y, int z)
{
    if (x < 0 || y < 0 || z < 0) {
        Log::Printf("Error: invalid volume size %d x %d x %d\n", x, y, z);
        return false;
    }
    // Each factor fits 31 bits, so the first product cannot overflow 64 bits; the second
    // is checked before it is formed.
    const int64_t plane = int64_t(x) * int64_t(y);
    if (plane > kMaxVoxelCount || (z > 0 && plane > kMaxVoxelCount / z)) {
        Log::Printf("Error: volume of %d x %d x %d voxels is too large\n", x, y, z);
        return false;
    }
    m_spatialX = x;
    m_spatialY = y;
    m_spatialZ = z;
    return true;
}

int64_t VolumeModel::GetVolumePointCount() const
{
    return int64_t(m_spatialX) * int64_t(m_spatialY) * int64_t(m_spatialZ);
}

}  // namespace Zelvo
