#include "IsomapEmbeddingResult.h"
#include "LaplacianEigenmapEmbeddingResult.h"
#include "LinearProjectionEmbeddingResult.h"
#include "LocalLinearEmbeddingEmbeddingResult.h"
#include "TestSupport.h"
#include "classicMDSEmbeddingResult.h"

#include <Eigen/SparseCore>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

using namespace Zelvo;

namespace {

std::unique_ptr<HDpointSet<float>> MakePointSet(const std::vector<float>& values, int d)
{
    return TestSupport::MakePackedPointSet(values, d);
}

std::vector<float>* Cost(EmbeddingResult& r, float& total, std::string* out = nullptr)
{
    std::vector<float>* v = nullptr;
    const std::string text = TestSupport::CaptureStdout([&] { v = r.GetPerPointCost(total); });
    if (out)
        *out = text;
    return v;
}

void Drag(EmbeddingResult& r, int point, float dx, float dy)
{
    std::vector<float> moved = r.modifiedPositions;
    moved[2 * point] += dx;
    moved[2 * point + 1] += dy;
    r.SetModifiedEmbeddedPosition(moved);
}

void ExpectValues(const std::vector<float>* got, const std::vector<float>& want)
{
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR((*got)[i], want[i], 1e-5) << "point " << i;
}

Eigen::SparseMatrix<float> Sparse(int n, const std::vector<Eigen::Triplet<float>>& entries)
{
    Eigen::SparseMatrix<float> m(n, n);
    m.setFromTriplets(entries.begin(), entries.end());
    return m;
}

// Four points in 3-D: the projection onto the first two axes keeps x and y, the residual
// is the squared off-plane distance (z - mean z)^2.
class LinearProjectionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        values = {1, 2, 3, -1, 0, 4, 2, -2, 1, 0, 4, 8};
        set = MakePointSet(values, 3);
        Eigen::MatrixXf basis = Eigen::MatrixXf::Zero(3, 2);
        basis(0, 0) = 1;
        basis(1, 1) = 1;
        Eigen::VectorXf mean(3);
        mean << 0.5f, 1.0f, 4.0f;
        std::vector<float> positions;
        for (int i = 0; i < 4; ++i) {
            positions.push_back(values[3 * i] - mean[0]);
            positions.push_back(values[3 * i + 1] - mean[1]);
        }
        TestSupport::CaptureStdout([&] {
            result = std::make_unique<LinearProjectionEmbeddingResult>(positions.data(), 2, 4, set.get(), basis,
                                                                       mean);
        });
    }

    std::vector<float> Residuals() const
    {
        std::vector<float> r;
        for (int i = 0; i < 4; ++i)
            r.push_back((values[3 * i + 2] - 4.0f) * (values[3 * i + 2] - 4.0f));
        return r;  // 1, 0, 9, 16: point 1 lies in the plane
    }

    std::vector<float> values;
    std::unique_ptr<HDpointSet<float>> set;
    std::unique_ptr<LinearProjectionEmbeddingResult> result;
};

}  // namespace

TEST_F(LinearProjectionFixture, CostIsResidualPlusDisplacement)
{
    float total = -5;
    std::vector<float>* cost = Cost(*result, total);
    ASSERT_NE(cost, nullptr);
    const std::vector<float> residuals = Residuals();
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR((*cost)[i], residuals[i], 1e-5) << i;
    EXPECT_NEAR(total, 26.0f, 1e-4);

    // A drag of (3, 4) adds 25; a tiny move is not counted but still adds its square.
    Drag(*result, 2, 3, 4);
    Drag(*result, 1, 5e-5f, 0);
    cost = Cost(*result, total);
    ASSERT_NE(cost, nullptr);
    EXPECT_NEAR((*cost)[2], residuals[2] + 25.0f, 1e-4);
    EXPECT_NEAR((*cost)[1], 2.5e-9f, 2e-11);
    EXPECT_NEAR(total, 51.0f, 1e-3);
}

TEST_F(LinearProjectionFixture, CostKeepsTheRowsItWasComputedFrom)
{
    // The shared buffer is repacked under another selection and state afterwards.
    set->m_dimMask = {true, false, false};
    set->m_state = PointSetMinMaxNorm;
    TestSupport::CaptureStdout([&] { set->GetPackedRawDataArray(true); });
    float total = 0;
    std::vector<float>* cost = Cost(*result, total);
    ASSERT_NE(cost, nullptr);
    const std::vector<float> residuals = Residuals();
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR((*cost)[i], residuals[i], 1e-5) << i;
}

TEST_F(LinearProjectionFixture, CostIsCachedUntilTheNextDrag)
{
    float total = 0;
    std::vector<float>* first = Cost(*result, total);
    ASSERT_NE(first, nullptr);
    const std::vector<float> before = *first;
    EXPECT_FALSE(result->costDirty);
    float untouched = 123.0f;
    std::vector<float>* second = Cost(*result, untouched);
    EXPECT_EQ(second, first);
    EXPECT_EQ(untouched, 123.0f);  // nothing recomputed
    Drag(*result, 0, 0, 2);
    EXPECT_TRUE(result->costDirty);
    std::vector<float>* third = Cost(*result, untouched);
    EXPECT_EQ(third, first);
    EXPECT_NEAR((*third)[0], before[0] + 4.0f, 1e-5);
    EXPECT_NEAR(untouched, 30.0f, 1e-4);
}

TEST(LinearProjectionEmbeddingResult, NonOrthonormalBasisFollowsTheFormula)
{
    const std::vector<float> values = {1, 2, 3, -1, 0, 5, 2, -2, 1};
    auto set = MakePointSet(values, 3);
    Eigen::MatrixXf basis(3, 2);
    basis << 2, 0, 0, 1, 1, 1;
    Eigen::VectorXf mean = Eigen::VectorXf::Zero(3);
    std::vector<float> positions(6, 0.0f);
    std::unique_ptr<LinearProjectionEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<LinearProjectionEmbeddingResult>(positions.data(), 2, 3, set.get(), basis, mean); });
    float total = 0;
    std::vector<float>* cost = Cost(*r, total);
    ASSERT_NE(cost, nullptr);
    for (int i = 0; i < 3; ++i) {
        double c[2] = {0, 0};
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 3; ++j)
                c[k] += values[3 * i + j] * basis(j, k);
        double e = 0;
        for (int j = 0; j < 3; ++j) {
            const double rec = c[0] * basis(j, 0) + c[1] * basis(j, 1);
            e += (values[3 * i + j] - rec) * (values[3 * i + j] - rec);
        }
        EXPECT_NEAR((*cost)[i], e, 1e-3 * e) << i;
    }
}

TEST(LinearProjectionEmbeddingResult, RefusesWhenTheBasisDoesNotFitThePackedRows)
{
    auto set = MakePointSet({1, 2, 3, 4, 5, 6}, 3);
    Eigen::MatrixXf basis = Eigen::MatrixXf::Identity(2, 2);  // two rows, rows are three wide
    Eigen::VectorXf mean = Eigen::VectorXf::Zero(2);
    std::vector<float> positions = {0, 0, 1, 1};
    std::unique_ptr<LinearProjectionEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<LinearProjectionEmbeddingResult>(positions.data(), 2, 2, set.get(), basis, mean); });
    float total = 7;
    std::string out;
    EXPECT_EQ(Cost(*r, total, &out), nullptr);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(total, 7);
    EXPECT_TRUE(r->costDirty);
    // A projection result has no neighbourhood operation.
    std::vector<int> selected = {0};
    std::vector<float>* v = nullptr;
    TestSupport::CaptureStdout([&] { v = r->GetSelectedPointNeighborHood(selected); });
    EXPECT_EQ(v, nullptr);
}

TEST(classicMDSEmbeddingResult, InnerProductsOfThePositionsGiveZeroStrain)
{
    std::vector<float> positions = {1, 0, -1, 2, 0, -2, 3, 1, -3, -1};
    std::unique_ptr<classicMDSEmbeddingResult> r;
    Eigen::MatrixXf B;
    {
        // The constructor centres; B must match the centred positions (already centred here).
        Eigen::Map<Eigen::Matrix<float, Eigen::Dynamic, 2, Eigen::RowMajor>> P(positions.data(), 5, 2);
        B = P * P.transpose();
    }
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<classicMDSEmbeddingResult>(positions.data(), 2, 5, nullptr, B); });
    float total = 9;
    std::vector<float>* cost = Cost(*r, total);
    ASSERT_NE(cost, nullptr);
    for (float v : *cost)
        EXPECT_NEAR(v, 0.0f, 1e-7);
    EXPECT_NEAR(total, 0.0f, 1e-6);

    // Moving point 0 by (0, 1): row 0 changes by <P0,Pj> terms, hand value below.
    Drag(*r, 0, 0, 1);
    cost = Cost(*r, total);
    ASSERT_NE(cost, nullptr);
    // P0 = (1, 1): <P0,Pj> - B_0j = yj for j != 0, and 1 for j = 0 (|P0|^2 = 2 vs 1).
    // Row 0: 1 + 4 + 4 + 1 + 1 = 11; row j: yj^2; S = sum B^2.
    double S = 0;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            const double b = double(positions[2 * i]) * positions[2 * j] +
                             double(positions[2 * i + 1]) * positions[2 * j + 1];
            S += b * b;
        }
    const double want[5] = {11, 4, 4, 1, 1};
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR((*cost)[i], want[i] / S, 1e-6) << i;
    EXPECT_NEAR(total, 21 / S, 1e-6);
}

TEST(classicMDSEmbeddingResult, ZeroInnerProductsGiveZerosAndWrongSizesAreRefused)
{
    std::vector<float> positions = {1, 0, -1, 0};
    Eigen::MatrixXf zero = Eigen::MatrixXf::Zero(2, 2);
    std::unique_ptr<classicMDSEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<classicMDSEmbeddingResult>(positions.data(), 2, 2, nullptr, zero); });
    float total = 4;
    std::vector<float>* cost = Cost(*r, total);
    ASSERT_NE(cost, nullptr);
    EXPECT_EQ(*cost, std::vector<float>(2, 0.0f));
    EXPECT_EQ(total, 0);

    Eigen::MatrixXf small = Eigen::MatrixXf::Ones(1, 1);
    std::unique_ptr<classicMDSEmbeddingResult> bad;
    TestSupport::CaptureStdout(
        [&] { bad = std::make_unique<classicMDSEmbeddingResult>(positions.data(), 2, 2, nullptr, small); });
    total = 4;
    std::string out;
    EXPECT_EQ(Cost(*bad, total, &out), nullptr);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(total, 4);
}

TEST(IsomapEmbeddingResult, MarksNeighboursOfSelectedPointsAndSkipsBadIndices)
{
    std::vector<float> positions = {0, 0, 1, 0, 0, 1, 1, 1};
    Eigen::MatrixXf B = Eigen::MatrixXf::Identity(4, 4);
    std::vector<std::vector<int>> lists = {{1, 2}, {0}, {9, -1, 3}};  // point 3 has no list
    std::unique_ptr<IsomapEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<IsomapEmbeddingResult>(positions.data(), 2, 4, nullptr, B, lists); });

    std::vector<int> selected = {0, 7, -2, 3};
    std::vector<float>* v = r->GetSelectedPointNeighborHood(selected);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, (std::vector<float>{0, 1, 1, 0}));  // selected 0 itself is not marked
    selected = {2};
    v = r->GetSelectedPointNeighborHood(selected);
    EXPECT_EQ(*v, (std::vector<float>{0, 0, 0, 1}));
    selected.clear();
    v = r->GetSelectedPointNeighborHood(selected);
    EXPECT_EQ(*v, std::vector<float>(4, 0.0f));
    // The strain is inherited.
    float total = 0;
    EXPECT_NE(Cost(*r, total), nullptr);
}

TEST(LaplacianEigenmapEmbeddingResult, WeightedSpreadOverNeighbourLists)
{
    // Points (0,0), (1,0), (0,2) before centring; differences are unchanged by centring.
    std::vector<float> positions = {0, 0, 1, 0, 0, 2};
    Eigen::SparseMatrix<float> W = Sparse(3, {{0, 1, 2.0f}, {1, 0, 2.0f}, {0, 2, 0.5f}, {2, 0, 0.5f}});
    std::unique_ptr<LaplacianEigenmapEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<LaplacianEigenmapEmbeddingResult>(positions.data(), 2, 3, nullptr, W); });
    // Point 1 lists 2 though W(1, 2) is not stored: that term is 0. Point 2 lists an index
    // out of range, which is skipped.
    r->neighborLists = {{1, 2}, {0, 2}, {0, 5}};
    float total = 0;
    std::vector<float>* cost = Cost(*r, total);
    // 0: 2 * 1 + 0.5 * 4 = 4; 1: 2 * 1 = 2; 2: 0.5 * 4 = 2.
    ExpectValues(cost, {4, 2, 2});
    EXPECT_NEAR(total, 4, 1e-5);
    Drag(*r, 1, 1, 0);  // |P0 - P1|^2 becomes 4
    cost = Cost(*r, total);
    ExpectValues(cost, {10, 8, 2});
    EXPECT_NEAR(total, 10, 1e-5);

    std::vector<int> selected = {1};
    std::vector<float>* marks = r->GetSelectedPointNeighborHood(selected);
    ASSERT_NE(marks, nullptr);
    EXPECT_EQ(*marks, (std::vector<float>{1, 0, 1}));
}

TEST(LaplacianEigenmapEmbeddingResult, RefusesAWeightMatrixOfTheWrongSize)
{
    std::vector<float> positions = {0, 0, 1, 0, 0, 2};
    Eigen::SparseMatrix<float> W = Sparse(2, {{0, 1, 1.0f}});
    std::unique_ptr<LaplacianEigenmapEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<LaplacianEigenmapEmbeddingResult>(positions.data(), 2, 3, nullptr, W); });
    r->neighborLists = {{1}, {0}, {}};
    float total = 3;
    std::string out;
    EXPECT_EQ(Cost(*r, total, &out), nullptr);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(total, 3);
}

TEST(LocalLinearEmbeddingEmbeddingResult, ReconstructionErrorUsesTheReconstructionWeights)
{
    // (0,0), (2,0), (0,2), (2,2) before centring (mean (1,1)).
    std::vector<float> positions = {0, 0, 2, 0, 0, 2, 2, 2};
    // Point 3 is rebuilt from 0 and 1 with weights 0.5 each; point 0 from 1 alone.
    Eigen::SparseMatrix<float> W = Sparse(4, {{3, 0, 0.5f}, {3, 1, 0.5f}, {0, 1, 1.0f}});
    Eigen::SparseMatrix<float> identity(4, 4);
    identity.setIdentity();
    Eigen::SparseMatrix<float> M = Eigen::SparseMatrix<float>((identity - W).transpose() * (identity - W));
    std::unique_ptr<LocalLinearEmbeddingEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<LocalLinearEmbeddingEmbeddingResult>(positions.data(), 2, 4, nullptr, M, W); });
    r->neighborLists = {{1}, {}, {7}, {0, 1}};

    // Centred: P0 = (-1,-1), P1 = (1,-1), P2 = (-1,1), P3 = (1,1).
    // z0 = P0 - P1 = (-2, 0): 4. z1 = P1: 2. z2 = P2 (index 7 skipped): 2.
    // z3 = P3 - 0.5 (P0 + P1) = (1, 2): 5. The decomposed matrix would give other values.
    float total = 0;
    std::vector<float>* cost = Cost(*r, total);
    ExpectValues(cost, {4, 2, 2, 5});
    EXPECT_FLOAT_EQ(total, 13);

    // Dragging point 3 onto the midpoint of 0 and 1, (0, -1), removes its error.
    Drag(*r, 3, -1, -2);
    cost = Cost(*r, total);
    EXPECT_FLOAT_EQ((*cost)[3], 0.0f);
    EXPECT_FLOAT_EQ(total, 8);
    // Highlighting is inherited from the Laplacian-eigenmap result.
    std::vector<int> selected = {3};
    EXPECT_EQ(*r->GetSelectedPointNeighborHood(selected), (std::vector<float>{1, 1, 0, 0}));
}

TEST(LocalLinearEmbeddingEmbeddingResult, RefusesMissingReconstructionWeights)
{
    std::vector<float> positions = {0, 0, 2, 0};
    Eigen::SparseMatrix<float> M = Sparse(2, {{0, 0, 1.0f}, {1, 1, 1.0f}});
    Eigen::SparseMatrix<float> W;
    std::unique_ptr<LocalLinearEmbeddingEmbeddingResult> r;
    TestSupport::CaptureStdout(
        [&] { r = std::make_unique<LocalLinearEmbeddingEmbeddingResult>(positions.data(), 2, 2, nullptr, M, W); });
    r->neighborLists = {{1}, {0}};
    float total = 6;
    std::string out;
    EXPECT_EQ(Cost(*r, total, &out), nullptr);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(total, 6);
}

