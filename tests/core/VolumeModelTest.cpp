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
    const struct { int x, y, z; } cases[] = {
        {-1, 3, 2}, {4, -3, 2}, {4, 3, INT_MIN}, {65536, 65536, 1},
        {46341, 46341, 1},     // 2^31 + 4633 voxels
        {2, 1, 1073741824},    // 2^31 voxels
        {INT_MAX, INT_MAX, INT_MAX},
    };
    for (const auto& c : cases) {
        bool ok = true;
        const std::string out = TestSupport::CaptureStdout([&] { ok = model.SetSpatialExtent(c.x, c.y, c.z); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(out.rfind("Error", 0), 0u) << out;
        EXPECT_EQ(model.GetVolumePointCount(), 24);
        EXPECT_EQ(model.GetSpatialX(), 4);
    }
}

