#include "EmbeddingResult.h"
#include "SquaredDistanceBlocks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <vector>

using Zelvo::EmbeddingResult;
using Zelvo::HDpointSet;

namespace {

std::unique_ptr<HDpointSet<float>> MakePointSet(const std::vector<float>& values, int d)
{
    return TestSupport::MakePackedPointSet(values, d);
}

std::vector<float> RandomValues(int count, unsigned seed, float lo = -5.0f, float hi = 5.0f)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(lo, hi);
    std::vector<float> v(count);
    for (float& x : v)
        x = dist(gen);
    return v;
}

// Squared Euclidean distances between the rows of values (n x d), in double.
Eigen::MatrixXf SquaredDistances(const std::vector<float>& values, int n, int d)
{
    Eigen::MatrixXf m(n, n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int k = 0; k < d; ++k) {
                const double diff = double(values[i * d + k]) - values[j * d + k];
                s += diff * diff;
            }
            m(i, j) = static_cast<float>(s);
        }
    }
    return m;
}

// Quiet construction: the constructor and the measures may print.
std::unique_ptr<EmbeddingResult> MakeResult(std::vector<float> positions, HDpointSet<float>* set)
{
    std::unique_ptr<EmbeddingResult> r;
    TestSupport::CaptureStdout([&] {
        r = std::make_unique<EmbeddingResult>(positions.data(), 2, int(positions.size() / 2), set);
    });
    return r;
}

std::vector<float>* Distortion(EmbeddingResult& r, float& total, const std::string& name, std::string* out = nullptr)
{
    std::vector<float>* v = nullptr;
    const std::string text = TestSupport::CaptureStdout([&] { v = r.GetPerPointDistortion(total, name); });
    if (out)
        *out = text;
    return v;
}

// Independent double-precision versions of the measures, straight from their definitions.
struct Oracle {
    int n;
    std::vector<double> x, y;
    Eigen::MatrixXf hd;

    double D(int i, int j) const { return std::sqrt(std::max(0.0, double(hd(j, i)))); }
    double d(int i, int j) const { return std::hypot(x[i] - x[j], y[i] - y[j]); }

    std::vector<double> Stress(bool robust) const
    {
        std::vector<double> s(n, 0.0);
        double S = 0;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                const double diff = D(i, j) - d(i, j);
                s[i] += robust ? std::abs(diff) : diff * diff;
                S += robust ? D(i, j) : D(i, j) * D(i, j);
            }
        }
        for (double& v : s)
            v = S > 0 ? v / S : 0.0;
        return s;
    }

    std::vector<double> KDE(double h) const
    {
        std::vector<double> out(n);
        for (int i = 0; i < n; ++i) {
            double lo = 0, hi = 0;
            for (int j = 0; j < n; ++j) {
                lo += std::exp(-d(i, j) / (2 * h)) / h / (n * h);
                hi += std::exp(-D(i, j) / (2 * h)) / h / (n * h);
            }
            out[i] = std::abs(hi - lo);
        }
        return out;
    }
};

Oracle MakeOracle(const EmbeddingResult& r, const Eigen::MatrixXf& hd)
{
    Oracle o;
    o.n = r.pointCount;
    for (int i = 0; i < o.n; ++i) {
        o.x.push_back(r.modifiedPositions[2 * i]);
        o.y.push_back(r.modifiedPositions[2 * i + 1]);
    }
    o.hd = hd;
    return o;
}

// The K + 1 nearest of every point by full sort of double distances (no ties in random data).
std::vector<std::set<int>> NearestSets(const std::vector<double>& coords, int n, int d, int K)
{
    std::vector<std::set<int>> sets(n);
    for (int i = 0; i < n; ++i) {
        std::vector<std::pair<double, int>> order;
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int k = 0; k < d; ++k)
                s += (coords[i * d + k] - coords[j * d + k]) * (coords[i * d + k] - coords[j * d + k]);
            order.emplace_back(s, j);
        }
        std::sort(order.begin(), order.end());
        for (int r = 0; r <= std::min(n - 1, K); ++r)
            sets[i].insert(order[r].second);
    }
    return sets;
}

class DistortionFixture : public ::testing::Test {
protected:
    static constexpr int n = 40;
    static constexpr int D = 5;

    void SetUp() override
    {
        hdValues = RandomValues(n * D, 11);
        set = MakePointSet(hdValues, D);
        result = MakeResult(RandomValues(n * 2, 12, -3.0f, 3.0f), set.get());
        hd = SquaredDistances(hdValues, n, D);
        // Round-off in a squared distance can make it slightly negative.
        hd(3, 3) = -1e-6f;
        hd(7, 7) = -2e-7f;
        Eigen::MatrixXf handed = hd;
        result->SetHDSquaredDistance(std::move(handed));
        // Drag two points so the measures must read the modified positions.
        std::vector<float> moved = result->modifiedPositions;
        moved[0] += 1.5f;
        moved[11] -= 2.0f;
        result->SetModifiedEmbeddedPosition(moved);
    }

    std::vector<float> hdValues;
    std::unique_ptr<HDpointSet<float>> set;
    std::unique_ptr<EmbeddingResult> result;
    Eigen::MatrixXf hd;
};

void ExpectNear(const std::vector<float>& got, const std::vector<double>& want, double relTol)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(got[i], want[i], relTol * std::max(1e-6, std::abs(want[i]))) << "point " << i;
}

}  // namespace

TEST(EmbeddingResult, ConstructionCentresCopiesAndRecordsExtentsBeforeCentring)
{
    std::vector<float> values = {0, 0, 1, 1, 2, 2};
    auto set = MakePointSet(values, 2);
    std::vector<float> positions = {1, 10, 3, 14, 5, 12};
    auto r = MakeResult(positions, set.get());
    EXPECT_EQ(r->pointCount, 3);
    EXPECT_EQ(r->dim, 2);
    EXPECT_FLOAT_EQ(r->minX, 1);
    EXPECT_FLOAT_EQ(r->maxX, 5);
    EXPECT_FLOAT_EQ(r->minY, 10);
    EXPECT_FLOAT_EQ(r->maxY, 14);
    const std::vector<float> centred = {-2, -2, 0, 2, 2, 0};
    EXPECT_EQ(r->originalPositions, centred);
    EXPECT_EQ(r->modifiedPositions, centred);
    // The caller's buffer is copied, not adopted.
    EXPECT_EQ(positions[0], 1);
}

TEST(EmbeddingResult, DraggingKeepsComputedPositionAndRejectsWrongSizes)
{
    auto r = MakeResult({0, 0, 2, 0, 0, 4}, nullptr);
    r->costDirty = false;
    std::vector<float> shorter(r->originalPositions.size() - 1, 9.0f);
    r->SetModifiedEmbeddedPosition(shorter);
    EXPECT_EQ(r->modifiedPositions, r->originalPositions);
    EXPECT_FALSE(r->costDirty);

    std::vector<float> moved = r->originalPositions;
    moved[2] += 5;
    r->SetModifiedEmbeddedPosition(moved);
    EXPECT_EQ(r->modifiedPositions, moved);
    EXPECT_TRUE(r->costDirty);
    const Zelvo::Position2D p = r->Get2Dpoint(1);
    EXPECT_FLOAT_EQ(p.x, r->originalPositions[2]);
    EXPECT_FLOAT_EQ(p.y, r->originalPositions[3]);
    EXPECT_NE(p.x, moved[2]);
}

TEST_F(DistortionFixture, StressAndRobustMatchDoublePrecisionLoop)
{
    const Oracle o = MakeOracle(*result, hd);
    for (bool robust : {false, true}) {
        float total = 99;
        std::vector<float>* v = Distortion(*result, total, robust ? "Robust" : "Stress");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v, &result->perPointDistortion);
        const std::vector<double> want = o.Stress(robust);
        ExpectNear(*v, want, 1e-4);
        double sum = 0;
        for (double w : want)
            sum += w;
        EXPECT_NEAR(total, sum, 1e-4 * sum);
        for (float value : *v)
            EXPECT_TRUE(std::isfinite(value));
    }
}

TEST_F(DistortionFixture, KdeMatchesDoublePrecisionLoopForSeveralBandwidths)
{
    const Oracle o = MakeOracle(*result, hd);
    // 1e-18 is about the smallest bandwidth whose densities still fit a float at 40 points.
    for (float h : {3.0f, 0.7f, 12.0f, 3.0f, 1e-18f}) {
        result->kdeBandWidth = h;
        float total = -1;
        std::vector<float>* v = Distortion(*result, total, "KDE");
        ASSERT_NE(v, nullptr);
        const std::vector<double> want = o.KDE(h);
        ASSERT_EQ(v->size(), want.size());
        double sum = 0;
        for (size_t i = 0; i < want.size(); ++i) {
            // Absolute differences of two nearly equal densities: compare on the density scale.
            EXPECT_NEAR((*v)[i], want[i], 2e-6 / (h * h)) << "h " << h << " point " << i;
            sum += want[i];
        }
        EXPECT_NEAR(total, sum, 1e-4 * sum + 1e-6);
    }
}

TEST_F(DistortionFixture, CorankMatchesSetIntersectionOracle)
{
    std::vector<double> hdCoords(hdValues.begin(), hdValues.end());
    std::vector<double> lowCoords(result->modifiedPositions.begin(), result->modifiedPositions.end());
    // A count beyond the points, up to the largest a field can hold, takes every point.
    for (int K : {1, 5, 10, 39, 60, std::numeric_limits<int>::max()}) {
        result->corankK = K;
        const auto hdSets = NearestSets(hdCoords, n, D, K);
        const auto lowSets = NearestSets(lowCoords, n, 2, K);
        float total = 1234;
        std::vector<float>* v = Distortion(*result, total, "Corank");
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(v->size(), size_t(n));
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            std::vector<int> common;
            std::set_intersection(hdSets[i].begin(), hdSets[i].end(), lowSets[i].begin(), lowSets[i].end(),
                                  std::back_inserter(common));
            const float want = -float(common.size()) / float(K);
            EXPECT_FLOAT_EQ((*v)[i], want) << "K " << K << " point " << i;
            sum += want;
        }
        EXPECT_NEAR(total, sum, 1e-4 * std::abs(sum));
        // The total does not depend on what the caller's variable held.
        float again = -777;
        Distortion(*result, again, "Corank");
        EXPECT_EQ(again, total);
    }
}

TEST_F(DistortionFixture, UnknownNameTouchesNothing)
{
    float total = 42;
    result->perPointDistortion = {7.0f};
    EXPECT_EQ(Distortion(*result, total, "stress"), nullptr);
    EXPECT_EQ(Distortion(*result, total, ""), nullptr);
    EXPECT_EQ(total, 42);
    EXPECT_EQ(result->perPointDistortion, std::vector<float>{7.0f});
}

TEST_F(DistortionFixture, MeasuresRefuseInputsThatGiveNoNumber)
{
    float total = 8;
    std::string out;
    // KDE bandwidth must be finite, above 0 and large enough for the densities to fit a float.
    for (float h : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e-30f,
                    std::numeric_limits<float>::denorm_min()}) {
        result->kdeBandWidth = h;
        EXPECT_EQ(Distortion(*result, total, "KDE", &out), nullptr) << h;
        EXPECT_EQ(out.rfind("Error: KDE distortion ", 0), 0u) << out;
    }
    result->kdeBandWidth = 3.0f;
    // Corank needs K >= 1.
    for (int K : {0, -3}) {
        result->corankK = K;
        EXPECT_EQ(Distortion(*result, total, "Corank", &out), nullptr) << K;
        EXPECT_FALSE(out.empty());
    }
    EXPECT_EQ(total, 8);

    // Distance matrices of the wrong size, or none at all.
    for (Eigen::MatrixXf bad : {Eigen::MatrixXf(), Eigen::MatrixXf(Eigen::MatrixXf::Ones(n - 1, n - 1)),
                                Eigen::MatrixXf(Eigen::MatrixXf::Ones(n, n + 1))}) {
        result->SetHDSquaredDistance(std::move(bad));
        for (const char* name : {"Stress", "Robust", "KDE"}) {
            EXPECT_EQ(Distortion(*result, total, name, &out), nullptr) << name;
            EXPECT_FALSE(out.empty());
        }
    }
    EXPECT_EQ(total, 8);
}

TEST(EmbeddingResult, CorankRefusesWithoutAFittingRankMatrix)
{
    auto r = MakeResult(RandomValues(10, 3), nullptr);
    float total = 1;
    std::string out;
    EXPECT_EQ(Distortion(*r, total, "Corank", &out), nullptr);
    EXPECT_FALSE(out.empty());
    // A point set of another size than the embedding.
    auto set = MakePointSet(RandomValues(12, 4), 2);
    r->SetPointSetPointer(set.get());
    EXPECT_EQ(Distortion(*r, total, "Corank", &out), nullptr);
    EXPECT_EQ(total, 1);
}

TEST(EmbeddingResult, StressAndRobustGiveZerosWhenAllHighDimensionalDistancesVanish)
{
    auto r = MakeResult(RandomValues(20, 5), nullptr);
    r->SetHDSquaredDistance(Eigen::MatrixXf::Zero(10, 10));
    for (const char* name : {"Stress", "Robust"}) {
        float total = 3;
        std::vector<float>* v = Distortion(*r, total, name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(*v, std::vector<float>(10, 0.0f)) << name;
        EXPECT_EQ(total, 0);
    }
}

TEST(EmbeddingResult, CachedHighDimensionalSumsFollowANewMatrix)
{
    std::vector<float> values = RandomValues(30, 6);
    auto r = MakeResult(RandomValues(30, 7), nullptr);
    r->SetHDSquaredDistance(SquaredDistances(values, 15, 2));
    float first = 0, second = 0, third = 0;
    Distortion(*r, first, "Stress");
    Distortion(*r, first, "KDE");
    Eigen::MatrixXf scaled = SquaredDistances(values, 15, 2) * 4.0f;
    r->SetHDSquaredDistance(std::move(scaled));
    Distortion(*r, second, "Stress");
    const Oracle o = MakeOracle(*r, SquaredDistances(values, 15, 2) * 4.0f);
    ExpectNear(r->perPointDistortion, o.Stress(false), 1e-4);
    Distortion(*r, third, "KDE");
    ExpectNear(r->perPointDistortion, o.KDE(3.0), 1e-3);
    EXPECT_NE(first, second);
}

TEST(EmbeddingResult, OnePointAndZeroPoints)
{
    auto set = MakePointSet({1, 2, 3}, 3);
    auto one = MakeResult({4, 5}, set.get());
    one->SetHDSquaredDistance(Eigen::MatrixXf::Zero(1, 1));
    float total = 9;
    std::vector<float>* v = Distortion(*one, total, "KDE");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, std::vector<float>{0.0f});
    v = Distortion(*one, total, "Corank");
    ASSERT_NE(v, nullptr);
    EXPECT_FLOAT_EQ((*v)[0], -1.0f / 10.0f);
    EXPECT_FLOAT_EQ(total, -0.1f);

    auto emptySet = MakePointSet({}, 3);
    auto none = MakeResult({}, emptySet.get());
    EXPECT_EQ(none->pointCount, 0);
    EXPECT_EQ(none->minX, 0);
    EXPECT_EQ(none->maxY, 0);
    for (const char* name : {"Stress", "Robust", "KDE", "Corank"}) {
        total = 5;
        v = Distortion(*none, total, name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_TRUE(v->empty());
        EXPECT_EQ(total, 0);
    }
    float scale = 0;
    TestSupport::CaptureStdout([&] { scale = none->AutoScaling(false); });
    EXPECT_EQ(scale, 1.0f);
    TestSupport::CaptureStdout([&] { scale = none->AutoScaling(true); });
    EXPECT_EQ(scale, 1.0f);
    EXPECT_TRUE(none->originalPositions.empty());
}

TEST(EmbeddingResult, AutoScalingRecoversAShrunkenCopy)
{
    const int n = 50;
    const std::vector<float> values = RandomValues(n * 2, 21, 0.0f, 10.0f);
    for (bool useBall : {false, true}) {
        auto set = MakePointSet(values, 2);
        std::vector<float> shrunk(values);
        for (float& v : shrunk)
            v *= 0.01f;
        auto r = MakeResult(shrunk, set.get());
        // A drag is discarded by scaling.
        std::vector<float> moved = r->modifiedPositions;
        moved[4] += 1;
        r->SetModifiedEmbeddedPosition(moved);

        float scale = 0;
        TestSupport::CaptureStdout([&] { scale = r->AutoScaling(useBall); });
        EXPECT_NEAR(scale, 1.0f, 1e-4) << useBall;
        EXPECT_EQ(r->useMEB, useBall);
        EXPECT_EQ(r->modifiedPositions, r->originalPositions);
        // The scaled embedding is the original data, centred.
        double meanX = 0, meanY = 0;
        for (int i = 0; i < n; ++i) {
            meanX += values[2 * i];
            meanY += values[2 * i + 1];
        }
        meanX /= n;
        meanY /= n;
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(r->originalPositions[2 * i], values[2 * i] - meanX, 1e-3) << useBall << " " << i;
            EXPECT_NEAR(r->originalPositions[2 * i + 1], values[2 * i + 1] - meanY, 1e-3);
        }
        // Extents are those of the scaled positions before centring.
        float lo = values[0], hi = values[0];
        for (int i = 0; i < n; ++i) {
            lo = std::min(lo, values[2 * i]);
            hi = std::max(hi, values[2 * i]);
        }
        EXPECT_NEAR(r->maxX - r->minX, hi - lo, 1e-3);
    }
}

TEST(EmbeddingResult, AutoScalingBallUsesOnlyTheSelectedPackedDimensions)
{
    // Unit square corners in dimensions 0 and 2; dimension 1 is huge but not selected.
    std::vector<float> values = {0, 100, 0, 1, -300, 0, 0, 500, 1, 1, 0, 1};
    auto set = MakePointSet(values, 3);
    set->m_dimMask = {true, false, true};
    TestSupport::CaptureStdout([&] { set->GetPackedRawDataArray(true); });
    // A 2-D square of side 2: ball radius sqrt(2); the data ball has radius sqrt(2)/2.
    auto r = MakeResult({0, 0, 2, 0, 0, 2, 2, 2}, set.get());
    float scale = 0;
    TestSupport::CaptureStdout([&] { scale = r->AutoScaling(true); });
    EXPECT_NEAR(scale, 1.0f, 1e-4);
    EXPECT_NEAR(r->maxX - r->minX, 1.0f, 1e-4);
    EXPECT_NEAR(r->maxY - r->minY, 1.0f, 1e-4);
}

TEST(EmbeddingResult, AutoScalingLeavesPositionsWithoutUsableRadii)
{
    // Every data point equal: the high-dimensional radius is 0.
    auto set = MakePointSet({1, 1, 1, 1, 1, 1}, 2);
    auto r = MakeResult({0, 0, 3, 1, -1, 2}, set.get());
    std::vector<float> moved = r->modifiedPositions;
    moved[0] = 7;
    r->SetModifiedEmbeddedPosition(moved);
    const std::vector<float> before = r->originalPositions;
    for (bool useBall : {false, true}) {
        float scale = 0;
        TestSupport::CaptureStdout([&] { scale = r->AutoScaling(useBall); });
        EXPECT_EQ(scale, 1.0f);
        EXPECT_EQ(r->originalPositions, before);
        EXPECT_EQ(r->modifiedPositions, moved);
    }
    float ratio = 0;
    TestSupport::CaptureStdout([&] { ratio = r->GetScaleDifference(); });
    EXPECT_EQ(ratio, 1.0f);
    // Without a point set.
    auto orphan = MakeResult({0, 0, 3, 1}, nullptr);
    float scale = 0;
    TestSupport::CaptureStdout([&] { scale = orphan->AutoScaling(false); });
    EXPECT_EQ(scale, 1.0f);
    TestSupport::CaptureStdout([&] { scale = orphan->GetScaleDifference(); });
    EXPECT_EQ(scale, 1.0f);
    // All 2-D positions equal: the 2-D radius is 0.
    auto values = RandomValues(8, 9);
    auto set2 = MakePointSet(values, 2);
    auto flat = MakeResult({2, 2, 2, 2, 2, 2, 2, 2}, set2.get());
    TestSupport::CaptureStdout([&] { scale = flat->AutoScaling(false); });
    EXPECT_EQ(scale, 1.0f);
    EXPECT_EQ(flat->originalPositions, std::vector<float>(8, 0.0f));
}

TEST(EmbeddingResult, ScaleDifferenceComparesAverageRadiusWithBallRadius)
{
    // Data: square corners of side 2 around the origin, average radius sqrt(2).
    auto set = MakePointSet({-1, -1, 1, -1, -1, 1, 1, 1}, 2);
    // Embedding: unit square, ball radius sqrt(2)/2.
    auto r = MakeResult({0, 0, 1, 0, 0, 1, 1, 1}, set.get());
    const std::vector<float> before = r->originalPositions;
    float ratio = 0;
    TestSupport::CaptureStdout([&] { ratio = r->GetScaleDifference(); });
    EXPECT_NEAR(ratio, 2.0f, 1e-5);
    EXPECT_EQ(r->scale, ratio);
    EXPECT_EQ(r->originalPositions, before);
}

// A distance matrix handed over as blocks is made once, on the first measure, and gives the
// same numbers as the matrix handed over directly.
TEST_F(DistortionFixture, DistanceSourceIsComputedOnFirstUseOnly)
{
    float total = 0;
    std::vector<float> direct = *Distortion(*result, total, "Stress");

    // The matrix's columns in one block; each pass that fills them counts.
    class MatrixBlocks : public Zelvo::SquaredDistanceBlocks {
    public:
        MatrixBlocks(const Eigen::MatrixXf& matrix, int& passes) : m_matrix(matrix), m_passes(passes) {}
        int PointCount() const override { return static_cast<int>(m_matrix.cols()); }
        int BlockWidth() const override { return PointCount(); }
        size_t PassBytes() const override { return 0; }
        size_t PartBytes() const override { return 0; }
        bool BeginPass(int) override
        {
            ++m_passes;
            return true;
        }
        void EndPass() override {}
        int PartCount(int) const override { return 1; }
        bool FillPart(int, int, int, float* columns) override
        {
            std::copy(m_matrix.data(), m_matrix.data() + m_matrix.size(), columns);
            return true;
        }

    private:
        Eigen::MatrixXf m_matrix;
        int& m_passes;
    };
    int calls = 0;
    result->SetHDSquaredDistanceBlocks(std::make_unique<MatrixBlocks>(hd, calls));
    EXPECT_EQ(calls, 0);
    std::vector<float> lazy = *Distortion(*result, total, "Stress");
    EXPECT_EQ(lazy, direct);
    Distortion(*result, total, "Robust");
    EXPECT_EQ(result->GetHDSquaredDistance().rows(), hd.rows());
    EXPECT_EQ(calls, 1);
}
