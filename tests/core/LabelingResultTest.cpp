#include "LabelingResult.h"
#include "SubspaceLoader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>


TEST(LabelingResult, ShiftsContiguousLabelsAndFillsClassesOnce)
{
    Zelvo::LabelingResult result({5, 7, 6, 5});
    EXPECT_EQ(result.GetNumOfClass(), 3);
    EXPECT_EQ(result.GetMinLabel(), 5);
    EXPECT_EQ(result.GetMaxLabel(), 7);
    EXPECT_EQ(result.GetLabels(), (std::vector<int>{0, 2, 1, 0}));
    std::vector<int>* first = result.GetAllIndicesInClass(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(*first, (std::vector<int>{0, 3}));
    EXPECT_EQ(*result.GetAllIndicesInClass(2), (std::vector<int>{1}));
    EXPECT_EQ(result.GetAllIndicesInClass(0), first);
    EXPECT_EQ(*first, (std::vector<int>{0, 3}));  // not distributed twice
    EXPECT_EQ(result.GetAllIndicesInClass(3), nullptr);
    EXPECT_EQ(result.GetAllIndicesInClass(-1), nullptr);
}

TEST(LabelingResult, GapsAreRenumberedByRankAndEmptyListsAreSafe)
{
    Zelvo::LabelingResult gaps({0, 10, 2, 10});
    EXPECT_EQ(gaps.GetNumOfClass(), 3);
    EXPECT_EQ(gaps.GetLabels(), (std::vector<int>{0, 2, 1, 2}));
    EXPECT_EQ(*gaps.GetAllIndicesInClass(2), (std::vector<int>{1, 3}));
    Zelvo::LabelingResult plain({0, 1, 1});
    EXPECT_EQ(plain.GetLabels(), (std::vector<int>{0, 1, 1}));
    Zelvo::LabelingResult empty({});
    EXPECT_EQ(empty.GetNumOfClass(), 0);
    EXPECT_EQ(empty.GetAllIndicesInClass(0), nullptr);
}

TEST(SubspaceLoader, ReadsLabelsAndOneBasisPerClass)
{
    TestSupport::TempDir dir;
    TestSupport::WriteFile(dir.file("run_labels.txt"), "1\n2\n1\n");
    TestSupport::WriteFile(dir.file("run_Sub1_Basis.csv"), "1,0\n0,1\n0,0\n");
    TestSupport::WriteFile(dir.file("run_Sub2_Basis.csv"), "0.5\n0.5\n0.7\n");
    std::unique_ptr<Zelvo::SubspaceModel> model;
    const std::string out = TestSupport::CaptureStdout(
        [&] { model = Zelvo::SubspaceLoader::LoadSubspaceModelFromFile(dir.file("run_labels.txt").c_str()); });
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetSubspaceNum(), 2);
    ASSERT_EQ(model->GetDescriptor()->bases.size(), 2u);
    EXPECT_EQ(model->GetDescriptor()->bases[0].rows(), 3);
    EXPECT_EQ(model->GetDescriptor()->bases[0].cols(), 2);
    EXPECT_EQ(model->GetDescriptor()->bases[1](2, 0), 0.7f);
    EXPECT_NE(out.find("   SubspaceDim:2\n"), std::string::npos);
    EXPECT_NE(out.find("   SubspaceDim:1\n"), std::string::npos);
}

TEST(SubspaceLoader, MissingFilesAndEmptyLabels)
{
    TestSupport::TempDir dir;
    EXPECT_EQ(Zelvo::SubspaceLoader::LoadSubspaceModelFromFile(dir.file("none_labels.txt").c_str()), nullptr);
    TestSupport::WriteFile(dir.file("x_labels.txt"), "3\n");
    std::unique_ptr<Zelvo::SubspaceModel> model;
    const std::string out = TestSupport::CaptureStdout(
        [&] { model = Zelvo::SubspaceLoader::LoadSubspaceModelFromFile(dir.file("x_labels.txt").c_str()); });
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetDescriptor()->bases[0].size(), 0);  // missing basis: empty matrix
    EXPECT_NE(out.find("Error in reading: " + dir.file("x_Sub1_Basis.csv")), std::string::npos);
    TestSupport::WriteFile(dir.file("e_labels.txt"), "");
    model = Zelvo::SubspaceLoader::LoadSubspaceModelFromFile(dir.file("e_labels.txt").c_str());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetSubspaceNum(), 0);
    EXPECT_TRUE(model->GetDescriptor()->bases.empty());
}
