// Deleting points of a volume and saving through the real window: what is on disk afterwards,
// and what the data set opens with. (Save As after a deletion is a row of DataSafetyJourneyTest.)
#include "HDfileIO.h"
#include "TestSupport.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using TestSupport::CaptureStdout;

namespace {

// Every file of a folder: name -> bytes.
std::map<std::string, std::string> Files(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = TestSupport::ReadFile(entry.path().string());
    return files;
}

// The window as a user drives it, and what it shows of the points.
struct Window : WindowDriver {
    explicit Window(ScriptedDialogService& dialogs) : WindowDriver(dialogs, 1600, 1000) {}
    int VisiblePoints()
    {
        int visible = 0;
        for (const Zelvo::PointGraphicsItem* item : Scene().GetPointItems()) visible += item->isVisible();
        return visible;
    }
    const std::vector<float>& Values() { return frame.GetDataProfile().GetPointSet().m_values; }
};

class VolumeDeletionTest : public ::testing::Test {
protected:
    int Warnings() const
    {
        int count = 0;
        for (const auto& call : dialogs.Calls()) count += call.kind == "warning";
        return count;
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
};

}  // namespace

// A volume's points fill its grid: Delete Points is refused with a warning, the view hides
// nothing, and after Save the data set opens with its grid and its points.
TEST_F(VolumeDeletionTest, DeletePointsOnAVolumeIsRefused)
{
    std::vector<float> values(16);
    for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<float>(k * k % 7) + 0.25f * k;
    const std::vector<unsigned int> labels = {1, 1, 2, 2, 3, 3, 4, 4};
    TestSupport::WriteFile(dir.file("v.bin"), std::string(reinterpret_cast<const char*>(values.data()), 64));
    TestSupport::WriteFile(dir.file("vl.bin"), std::string(reinterpret_cast<const char*>(labels.data()), 32));
    Zelvo::HDfileIO made;
    ASSERT_TRUE(made.CreateNewEmptyHDdataSet(dir.file("v.xml").c_str()));
    made.SetDataShape(0, 8, 2, 2, 2, 2);
    made.SetBinaryFileNames("v.bin", "", "", "vl.bin");
    made.SetDimensionProperties({true, true}, {"p", "q"});
    CaptureStdout([&] { ASSERT_TRUE(made.SaveHDdataSet()); });
    const auto before = Files(dir.path());

    Window w(dialogs);
    ASSERT_TRUE(w.Trigger("&Open...", dir.file("v.xml")));
    w.Pca();
    ASSERT_EQ(w.VisiblePoints(), 8);
    w.Delete({3});
    ASSERT_EQ(Warnings(), 1);
    EXPECT_TRUE(dialogs.Calls().back().text.contains("volume")) << dialogs.Calls().back().text.toStdString();
    EXPECT_EQ(w.VisiblePoints(), 8);
    EXPECT_EQ(w.Values(), values);

    ASSERT_TRUE(w.Trigger("&Save"));
    EXPECT_EQ(Warnings(), 1);
    EXPECT_EQ(Files(dir.path()), before);
    Window reopened(dialogs);
    ASSERT_TRUE(reopened.Trigger("&Open...", dir.file("v.xml")));
    EXPECT_EQ(reopened.Values(), values);
    EXPECT_EQ(reopened.frame.GetDataProfile().GetVolumeModel().m_voxelLabels, labels);
}
