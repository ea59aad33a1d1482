#include "distanceFunctor.h"

#include <gtest/gtest.h>

#include <cmath>

using Zelvo::distanceFunctor;
using Zelvo::HDpoint;

namespace {

HDpoint<float> point(std::vector<float> values)
{
    return HDpoint<float>(std::move(values));
}

float distance(Zelvo::DistanceType type, std::vector<bool> mask, const HDpoint<float>& a, const HDpoint<float>& b)
{
    distanceFunctor f{type, std::move(mask)};
    return f(a, b);
}

}  // namespace

TEST(DistanceFunctor, EuclideanAndManhattanOverTheMask)
{
    const auto a = point({0, 0, 0});
    const auto b = point({3, 4, 12});
    EXPECT_FLOAT_EQ(distance(Zelvo::DistanceEuclidean, {true, true, true}, a, b), 13.0f);
    EXPECT_FLOAT_EQ(distance(Zelvo::DistanceEuclidean, {true, true, false}, a, b), 5.0f);
    EXPECT_FLOAT_EQ(distance(Zelvo::DistanceManhattan, {true, true, true}, a, b), 19.0f);
    EXPECT_FLOAT_EQ(distance(Zelvo::DistanceManhattan, {false, true, true}, b, a), 16.0f);
    // All bits clear.
    EXPECT_EQ(distance(Zelvo::DistanceEuclidean, {false, false, false}, a, b), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistanceManhattan, {false, false, false}, a, b), 0.0f);
}

TEST(DistanceFunctor, SumsAccumulateInDouble)
{
    // 4096^2 = 2^24: a float sum would swallow each following +1.
    std::vector<float> av(1001, 0.0f), bv(1001, 1.0f);
    bv[0] = 4096.0f;
    const auto a = point(av), b = point(bv);
    EXPECT_FLOAT_EQ(distance(Zelvo::DistanceEuclidean, {}, a, b), static_cast<float>(std::sqrt(16777216.0 + 1000.0)));
    bv[0] = 16777216.0f;
    EXPECT_EQ(distance(Zelvo::DistanceManhattan, {}, a, point(bv)), 16778216.0f);
}

TEST(DistanceFunctor, MaskOfAnotherLengthIsReplacedByAllSet)
{
    distanceFunctor f{Zelvo::DistanceEuclidean, {false, false, true, true, true}};
    EXPECT_FLOAT_EQ(f(point({0, 0, 0}), point({3, 4, 12})), 13.0f);
    EXPECT_EQ(f.mask, std::vector<bool>({true, true, true}));

    // A mask of the right length is used as it is, and the copy keeps the change.
    f.mask[2] = false;
    distanceFunctor copy = f;
    EXPECT_FLOAT_EQ(copy(point({0, 0, 0}), point({3, 4, 12})), 5.0f);

    // Resized first for every type.
    distanceFunctor unknown{Zelvo::DistanceUnknown, {true}};
    EXPECT_EQ(unknown(point({1, 2}), point({1, 2})), -1.0f);
    EXPECT_EQ(unknown.mask.size(), 2u);
    distanceFunctor correlation{Zelvo::DistancePearsonCorrelation, {}};
    correlation(point({1, 2, 3, 4}), point({1, 2, 3, 4}));
    EXPECT_EQ(correlation.mask.size(), 4u);
}

TEST(DistanceFunctor, OtherTypesGiveMinusOne)
{
    const auto a = point({1, 2, 3});
    EXPECT_EQ(distance(Zelvo::DistanceUnknown, {}, a, a), -1.0f);
    EXPECT_EQ(distance(static_cast<Zelvo::DistanceType>(-1), {}, a, a), -1.0f);
    EXPECT_EQ(distance(static_cast<Zelvo::DistanceType>(17), {}, a, a), -1.0f);
}

TEST(DistanceFunctor, EmptyPoints)
{
    const HDpoint<float> none;
    EXPECT_EQ(distance(Zelvo::DistanceEuclidean, {true}, none, none), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistanceManhattan, {}, none, none), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {}, none, none), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistanceUnknown, {}, none, none), -1.0f);
}

TEST(DistanceFunctor, CorrelationDistanceIsOneMinusR)
{
    // a = (1, 2, 3, 4), b = (2, 4, 5, 9): centred (-1.5, -.5, .5, 1.5) and (-3, -1, 0, 4);
    // sum of products 11, squares 5 and 26, so r = 11 / sqrt(130).
    const auto a = point({1, 2, 3, 4});
    const auto b = point({2, 4, 5, 9});
    const double r = 11.0 / std::sqrt(130.0);
    EXPECT_NEAR(distance(Zelvo::DistancePearsonCorrelation, {}, a, b), 1.0 - r, 1e-6);
    EXPECT_NEAR(distance(Zelvo::DistancePearsonCorrelation, {}, b, a), 1.0 - r, 1e-6);

    // Over the first three coordinates: centred (-1, 0, 1) and (-5/3, 1/3, 4/3); r = 3 / sqrt(2 * 14/3).
    const double r3 = 3.0 / std::sqrt(28.0 / 3.0);
    EXPECT_NEAR(distance(Zelvo::DistancePearsonCorrelation, {true, true, true, false}, a, b), 1.0 - r3, 1e-6);

    // Scale and shift do not matter; reversed order is maximally far.
    EXPECT_NEAR(distance(Zelvo::DistancePearsonCorrelation, {}, a, point({10, 20, 30, 40})), 0.0, 1e-6);
    EXPECT_NEAR(distance(Zelvo::DistancePearsonCorrelation, {}, a, point({4, 3, 2, 1})), 2.0, 1e-6);
}

TEST(DistanceFunctor, CorrelationOfIdenticalAndConstantPoints)
{
    const auto a = point({1, 2, 3, 4});
    const auto flat = point({5, 5, 5, 5});
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {}, a, a), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {}, flat, flat), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {}, a, flat), 1.0f);
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {}, flat, a), 1.0f);
    // Equal over the selection only.
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {true, true, false, false}, a, point({1, 2, 9, 0})), 0.0f);
    EXPECT_EQ(distance(Zelvo::DistancePearsonCorrelation, {false, false, false, false}, a, flat), 0.0f);
}
