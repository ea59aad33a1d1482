#include "KmTree.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <deque>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct PointData {
    std::string name;
    int n = 0;
    int d = 0;
    std::vector<float> values;
    const float* Row(int i) const { return values.data() + static_cast<std::size_t>(i) * d; }
};

PointData Uniform(int n, int d, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    PointData data{"uniform", n, d, {}};
    for (int i = 0; i < n * d; ++i) data.values.push_back(u(gen));
    return data;
}

PointData Clustered(int n, int d, int blobs, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> centre(-50.0f, 50.0f);
    std::normal_distribution<float> noise(0.0f, 1.5f);
    std::vector<float> centres(static_cast<std::size_t>(blobs) * d);
    for (float& c : centres) c = centre(gen);
    PointData data{"clustered", n, d, {}};
    for (int i = 0; i < n; ++i) {
        const int b = static_cast<int>(gen() % blobs);
        for (int j = 0; j < d; ++j) data.values.push_back(centres[b * d + j] + noise(gen));
    }
    return data;
}

// Few distinct points, each repeated many times.
PointData DuplicateHeavy(int n, int d, int distinct, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-5.0f, 5.0f);
    std::vector<float> pool(static_cast<std::size_t>(distinct) * d);
    for (float& v : pool) v = u(gen);
    PointData data{"duplicates", n, d, {}};
    for (int i = 0; i < n; ++i) {
        const int p = static_cast<int>(gen() % distinct);
        for (int j = 0; j < d; ++j) data.values.push_back(pool[p * d + j]);
    }
    return data;
}

double DistSq(const float* a, const float* b, int d)
{
    double s = 0;
    for (int j = 0; j < d; ++j) {
        const double diff = static_cast<double>(a[j]) - b[j];
        s += diff * diff;
    }
    return s;
}

// Returns the queued values in order, then the fallback value forever.
class ScriptedRandom {
public:
    ScriptedRandom(std::deque<int> values, int fallback = 12345) : m_values(std::move(values)), m_fallback(fallback) {}
    int operator()()
    {
        ++calls;
        if (m_values.empty()) return m_fallback;
        const int v = m_values.front();
        m_values.pop_front();
        return v;
    }
    int calls = 0;

private:
    std::deque<int> m_values;
    int m_fallback;
};

// Checks the structural promises of every node against the points themselves and counts
// the leaves.
void CheckNodes(const KmTree& tree, const PointData& data, int* leaves)
{
    const int d = data.d;
    const std::vector<KmTree::NodeInfo> nodes = tree.Nodes();
    *leaves = 0;
    std::map<std::pair<int, int>, std::size_t> byRun;
    for (std::size_t i = 0; i < nodes.size(); ++i) byRun[{nodes[i].firstPosition, nodes[i].pointCount}] = i;
    EXPECT_EQ(byRun.size(), nodes.size());  // no run twice
    auto vectorsOf = [&](const KmTree::NodeInfo& node, std::vector<float>& median, std::vector<float>& radius,
                         std::vector<float>& sum) {
        median.assign(d, 0);
        radius.assign(d, 0);
        sum.assign(d, 0);
        EXPECT_TRUE(tree.NodeVectors(node, median.data(), radius.data(), sum.data()));
    };
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const KmTree::NodeInfo& node = nodes[i];
        SCOPED_TRACE("node at " + std::to_string(node.firstPosition) + " of " + std::to_string(node.pointCount));
        const int first = node.firstPosition;
        const int end = first + node.pointCount;
        std::vector<float> median, radius, sum;
        vectorsOf(node, median, radius, sum);
        std::vector<double> mean(d, 0.0);
        std::vector<float> low(data.Row(tree.PointIndexAt(first)), data.Row(tree.PointIndexAt(first)) + d);
        std::vector<float> high = low;
        for (int pos = first; pos < end; ++pos) {
            const float* p = data.Row(tree.PointIndexAt(pos));
            for (int j = 0; j < d; ++j) {
                EXPECT_EQ(tree.PointAt(pos)[j], p[j]);
                low[j] = std::min(low[j], p[j]);
                high[j] = std::max(high[j], p[j]);
                mean[j] += p[j];
            }
        }
        const bool leaf = node.upperFirst < 0;
        // The box is the tight bounding box of the points, to the last bit.
        for (int j = 0; j < d; ++j) {
            EXPECT_EQ(median[j], leaf ? low[j] : (low[j] + high[j]) * 0.5f) << "dimension " << j;
            EXPECT_EQ(radius[j], (high[j] - low[j]) * 0.5f) << "dimension " << j;
        }
        double opt = 0;
        for (int j = 0; j < d; ++j) mean[j] /= node.pointCount;
        for (int pos = first; pos < end; ++pos) {
            const float* p = data.Row(tree.PointIndexAt(pos));
            for (int j = 0; j < d; ++j) opt += (p[j] - mean[j]) * (p[j] - mean[j]);
        }
        EXPECT_NEAR(node.optCost, opt, 1e-3 * (1 + opt));

        if (leaf) {
            ++*leaves;
            EXPECT_FALSE(node.hasRecord);
            // A leaf holds identical points only; its sum is the point times the count.
            for (int pos = first + 1; pos < end; ++pos)
                for (int j = 0; j < d; ++j) EXPECT_EQ(tree.PointAt(pos)[j], tree.PointAt(first)[j]);
            for (int j = 0; j < d; ++j) EXPECT_EQ(sum[j], tree.PointAt(first)[j] * static_cast<float>(node.pointCount));
            continue;
        }
        // Only inner nodes above the small size keep a record.
        EXPECT_EQ(node.hasRecord, node.pointCount > tree.SmallNodeSize());
        // Children in order: the lower one next, the upper one somewhere after.
        ASSERT_GT(node.upperFirst, first);
        ASSERT_LT(node.upperFirst, end);
        ASSERT_LT(i + 1, nodes.size());
        const KmTree::NodeInfo& lower = nodes[i + 1];
        EXPECT_EQ(lower.firstPosition, first);
        EXPECT_EQ(lower.pointCount, node.upperFirst - first);
        const auto upperAt = byRun.find({node.upperFirst, end - node.upperFirst});
        ASSERT_NE(upperAt, byRun.end());
        EXPECT_GT(upperAt->second, i + 1);
        // Sums are the children's added once, bit for bit, whether stored or recomputed.
        std::vector<float> m1, r1, lowerSum, m2, r2, upperSum;
        vectorsOf(lower, m1, r1, lowerSum);
        vectorsOf(nodes[upperAt->second], m2, r2, upperSum);
        for (int j = 0; j < d; ++j) EXPECT_EQ(sum[j], lowerSum[j] + upperSum[j]) << "dimension " << j;
    }
}

int CountDistinct(const PointData& data)
{
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < data.n; ++i) rows.emplace_back(data.Row(i), data.Row(i) + data.d);
    std::sort(rows.begin(), rows.end());
    return static_cast<int>(std::unique(rows.begin(), rows.end()) - rows.begin());
}

std::vector<PointData> StepDataSets()
{
    std::vector<PointData> sets;
    sets.push_back(Uniform(2000, 3, 1));
    sets.push_back(Clustered(3000, 5, 6, 2));
    sets.push_back(DuplicateHeavy(1500, 4, 25, 3));
    PointData oneD = Uniform(1000, 1, 4);
    oneD.name = "1-D";
    sets.push_back(oneD);
    PointData eightD = Clustered(2500, 8, 10, 5);
    eightD.name = "8-D";
    sets.push_back(eightD);
    // Enough dimensions for the smaller small-node size.
    PointData fortyD = Clustered(1500, 40, 7, 6);
    fortyD.name = "40-D";
    sets.push_back(fortyD);
    return sets;
}

}  // namespace

TEST(KmTree, BuildKeepsBoxesSumsCostsAndIdenticalLeaves)
{
    for (const PointData& data : StepDataSets()) {
        SCOPED_TRACE(data.name);
        KmTree tree(data.n, data.d, data.values.data());
        ASSERT_TRUE(tree.IsValid());
        std::vector<int> seen(data.n, 0);
        for (int pos = 0; pos < data.n; ++pos) ++seen[tree.PointIndexAt(pos)];
        for (int count : seen) ASSERT_EQ(count, 1);  // a permutation
        ASSERT_FALSE(tree.Nodes().empty());
        EXPECT_EQ(tree.Nodes().front().firstPosition, 0);
        EXPECT_EQ(tree.Nodes().front().pointCount, data.n);
        // Leaves are exactly the distinct points.
        int leaves = 0;
        CheckNodes(tree, data, &leaves);
        EXPECT_EQ(leaves, CountDistinct(data));
    }
}

TEST(KmTree, FilteringStepEqualsBruteForceAssignment)
{
    for (const PointData& data : StepDataSets()) {
        for (int k : {1, 7, 30}) {
            SCOPED_TRACE(data.name + " k=" + std::to_string(k));
            const int n = data.n;
            const int d = data.d;
            KmTree tree(n, d, data.values.data());
            ASSERT_TRUE(tree.IsValid());

            std::mt19937 gen(static_cast<unsigned>(k * 31 + d));
            std::uniform_real_distribution<float> jitter(-0.5f, 0.5f);
            std::vector<float> centres(static_cast<std::size_t>(k) * d);
            for (int c = 0; c < k; ++c) {
                const float* p = data.Row(static_cast<int>(gen() % n));
                for (int j = 0; j < d; ++j) centres[c * d + j] = p[j] + jitter(gen);
            }
            // Some centres enter the step invalid and must stay out of it.
            std::vector<bool> invalidOnEntry(k, false);
            if (k > 2) {
                for (int c : {1, k - 1}) {
                    KmMarkCentreInvalid(centres.data() + c * d, d);
                    invalidOnEntry[c] = true;
                }
            }
            const std::vector<float> entry = centres;

            // Brute force in double.
            std::vector<int> expectedLabels(n, -1);
            std::vector<int> expectedCounts(k, 0);
            std::vector<double> expectedSums(static_cast<std::size_t>(k) * d, 0.0);
            double expectedCost = 0;
            for (int i = 0; i < n; ++i) {
                double best = std::numeric_limits<double>::infinity();
                for (int c = 0; c < k; ++c) {
                    if (invalidOnEntry[c]) continue;
                    const double dist = DistSq(data.Row(i), entry.data() + c * d, d);
                    if (dist < best) {
                        best = dist;
                        expectedLabels[i] = c;
                    }
                }
                expectedCost += best;
                ++expectedCounts[expectedLabels[i]];
                for (int j = 0; j < d; ++j) expectedSums[expectedLabels[i] * d + j] += data.Row(i)[j];
            }

            std::vector<int> labels(n, -7);
            const float cost = tree.DoKMeansStep(k, centres.data(), labels.data());
            EXPECT_NEAR(cost, expectedCost, 1e-4 * expectedCost + 1e-3);
            EXPECT_EQ(labels, expectedLabels);
            std::vector<int> counts(k, 0);
            for (int label : labels) {
                ASSERT_GE(label, 0);
                ASSERT_LT(label, k);
                ++counts[label];
            }
            EXPECT_EQ(counts, expectedCounts);
            for (int c = 0; c < k; ++c) {
                if (expectedCounts[c] == 0) {
                    EXPECT_TRUE(KmIsCentreInvalid(centres.data() + c * d, d)) << "centre " << c;
                    continue;
                }
                for (int j = 0; j < d; ++j) {
                    const double mean = expectedSums[c * d + j] / expectedCounts[c];
                    EXPECT_NEAR(centres[c * d + j], mean, 1e-4 * (1 + std::fabs(mean))) << "centre " << c;
                }
            }

            // Without a label array the same step gives the same cost and centres.
            std::vector<float> again = entry;
            EXPECT_EQ(tree.DoKMeansStep(k, again.data(), nullptr), cost);
            EXPECT_EQ(0, std::memcmp(again.data(), centres.data(), sizeof(float) * again.size()));
        }
    }
}

TEST(KmTree, RepeatedPointsBesideASplitSiblingStayOneLeaf)
{
    // A leaf of equal points is followed by its sibling, whose own split sits at the same depth
    // a few positions on: the leaf must not take that split for its own.
    for (const std::vector<float>& values : {std::vector<float>{0, 0, 0, 10, 11, 12, 13},
                                             std::vector<float>{5, 5, 9, 1, 5, 2, 5, 3, 9, 9, 9, 4}}) {
        PointData data{"beside", static_cast<int>(values.size()), 1, values};
        KmTree tree(data.n, 1, data.values.data());
        ASSERT_TRUE(tree.IsValid());
        int leaves = 0;
        CheckNodes(tree, data, &leaves);
        EXPECT_EQ(leaves, CountDistinct(data));
    }
}

TEST(KmTree, EquidistantCentresGoToTheEarlierCandidate)
{
    const std::vector<float> points = {0, 0, 0, 0, 0, 0};
    KmTree tree(3, 2, points.data());
    ASSERT_TRUE(tree.IsValid());
    ASSERT_EQ(tree.Nodes().size(), 1u);  // all points equal: the root is a leaf
    EXPECT_EQ(tree.Nodes().front().upperFirst, -1);

    std::vector<float> centres = {1, 0, -1, 0};
    std::vector<int> labels(3, -1);
    EXPECT_FLOAT_EQ(tree.DoKMeansStep(2, centres.data(), labels.data()), 3.0f);
    EXPECT_EQ(labels, std::vector<int>({0, 0, 0}));
    EXPECT_EQ(centres[0], 0.0f);
    EXPECT_TRUE(KmIsCentreInvalid(centres.data() + 2, 2));

    // With the first centre invalid the tie falls to the next one in order.
    std::vector<float> three = {0, 0, 0, 1, 1, 0};
    KmMarkCentreInvalid(three.data(), 2);
    EXPECT_FLOAT_EQ(tree.DoKMeansStep(3, three.data(), labels.data()), 3.0f);
    EXPECT_EQ(labels, std::vector<int>({1, 1, 1}));
    EXPECT_TRUE(KmIsCentreInvalid(three.data(), 2));
    EXPECT_TRUE(KmIsCentreInvalid(three.data() + 4, 2));
}

TEST(KmTree, AdjacentFloatValuesBuildAndSplit)
{
    // Midpoints of neighbouring floats round onto the smaller value; the build must still
    // separate them and keep leaves of identical points.
    const float a = 1.0f;
    const float b = std::nextafter(a, 2.0f);
    const float c = std::nextafter(b, 2.0f);
    for (int d : {1, 3}) {
        SCOPED_TRACE(d);
        PointData data{"adjacent", 0, d, {}};
        const float pool[] = {a, b, c};
        for (int i = 0; i < 300; ++i) {
            for (int j = 0; j < d; ++j) data.values.push_back(pool[(i + j * (i / 3)) % 3]);
            ++data.n;
        }
        KmTree tree(data.n, d, data.values.data());
        ASSERT_TRUE(tree.IsValid());
        int leaves = 0;
        CheckNodes(tree, data, &leaves);
        EXPECT_EQ(leaves, CountDistinct(data));

        // A step with a centre on each distinct point: boxes a float step wide round at the
        // last place, so a point may go to a neighbouring value but never farther.
        std::vector<float> centres;
        std::vector<std::vector<float>> distinct;
        for (int i = 0; i < data.n; ++i) distinct.emplace_back(data.Row(i), data.Row(i) + d);
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        for (const auto& row : distinct) centres.insert(centres.end(), row.begin(), row.end());
        const int k = static_cast<int>(distinct.size());
        std::vector<int> labels(data.n, -1);
        const float cost = tree.DoKMeansStep(k, centres.data(), labels.data());
        EXPECT_GE(cost, 0.0f);
        EXPECT_LT(cost, 1e-10f);
        for (int i = 0; i < data.n; ++i) {
            ASSERT_GE(labels[i], 0);
            ASSERT_LT(labels[i], k);
            for (int j = 0; j < d; ++j) ASSERT_LE(std::fabs(distinct[labels[i]][j] - data.Row(i)[j]), c - b);
        }
    }
}

TEST(KmTree, SeedingTotalsAndDistancesEqualBruteForce)
{
    // With 20 and 40 dimensions the seeding also keeps costs of small nodes between centres.
    std::vector<PointData> sets = {Clustered(3000, 8, 12, 11), Uniform(800, 1, 12), DuplicateHeavy(1200, 3, 15, 13),
                                   DuplicateHeavy(1500, 20, 40, 14), Clustered(2000, 40, 9, 15)};
    for (const PointData& data : sets) {
        SCOPED_TRACE(data.name + " d=" + std::to_string(data.d));
        const int n = data.n;
        const int d = data.d;
        KmTree tree(n, d, data.values.data());
        ASSERT_TRUE(tree.IsValid());
        const int k = 20;
        std::mt19937 gen(99);
        std::vector<float> centres(static_cast<std::size_t>(k) * d);
        std::vector<int> chosen;
        for (int c = 0; c < k; ++c) {
            chosen.push_back(static_cast<int>(gen() % n));
            std::copy(data.Row(chosen.back()), data.Row(chosen.back()) + d, centres.begin() + c * d);
        }

        tree.SeedKmppSetClusterIndex(0);
        std::vector<float> distSq(n);
        for (int pos = 0; pos < n; ++pos) distSq[pos] = KmPointDistSq(tree.PointAt(pos), centres.data(), d);

        std::vector<double> best(n);
        for (int i = 0; i < n; ++i) best[i] = DistSq(data.Row(i), centres.data(), d);
        for (int c = 1; c < k; ++c) {
            double expectedTotal = 0;
            for (int i = 0; i < n; ++i) {
                best[i] = std::min(best[i], DistSq(data.Row(i), centres.data() + c * d, d));
                expectedTotal += best[i];
            }
            const float total = tree.SeedKmppUpdateAssignment(c, centres.data(), distSq.data());
            ASSERT_NEAR(total, expectedTotal, 1e-4 * expectedTotal + 1e-4) << "after centre " << c;
            for (int pos = 0; pos < n; ++pos) {
                const double expected = best[tree.PointIndexAt(pos)];
                ASSERT_NEAR(distSq[pos], expected, 1e-4 * expected + 1e-5) << "position " << pos << " centre " << c;
            }
        }
    }
}

TEST(KmTree, FirstSeedUsesWrappedCombinationOfTwoDraws)
{
    std::vector<float> points = {10, 20, 30, 40, 50, 60, 70};
    KmTree tree(7, 1, points.data());
    ASSERT_TRUE(tree.IsValid());
    // (draw1 * 2147483647 + draw2) in 32-bit wrap-around, then a non-negative remainder.
    struct Case {
        int high;
        int low;
        int position;
    };
    const Case cases[] = {
        {0, 10, 3},                    // 10 mod 7
        {1, 0, 1},                     // 2147483647 mod 7
        {2147483647, 2147483647, 5},   // wraps to -2147483648; -2 + 7
        {3, 5, 0},                     // 6442450946 wraps to -2147483646 = -7 * 306783378
    };
    for (const Case& c : cases) {
        float centre = 0;
        ScriptedRandom random({c.high, c.low});
        ASSERT_TRUE(tree.SeedKMeansPlusPlus(1, &centre, std::ref(random)));
        EXPECT_EQ(centre, tree.PointAt(c.position)[0]) << c.high << " " << c.low;
        EXPECT_EQ(random.calls, 2);
    }
}

TEST(KmTree, SecondSeedFollowsSquaredDistanceWeights)
{
    // Points 0, 1 and 3 with the first seed on 0: the second lands on 1 and 3 in the ratio 1 : 9.
    const std::vector<float> points = {0, 1, 3};
    KmTree tree(3, 1, points.data());
    ASSERT_TRUE(tree.IsValid());
    int zeroPos = -1;
    for (int pos = 0; pos < 3; ++pos)
        if (tree.PointAt(pos)[0] == 0.0f) zeroPos = pos;
    ASSERT_GE(zeroPos, 0);

    const int draws = 2000;
    int onThree = 0;
    int onOne = 0;
    for (int i = 0; i < draws; ++i) {
        const int r = static_cast<int>((static_cast<long long>(i) * 2147483647LL + 1000) / draws) + 1;
        ScriptedRandom random({0, zeroPos, r});
        float centres[2] = {-1, -1};
        ASSERT_TRUE(tree.SeedKMeansPlusPlus(2, centres, std::ref(random)));
        ASSERT_EQ(centres[0], 0.0f);
        if (centres[1] == 3.0f) ++onThree;
        else if (centres[1] == 1.0f) ++onOne;
    }
    EXPECT_EQ(onOne + onThree, draws);  // never the zero-weight point again
    EXPECT_NEAR(static_cast<double>(onThree) / draws, 0.9, 0.002);
}

TEST(KmTree, SeedDrawAlwaysEnds)
{
    const float noWeight[4] = {0, 0, 0, 0};
    ScriptedRandom large({}, 2147483647);
    // A total that no walk can reach: bounded redraws, then the fallback.
    EXPECT_EQ(KmTree::SeedDrawPosition(noWeight, 4, 1.0f, std::ref(large)), 0);
    EXPECT_LE(large.calls, 100);

    const float someWeight[4] = {0, 0, 5, 0};
    ScriptedRandom over({}, 2147483647);
    EXPECT_EQ(KmTree::SeedDrawPosition(someWeight, 4, 10.0f, std::ref(over)), 2);
    ScriptedRandom half({1073741824});
    EXPECT_EQ(KmTree::SeedDrawPosition(someWeight, 4, 5.0f, std::ref(half)), 2);
    // A zero total stops at the first position.
    ScriptedRandom any({123456});
    EXPECT_EQ(KmTree::SeedDrawPosition(noWeight, 4, 0.0f, std::ref(any)), 0);
    // A non-finite total cannot hang the walk either.
    ScriptedRandom zero({}, 0);
    const float infinite[2] = {std::numeric_limits<float>::infinity(), 1};
    const int pos = KmTree::SeedDrawPosition(infinite, 2, std::numeric_limits<float>::infinity(), std::ref(zero));
    EXPECT_GE(pos, 0);
    EXPECT_LT(pos, 2);
}

TEST(KmTree, RefusesBadInputWithALine)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> withNaN = {1, 2, nan, 4};
    const std::vector<float> withInf = {1, -inf, 3, 4};
    const std::vector<float> fine = {1, 2, 3, 4};
    struct Case {
        int n;
        int d;
        const float* points;
    };
    const Case cases[] = {{0, 2, fine.data()}, {-3, 2, fine.data()}, {2, 0, fine.data()},
                          {2, 2, nullptr}, {2, 2, withNaN.data()}, {2, 2, withInf.data()}};
    for (const Case& c : cases) {
        bool valid = true;
        const std::string out = TestSupport::CaptureStdout([&] {
            KmTree tree(c.n, c.d, c.points);
            valid = tree.IsValid();
            float centre[2] = {0, 0};
            EXPECT_EQ(tree.DoKMeansStep(1, centre, nullptr), -1.0f);
            EXPECT_FALSE(tree.SeedKMeansPlusPlus(1, centre));
        });
        EXPECT_FALSE(valid);
        EXPECT_EQ(out.rfind("Error", 0), 0u) << out;
    }

    KmTree tree(2, 2, fine.data());
    ASSERT_TRUE(tree.IsValid());
    std::vector<float> allInvalid(4);
    KmMarkCentreInvalid(allInvalid.data(), 2);
    KmMarkCentreInvalid(allInvalid.data() + 2, 2);
    const std::string out = TestSupport::CaptureStdout([&] { EXPECT_EQ(tree.DoKMeansStep(2, allInvalid.data(), nullptr), -1.0f); });
    EXPECT_EQ(out.rfind("Error", 0), 0u) << out;

    // The first bad value is named, also deep in a long input and after a later one.
    std::vector<float> long3(3 * 4000, 1.0f);
    long3[3 * 2345 + 2] = -std::numeric_limits<float>::infinity();
    long3[3 * 3999] = std::numeric_limits<float>::quiet_NaN();
    const std::string named = TestSupport::CaptureStdout([&] { EXPECT_FALSE(KmTree(4000, 3, long3.data()).IsValid()); });
    EXPECT_NE(named.find("(point 2345, dimension 2)"), std::string::npos) << named;
}
