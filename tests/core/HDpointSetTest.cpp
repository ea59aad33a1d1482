#include "HDpointSet.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <random>

using Zelvo::HDpointSet;

namespace {

// Three points of three dimensions; dimension 2 is constant.
//   p0 = (1, 10, 5), p1 = (3, 20, 5), p2 = (5, 60, 5)
void fillSmall(HDpointSet<float>& set, std::vector<bool> mask = {true, false, true})
{
    set.m_dimMask = std::move(mask);
    set.m_dimension = 3;
    set.m_dimLabels = {"a", "b", "c"};
    set.m_values = {1, 10, 5, 3, 20, 5, 5, 60, 5};
    set.m_spatialX = 3;
    set.m_spatialY = set.m_spatialZ = 1;
    set.UpdateDimensionMinMaxMeanVariance();
}

void fillRandom(HDpointSet<float>& set, int n, int d, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> uniform(-10.0f, 10.0f);
    set.m_dimMask.assign(d, true);
    set.m_dimension = d;
    set.m_values.resize(static_cast<size_t>(n) * d);
    for (float& v : set.m_values) v = uniform(rng);
    set.m_spatialX = n;
    set.UpdateDimensionMinMaxMeanVariance();
}

std::vector<float> packQuietly(HDpointSet<float>& set, bool regenerate = true)
{
    std::vector<float>* buffer = nullptr;
    TestSupport::CaptureStdout([&] { buffer = set.GetPackedRawDataArray(regenerate); });
    return buffer ? *buffer : std::vector<float>{-999.0f};
}

void expectNear(const std::vector<float>& actual, const std::vector<float>& expected, float tol = 1e-5f)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tol) << "entry " << i;
}

// Ranks of every point seen from i, by double-precision distance over the packed rows.
std::vector<int> bruteForceRanks(const std::vector<float>& packed, int n, int k, int i)
{
    std::vector<double> dist(n);
    for (int j = 0; j < n; ++j) {
        double s = 0;
        for (int c = 0; c < k; ++c) {
            const double diff = double(packed[i * k + c]) - packed[j * k + c];
            s += diff * diff;
        }
        dist[j] = std::sqrt(s);
    }
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return dist[a] < dist[b]; });
    std::vector<int> ranks(n);
    for (int r = 0; r < n; ++r) ranks[order[r]] = r;
    return ranks;
}

}  // namespace

TEST(HDpointSet, StatisticsArePopulationValues)
{
    HDpointSet<float> set;
    fillSmall(set);
    EXPECT_EQ(set.GetPointCount(), 3);
    expectNear(set.m_dimMin, {1, 10, 5});
    expectNear(set.m_dimMax, {5, 60, 5});
    expectNear(set.m_dimMean, {3, 30, 5});
    // Divided by N, not N - 1 (which would give 4 and 700).
    expectNear(set.m_dimVariance, {8.0f / 3.0f, 1400.0f / 3.0f, 0.0f}, 1e-3f);
}

TEST(HDpointSet, SetWithoutPointsHasZeroStatisticsAndRadius)
{
    HDpointSet<float> set;
    set.m_values = {1, 2, 3};
    EXPECT_EQ(set.GetPointCount(), 0);  // D = 0
    set.m_values.clear();
    set.m_dimMask = {true, true};
    set.UpdateDimensionMinMaxMeanVariance();
    EXPECT_EQ(set.m_dimension, 2);
    for (const auto* v : {&set.m_dimMin, &set.m_dimMax, &set.m_dimMean, &set.m_dimVariance}) {
        ASSERT_EQ(v->size(), 2u);
        EXPECT_EQ((*v)[0], 0.0f);
        EXPECT_EQ((*v)[1], 0.0f);
    }
    std::vector<float>* packed = nullptr;
    TestSupport::CaptureStdout([&] { packed = set.GetPackedRawDataArray(true); });
    ASSERT_NE(packed, nullptr);
    EXPECT_TRUE(packed->empty());
    EXPECT_EQ(set.m_averageRadius, 0.0f);
    EXPECT_TRUE(set.m_centerPoint.empty());
}

TEST(HDpointSet, PacksSelectedDimensionsInEveryState)
{
    HDpointSet<float> set;
    fillSmall(set);

    set.m_state = Zelvo::PointSetOriginal;
    expectNear(packQuietly(set), {1, 5, 3, 5, 5, 5});
    EXPECT_EQ(set.GetPackedWidth(), 2);
    EXPECT_EQ(set.GetPackedPointCount(), 3);

    // (v - mean) / sqrt(8/3) in dimension 0; constant dimension 2 gives 0.
    const float z = 2.0f / std::sqrt(8.0f / 3.0f);
    set.m_state = Zelvo::PointSetVarianceNorm;
    expectNear(packQuietly(set), {-z, 0, 0, 0, z, 0});

    set.m_state = Zelvo::PointSetMinMaxNorm;
    expectNear(packQuietly(set), {0, 0, 0.5f, 0, 1, 0});

    // Unselected dimension 1 in the normalised buffers themselves.
    ASSERT_EQ(set.m_minMaxBuffer.size(), 9u);
    EXPECT_NEAR(set.m_minMaxBuffer[1 * 3 + 1], 0.2f, 1e-6f);
    ASSERT_EQ(set.m_meanVarBuffer.size(), 9u);
    EXPECT_NEAR(set.m_meanVarBuffer[2 * 3 + 1], 30.0f / std::sqrt(1400.0f / 3.0f), 1e-5f);

    // Only dimension 1 selected.
    set.m_dimMask = {false, true, false};
    set.m_state = Zelvo::PointSetMinMaxNorm;
    expectNear(packQuietly(set), {0, 0.2f, 1});
}

TEST(HDpointSet, UnknownStatesYieldNoBuffer)
{
    HDpointSet<float> set;
    fillSmall(set);
    set.m_state = Zelvo::PointSetUnknown;
    std::vector<float>* packed = reinterpret_cast<std::vector<float>*>(1);
    TestSupport::CaptureStdout([&] { packed = set.GetPackedRawDataArray(true); });
    EXPECT_EQ(packed, nullptr);

    // No selected dimension: state 3 never meets a value and gives the empty buffer.
    set.m_dimMask = {false, false, false};
    TestSupport::CaptureStdout([&] { packed = set.GetPackedRawDataArray(true); });
    ASSERT_NE(packed, nullptr);
    EXPECT_TRUE(packed->empty());

    // States past 3 skip every dimension.
    set.m_dimMask = {true, true, true};
    set.m_state = static_cast<Zelvo::PointSetState>(7);
    TestSupport::CaptureStdout([&] { packed = set.GetPackedRawDataArray(true); });
    ASSERT_NE(packed, nullptr);
    EXPECT_TRUE(packed->empty());
}

TEST(HDpointSet, ConstantDimensionWithRoundingResidueNormalisesToZero)
{
    // Ten times 0.1 leaves a float mean a hair above 0.1 and a tiny nonzero variance.
    HDpointSet<float> set;
    set.m_dimMask = {true, true};
    for (int i = 0; i < 10; ++i) {
        set.m_values.push_back(0.1f);
        set.m_values.push_back(float(i));
    }
    set.UpdateDimensionMinMaxMeanVariance();
    set.m_state = Zelvo::PointSetVarianceNorm;
    const std::vector<float> packed = packQuietly(set);
    ASSERT_EQ(packed.size(), 20u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(packed[i * 2], 0.0f);
        EXPECT_NEAR(packed[i * 2 + 1], (i - 4.5f) / std::sqrt(8.25f), 1e-5f);
    }
}

TEST(HDpointSet, NormalisedBuffersPersistUntilResetOrResize)
{
    HDpointSet<float> set;
    fillSmall(set);
    set.generateMinMaxNormalizationBuffer();
    set.m_minMaxBuffer[0] = 42.0f;  // marker: a kept buffer is not recomputed
    set.generateMinMaxNormalizationBuffer();
    EXPECT_EQ(set.m_minMaxBuffer[0], 42.0f);
    set.ResetNormalizationBuffers();
    EXPECT_TRUE(set.m_minMaxBuffer.empty());
    EXPECT_TRUE(set.m_meanVarBuffer.empty());

    // More points than the buffer was built for: rebuilt at N x D.
    set.generateMeanVarNormalizationBuffer();
    set.m_values.insert(set.m_values.end(), {7, 70, 5});
    set.UpdateDimensionMinMaxMeanVariance();
    set.generateMeanVarNormalizationBuffer();
    ASSERT_EQ(set.m_meanVarBuffer.size(), 12u);
    EXPECT_NEAR(set.m_meanVarBuffer[9], 3.0f / std::sqrt(5.0f), 1e-5f);  // dim 0: mean 4, variance 5
}

TEST(HDpointSet, StaleBuffersAreRebuiltNotRead)
{
    HDpointSet<float> set;
    fillSmall(set);
    TestSupport::CaptureStdout([&] {  // nothing packed yet: packed on demand
        EXPECT_EQ(set.GetPackedHDpoint(1).values(), std::vector<float>({3, 5}));
    });
    packQuietly(set);
    EXPECT_EQ(set.GetPackedHDpoint(1).values(), std::vector<float>({3, 5}));
    EXPECT_EQ(set.GetPackedHDpoint(3).values(), std::vector<float>({0, 0}));
    EXPECT_EQ(set.GetPackedHDpoint(-1).values(), std::vector<float>({0, 0}));

    // Same width, other dimensions: the cached rows are for the old mask.
    set.m_dimMask = {false, true, true};
    std::string out = TestSupport::CaptureStdout([&] { set.GetPackedRawDataArray(false); });
    EXPECT_NE(out.find("Generated the packed buffer"), std::string::npos);
    expectNear(set.m_packedBuffer, {10, 5, 20, 5, 60, 5});

    // More points than packed: the rows are packed again on demand.
    set.m_values.insert(set.m_values.end(), {7, 70, 9});
    out = TestSupport::CaptureStdout([&] { EXPECT_EQ(set.GetPackedHDpoint(3).values(), std::vector<float>({70, 9})); });
    EXPECT_NE(out.find("Generated the packed buffer"), std::string::npos);
    EXPECT_EQ(set.GetPackedPointCount(), 4);
    EXPECT_EQ(set.GetPackedHDpoint(0).values(), std::vector<float>({10, 5}));

    // Another state: not the same buffer either.
    set.UpdateDimensionMinMaxMeanVariance();
    set.m_state = Zelvo::PointSetMinMaxNorm;
    TestSupport::CaptureStdout([&] { EXPECT_EQ(set.GetPackedHDpoint(3).values(), std::vector<float>({1, 1})); });
}

TEST(HDpointSet, CentreAndRadiusMatchBruteForce)
{
    HDpointSet<float> set;
    fillRandom(set, 300, 6, 7);
    set.m_dimMask = {true, false, true, true, false, true};
    const std::vector<float> packed = packQuietly(set);
    const int K = 4, N = 300;
    ASSERT_EQ(packed.size(), size_t(N * K));

    std::vector<double> centre(K, 0.0);
    for (int i = 0; i < N; ++i)
        for (int k = 0; k < K; ++k) centre[k] += packed[i * K + k];
    for (double& c : centre) c /= N;
    double radius = 0;
    for (int i = 0; i < N; ++i) {
        double s = 0;
        for (int k = 0; k < K; ++k) s += (packed[i * K + k] - centre[k]) * (packed[i * K + k] - centre[k]);
        radius += std::sqrt(s);
    }
    radius /= N;

    ASSERT_EQ(set.m_centerPoint.size(), size_t(K));
    for (int k = 0; k < K; ++k) EXPECT_NEAR(set.m_centerPoint[k], centre[k], 1e-4);
    EXPECT_NEAR(set.m_averageRadius, radius, 1e-3);
    // Packed rows come from the selected raw columns.
    EXPECT_EQ(packed[5 * K + 1], set.m_values[5 * 6 + 2]);
}

TEST(HDpointSet, RankMatrixMatchesBruteForceRanking)
{
    HDpointSet<float> set;
    fillRandom(set, 80, 5, 11);
    set.m_dimMask = {true, true, false, true, true};
    set.m_state = Zelvo::PointSetMinMaxNorm;
    const std::vector<float> packed = packQuietly(set);
    set.CalculateRankMatrix();
    ASSERT_EQ(set.m_rankMatrix.size(), 80u);
    for (int i = 0; i < 80; ++i) {
        EXPECT_EQ(set.m_rankMatrix[i], bruteForceRanks(packed, 80, 4, i)) << "row " << i;
        EXPECT_EQ(set.m_rankMatrix[i][i], 0);
    }

    // Kept while the points, mask and state stay; rebuilt when the state changes.
    set.m_rankMatrix[0][0] = -5;
    packQuietly(set);
    set.CalculateRankMatrix();
    EXPECT_EQ(set.m_rankMatrix[0][0], -5);
    set.m_state = Zelvo::PointSetOriginal;
    TestSupport::CaptureStdout([&] { set.CalculateRankMatrix(); });
    EXPECT_EQ(set.m_rankMatrix[0][0], 0);
}

TEST(HDpointSet, RankMatrixWithoutPackingPacksFirstAndRanksTiesByIndex)
{
    HDpointSet<float> set;
    fillSmall(set);
    TestSupport::CaptureStdout([&] { set.CalculateRankMatrix(); });
    // Packed rows (1, 5), (3, 5), (5, 5): point 1 is as far from 0 as from 2.
    const std::vector<std::vector<int>> expected = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}};
    EXPECT_EQ(set.m_rankMatrix, expected);
}

TEST(HDpointSet, DeletionRejectsBadListsWithoutChange)
{
    HDpointSet<float> set;
    fillSmall(set);
    const std::vector<float> packed = packQuietly(set);
    set.CalculateRankMatrix();
    const auto values = set.m_values;
    const auto ranks = set.m_rankMatrix;

    for (std::vector<int> bad : {std::vector<int>{2, 0, 3}, std::vector<int>{-1, 1}, std::vector<int>{1, 0, 1}}) {
        EXPECT_FALSE(set.DeleteHDpoints(bad));
        EXPECT_TRUE(std::is_sorted(bad.begin(), bad.end()));
        EXPECT_EQ(set.m_values, values);
        EXPECT_EQ(set.m_packedBuffer, packed);
        EXPECT_EQ(set.m_rankMatrix, ranks);
        EXPECT_EQ(set.m_spatialX, 3);
        EXPECT_NEAR(set.m_dimMean[0], 3.0f, 1e-6f);
    }

    // An empty list only refreshes the statistics.
    std::vector<int> none;
    set.m_dimMean[0] = 99.0f;
    EXPECT_TRUE(set.DeleteHDpoints(none));
    EXPECT_NEAR(set.m_dimMean[0], 3.0f, 1e-6f);
    EXPECT_EQ(set.m_values, values);
    EXPECT_EQ(set.m_packedBuffer, packed);
}

TEST(HDpointSet, DeletionRenumbersAndDropsDerivedBuffers)
{
    HDpointSet<float> set;
    fillRandom(set, 6, 3, 3);
    const auto before = set.m_values;
    set.m_state = Zelvo::PointSetMinMaxNorm;
    packQuietly(set);
    set.generateMeanVarNormalizationBuffer();
    set.CalculateRankMatrix();

    std::vector<int> doomed = {4, 0, 2};
    EXPECT_TRUE(set.DeleteHDpoints(doomed));
    EXPECT_EQ(doomed, std::vector<int>({0, 2, 4}));
    std::vector<float> expected;
    for (int i : {1, 3, 5}) expected.insert(expected.end(), before.begin() + i * 3, before.begin() + i * 3 + 3);
    EXPECT_EQ(set.m_values, expected);
    EXPECT_EQ(set.GetPointCount(), 3);
    EXPECT_EQ(set.m_spatialX, 3);

    // Statistics of the survivors.
    for (int d = 0; d < 3; ++d) {
        const float lo = std::min({expected[d], expected[3 + d], expected[6 + d]});
        const float hi = std::max({expected[d], expected[3 + d], expected[6 + d]});
        EXPECT_EQ(set.m_dimMin[d], lo);
        EXPECT_EQ(set.m_dimMax[d], hi);
    }

    EXPECT_TRUE(set.m_minMaxBuffer.empty());
    EXPECT_TRUE(set.m_meanVarBuffer.empty());
    EXPECT_TRUE(set.m_packedBuffer.empty());
    EXPECT_TRUE(set.m_centerPoint.empty());
    EXPECT_TRUE(set.m_rankMatrix.empty());
    EXPECT_EQ(set.m_averageRadius, 0.0f);

    // Repacking without regeneration reads the new rows with the new statistics.
    const std::vector<float> packed = packQuietly(set, false);
    ASSERT_EQ(packed.size(), 9u);
    for (int i = 0; i < 3; ++i)
        for (int d = 0; d < 3; ++d)
            EXPECT_NEAR(packed[i * 3 + d], (expected[i * 3 + d] - set.m_dimMin[d]) / (set.m_dimMax[d] - set.m_dimMin[d]), 1e-6f);
    set.CalculateRankMatrix();
    ASSERT_EQ(set.m_rankMatrix.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(set.m_rankMatrix[i], bruteForceRanks(packed, 3, 3, i));
}

TEST(HDpointSet, DeletionKeepsVolumeExtents)
{
    HDpointSet<float> set;
    fillSmall(set);
    set.m_kind = 1;
    set.m_spatialX = 3;
    std::vector<int> one = {1};
    EXPECT_TRUE(set.DeleteHDpoints(one));
    EXPECT_EQ(set.GetPointCount(), 2);
    EXPECT_EQ(set.m_spatialX, 3);
}

TEST(HDpointSet, SampledSetCopiesListedRows)
{
    HDpointSet<float> set;
    fillSmall(set);
    set.m_state = Zelvo::PointSetMinMaxNorm;
    set.m_computeAverageRadius = false;
    std::unique_ptr<HDpointSet<float>> sample(set.GetSampledPointSet({2, 0, 7, -1, 2}));
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->m_values, std::vector<float>({5, 60, 5, 1, 10, 5, 5, 60, 5}));
    EXPECT_EQ(sample->GetPointCount(), 3);
    EXPECT_EQ(sample->m_dimMask, set.m_dimMask);
    EXPECT_EQ(sample->m_dimLabels, set.m_dimLabels);
    EXPECT_EQ(sample->m_spatialX, 3);
    EXPECT_EQ(sample->m_state, Zelvo::PointSetOriginal);
    EXPECT_TRUE(sample->m_computeAverageRadius);
    EXPECT_TRUE(sample->m_dimMean.empty());

    std::unique_ptr<HDpointSet<float>> empty(set.GetSampledPointSet({}));
    EXPECT_EQ(empty->GetPointCount(), 0);
    EXPECT_TRUE(empty->m_values.empty());
}

TEST(HDpointSet, PackedMeanVectorIsTheMeanOfTheSelectedDimensions)
{
    HDpointSet<float> set;
    fillSmall(set);
    const std::vector<float>* means = set.GetPackedMeanVector();
    ASSERT_NE(means, nullptr);
    expectNear(*means, {3, 5});
    EXPECT_EQ(set.m_meanVarBuffer.size(), 9u);

}
