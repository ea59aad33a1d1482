#include "TestSupport.h"
#include "VolumeModel.h"

#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

using Zelvo::VolumeModel;

static_assert(!std::is_copy_constructible_v<VolumeModel>, "a volume model owns its grids");
static_assert(!std::is_copy_assignable_v<VolumeModel>, "a volume model owns its grids");

TEST(VolumeModel, SizesAndVoxelCounts)
{
    VolumeModel model;
    EXPECT_EQ(model.GetVolumePointCount(), 0);
    EXPECT_TRUE(model.m_isVolume);
    EXPECT_TRUE(model.m_voxelLabels.empty());

    EXPECT_TRUE(model.SetSpatialExtent(4, 3, 2));
    EXPECT_EQ(model.GetVolumePointCount(), 24);
    EXPECT_EQ(model.GetSpatialX(), 4);
    EXPECT_EQ(model.GetSpatialY(), 3);
    EXPECT_EQ(model.GetSpatialZ(), 2);

    // An empty extent is a valid, empty grid even when the other sides are huge.
    EXPECT_TRUE(model.SetSpatialExtent(0, INT_MAX, INT_MAX));
    EXPECT_EQ(model.GetVolumePointCount(), 0);

    // The largest accepted grid is counted without 32-bit overflow.
    EXPECT_TRUE(model.SetSpatialExtent(INT_MAX, 1, 1));
    EXPECT_EQ(model.GetVolumePointCount(), int64_t(INT_MAX));
    EXPECT_TRUE(model.SetSpatialExtent(1, 1, INT_MAX));
    EXPECT_EQ(model.GetVolumePointCount(), VolumeModel::kMaxVoxelCount);
}

TEST(VolumeModel, BadExtentsAreRefusedAndChangeNothing)
{
    VolumeModel model;
    ASSERT_TRUE(model.SetSpatialExtent(4, 3, 2));
    const struct { int x, y, z; const char* message; } cases[] = {
        {-1, 3, 2, "Error: invalid volume size -1 x 3 x 2\n"},
        {4, -3, 2, "Error: invalid volume size 4 x -3 x 2\n"},
        {4, 3, INT_MIN, "Error: invalid volume size 4 x 3 x -2147483648\n"},
        {65536, 65536, 1, "Error: volume of 65536 x 65536 x 1 voxels is too large\n"},
        {46341, 46341, 1, "Error: volume of 46341 x 46341 x 1 voxels is too large\n"},  // 2^31 + 4633
        {2, 1, 1073741824, "Error: volume of 2 x 1 x 1073741824 voxels is too large\n"},  // 2^31
        {INT_MAX, INT_MAX, INT_MAX, "Error: volume of 2147483647 x 2147483647 x 2147483647 voxels is too large\n"},
    };
    for (const auto& c : cases) {
        bool ok = true;
        const std::string out = TestSupport::CaptureStdout([&] { ok = model.SetSpatialExtent(c.x, c.y, c.z); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(out, c.message);
        EXPECT_EQ(model.GetVolumePointCount(), 24);
        EXPECT_EQ(model.GetSpatialX(), 4);
    }
}

TEST(VolumeModel, OwnsTheGridsItIsGiven)
{
    // LeakSanitizer reports any grid that the destructor leaves behind.
    VolumeModel model;
    for (int i = 0; i < 3; ++i) {
        model.m_volumes.push_back(std::make_unique<volume3D<float>>());
        model.m_volumes.back()->values.assign(100, float(i));
    }
    model.m_currentVolume = std::make_unique<volume3D<float>>();
    model.m_volume4D = std::make_unique<volume4D<float>>();
    model.m_volume4D->values.assign(64, 1.0f);
    model.m_voxelLabels.assign(size_t(model.GetVolumePointCount()), 7u);
    EXPECT_EQ(model.m_volumes.size(), 3u);
}
