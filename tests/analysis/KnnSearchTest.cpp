#include "EmbeddingNeighbors.h"
#include "KnnSearch.h"
#include "LocalLinearEmbeddingEmbeddingResult.h"
#include "LocalLinearEmbeddingTapkee.h"
#include "TestSupport.h"
#include "linearKernelCallback.h"
#include "tapkeeDistCallback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using Zelvo::distanceFunctor;
using Zelvo::KnnSearch;

namespace {

// The lists of a search over the functor's n x n distance matrix: the oracle.
std::vector<std::vector<int>> ByMatrix(const std::vector<float>& values, int n, int d, distanceFunctor functor, int k)
{
    const tapkee::DistanceCallback distance = [&](int i, int j) {
        const Zelvo::HDpoint<float> a(&values[static_cast<size_t>(i) * d], d);
        const Zelvo::HDpoint<float> b(&values[static_cast<size_t>(j) * d], d);
        return functor(a, b);
    };
    Eigen::MatrixXf distances;
    EXPECT_TRUE(tapkee::PairwiseDistances(n, distance, distances));
    return tapkee::NearestNeighbors(distances, k);
}

distanceFunctor Functor(Zelvo::DistanceType type, std::vector<bool> mask)
{
    distanceFunctor functor;
    functor.type = type;
    functor.mask = std::move(mask);
    return functor;
}

}  // namespace

TEST(KnnSearch, ListsEqualTheSearchOverTheFunctorsDistanceMatrix)
{
    std::mt19937 gen(5);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_int_distribution<int> small(0, 3);
    struct Case {
        std::string name;
        int n, d, k;
        Zelvo::DistanceType type;
        std::vector<bool> mask;  // empty: every coordinate
        bool grid;               // small whole numbers: many equal distances
    };
    const std::vector<Case> cases = {
        {"3-D, tree", 700, 3, 10, Zelvo::DistanceEuclidean, {}, false},
        {"grid ties, tree", 400, 3, 12, Zelvo::DistanceEuclidean, {}, true},
        {"grid ties, Manhattan", 400, 4, 7, Zelvo::DistanceManhattan, {}, true},
        {"mask, tree", 300, 5, 5, Zelvo::DistanceEuclidean, {true, false, true, false, true}, false},
        {"mask of another length", 200, 2, 3, Zelvo::DistanceEuclidean, {false}, false},
        {"many coordinates, rows", 300, 16, 9, Zelvo::DistanceEuclidean, {}, false},
        {"grid ties, rows, Manhattan", 250, 12, 6, Zelvo::DistanceManhattan, {}, true},
        {"tiny set", 3, 2, 2, Zelvo::DistanceEuclidean, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> values(static_cast<size_t>(c.n) * c.d);
        for (float& v : values) v = c.grid ? static_cast<float>(small(gen)) : normal(gen);
        const distanceFunctor functor = Functor(c.type, c.mask);
        KnnSearch search(values.data(), c.n, c.d, functor);
        std::vector<std::vector<int>> found;
        ASSERT_TRUE(search.Find(c.k, found));
        EXPECT_EQ(found, ByMatrix(values, c.n, c.d, functor, c.k));
    }
}

TEST(KnnSearch, GivesUpWhereItCannotStandInForTheFunctor)
{
    const std::vector<float> values = {0, 0, 1, 0, 0, 2, 3, 3};
    std::vector<float> withNan = values;
    withNan[3] = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> huge = {0, 0, 3e38f, 0, 1, 1, -3e38f, 0};
    struct Case {
        const char* name;
        const std::vector<float>* values;
        distanceFunctor functor;
        int k;
    };
    const Case cases[] = {
        {"correlation distance", &values, Functor(Zelvo::DistancePearsonCorrelation, {}), 1},
        {"no coordinate selected", &values, Functor(Zelvo::DistanceEuclidean, {false, false}), 1},
        {"a value that is no number", &withNan, Functor(Zelvo::DistanceEuclidean, {}), 1},
        {"distances that overflow", &huge, Functor(Zelvo::DistanceEuclidean, {}), 1},
        {"k of n", &values, Functor(Zelvo::DistanceEuclidean, {}), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KnnSearch search(c.values->data(), 4, 2, c.functor);
        std::vector<std::vector<int>> found = {{7}};
        EXPECT_FALSE(search.Find(c.k, found));
        EXPECT_TRUE(found.empty());
    }
}

TEST(KnnSearch, LocallyLinearEmbeddingGivesTheResultOfTheMatrixSearch)
{
    // Tree and row search, each beside the library run that ranks the full distance matrix.
    for (const int d : {3, 14}) {
        SCOPED_TRACE(d);
        const int n = 260;
        std::mt19937 gen(d);
        std::normal_distribution<float> normal(0.0f, 1.0f);
        Zelvo::HDpointSet<float> set;
        set.m_dimMask.assign(d, true);
        set.m_dimMask[1] = false;
        set.m_dimension = d;
        for (int i = 0; i < n * d; ++i) set.m_values.push_back(normal(gen));
        set.UpdateDimensionMinMaxMeanVariance();
        const distanceFunctor functor = Functor(Zelvo::DistanceEuclidean, set.m_dimMask);

        std::vector<Zelvo::HDpoint<float>> points;
        for (int i = 0; i < n; ++i) points.emplace_back(&set.m_values[static_cast<size_t>(i) * d], d);
        const tapkee::TapkeeOutput oracle = tapkee::embedRange(
            points, linearKernelCallback(), tapkeeDistCallback(functor),
            {tapkee::method(tapkee::KernelLocallyLinearEmbedding), tapkee::target_dimension(2), tapkee::num_neighbors(8)});

        distanceFunctor engineFunctor = functor;
        Zelvo::LocalLinearEmbeddingTapkee engine(engineFunctor, 8);
        std::unique_ptr<Zelvo::EmbeddingResult> result;
        TestSupport::CaptureStdout([&] { result = engine.DoEmbeding(&set, 2); });
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->neighborLists, oracle.neighbors);
        const auto* lle = dynamic_cast<Zelvo::LocalLinearEmbeddingEmbeddingResult*>(result.get());
        ASSERT_NE(lle, nullptr);
        EXPECT_EQ(Eigen::MatrixXf(lle->GetWeights()), Eigen::MatrixXf(oracle.weights));
        EXPECT_EQ(result->GetHDSquaredDistance(), oracle.distanceMatrix);
    }
}
