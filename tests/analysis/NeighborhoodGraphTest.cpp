#include "GraphGeneratorFactory.h"
#include "GraphModel.h"
#include "GraphNodeIndexMap.h"
#include "MSTgraphGenerator.h"
#include "RNGgraphGenerator.h"
#include "TestSupport.h"
#include "distanceFunctor.h"
#include "graph/GraphTestNodes.h"
#include "kNNgraphGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

using namespace Zelvo;
using GraphTest::MakeNodes;
using GraphTest::Points;
using Edges = std::vector<std::pair<int, int>>;

namespace {

std::unique_ptr<GraphModel<float>> RunKnn(int k, const std::vector<HDpoint<float>>& points, distanceFunctor& distance)
{
    kNNgraphGenerator generator(k);
    return generator.GenerateNeighborhoodGraph(points, std::vector<bool>(), distance);
}

// Brute force: every node's min(k, n - 1) nearest others by a stable sort on distance (so the
// earlier node wins a tie), nearest first, recorded through the graph model's rules.
GraphModel<float> BruteForceKnn(int k, const std::vector<HDpoint<float>>& points, distanceFunctor distance)
{
    GraphModel<float> graph;
    const int n = int(points.size());
    for (int i = 0; i < n; ++i) {
        std::vector<std::pair<float, int>> others;
        for (int j = 0; j < n; ++j)
            if (j != i) others.push_back({distance(points[i], points[j]), j});
        std::stable_sort(others.begin(), others.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        for (int s = 0; s < std::min(k, n - 1); ++s) graph.AddEdge(i, others[s].second, others[s].first);
    }
    return graph;
}

void ExpectSameGraph(const GraphModel<float>& actual, const GraphModel<float>& expected)
{
    EXPECT_EQ(actual.edges, expected.edges);
    EXPECT_EQ(actual.edgeWeights, expected.edgeWeights);
    EXPECT_EQ(actual.firstNeighbor, expected.firstNeighbor);
    EXPECT_EQ(actual.maxNodeIndex, expected.maxNodeIndex);
}

}  // namespace

TEST(GraphModel, AddEdgeRecordsFirstNeighboursAndDropsOnlyTheirRepeats)
{
    GraphModel<float> fresh;
    EXPECT_EQ(fresh.maxNodeIndex, 0);
    fresh.AddEdge(3, 7, 2.5f);
    EXPECT_EQ(fresh.maxNodeIndex, 7);
    EXPECT_EQ(fresh.firstNeighbor.at(3), 7);
    EXPECT_EQ(fresh.firstNeighbor.count(7), 0u);

    GraphModel<float> g;
    g.AddEdge(0, 1, 1.0f);
    g.AddEdge(1, 0, 9.0f);  // 0's first neighbour is 1: dropped
    g.AddEdge(0, 2, 2.0f);
    g.AddEdge(0, 2, 5.0f);  // neither end's first neighbour is the other: drawn twice, weight kept
    g.AddEdge(2, 0, 6.0f);  // 2 starts its first edge: recorded
    g.AddEdge(0, 2, 7.0f);  // now 2's first neighbour is 0: dropped
    EXPECT_EQ(g.edges, (Edges{{0, 1}, {0, 2}, {0, 2}, {2, 0}}));
    EXPECT_EQ(g.edgeWeights.size(), 3u);
    EXPECT_EQ(g.edgeWeights.at({0, 1}), 1.0f);
    EXPECT_EQ(g.edgeWeights.at({0, 2}), 2.0f);
    EXPECT_EQ(g.edgeWeights.at({2, 0}), 6.0f);
    EXPECT_EQ(g.edgeWeights.count({1, 0}), 0u);
    EXPECT_EQ(g.firstNeighbor.at(0), 1);
    EXPECT_EQ(g.firstNeighbor.at(2), 0);
    EXPECT_EQ(g.maxNodeIndex, 2);
}

TEST(GraphNodeIndexMap, RangesFromTheUsualCases)
{
    GraphNodeIndexMap map;
    map.AddIndexMapByAddRemoveRanges(4, 3, 1, -1, 0);
    EXPECT_EQ(map.forwardMap, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(map.reverseMap, (std::vector<int>{0, 1, 2, 3, -1}));

    map.AddIndexMapByAddRemoveRanges(5, -1, 0, 1, 2);
    EXPECT_EQ(map.forwardMap, (std::vector<int>{0, -1, -1, 1, 2}));
    EXPECT_EQ(map.reverseMap, (std::vector<int>{0, 3, 4}));

    map.AddIndexMapByAddRemoveRanges(0, -1, 1, -1, 0);
    EXPECT_EQ(map.forwardMap, (std::vector<int>{-1}));
    EXPECT_EQ(map.reverseMap, (std::vector<int>{-2}));

    // Appending one node at the end of c nodes maps everything to itself.
    map.AddIndexMapByAddRemoveRanges(6, 5, 1, -1, 0);
    std::vector<int> identity(7);
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(map.forwardMap, identity);
    identity[6] = -1;
    EXPECT_EQ(map.reverseMap, identity);
}

TEST(GraphNodeIndexMap, InsertionInsideTheListKeepsIndicesDistinct)
{
    GraphNodeIndexMap map;
    map.AddIndexMapByAddRemoveRanges(3, 0, 2, -1, 0);
    EXPECT_EQ(map.forwardMap, (std::vector<int>{0, 3, 4, 1, 2}));
    EXPECT_EQ(map.reverseMap, (std::vector<int>{0, -1, -1, 1, 2}));

    // Insert then remove: every surviving new index is used exactly once.
    map.AddIndexMapByAddRemoveRanges(6, 2, 3, 4, 2);
    std::vector<int> seen;
    for (int f : map.forwardMap)
        if (f >= 0) seen.push_back(f);
    std::sort(seen.begin(), seen.end());
    std::vector<int> expected(7);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(seen, expected);
    ASSERT_EQ(map.reverseMap.size(), 7u);
    for (size_t p = 0; p < map.forwardMap.size(); ++p)
        if (map.forwardMap[p] >= 0) {
            EXPECT_EQ(map.reverseMap[map.forwardMap[p]], p < 6 ? int(p) : -1);
        }
}

TEST(GraphNodeIndexMap, NegativeCountsAndPositionsNeverSizeFromANegativeNumber)
{
    GraphNodeIndexMap map;
    map.AddIndexMapByAddRemoveRanges(-5, 3, 1, -1, 0);  // no old nodes: the added one becomes 0
    EXPECT_EQ(map.forwardMap, (std::vector<int>{0}));
    EXPECT_EQ(map.reverseMap, (std::vector<int>{-1}));

    map.AddIndexMapByAddRemoveRanges(2, -1, 0, 0, 5);  // removes more than there is
    EXPECT_EQ(map.forwardMap, (std::vector<int>{-1, -1}));
    EXPECT_TRUE(map.reverseMap.empty());

    map.AddIndexMapByAddRemoveRanges(3, 2, -4, -1, -2);
    EXPECT_EQ(map.forwardMap, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(map.reverseMap, (std::vector<int>{0, 1, 2}));

    GraphNodeIndexMap grown;
    grown.AddIndexMap(-1, 4, 4);  // ignored
    EXPECT_TRUE(grown.forwardMap.empty());
    grown.AddIndexMap(2, 5, 3);
    EXPECT_EQ(grown.forwardMap, (std::vector<int>{-1, -1, 3}));
    EXPECT_EQ(grown.reverseMap, (std::vector<int>{-1, -1, -1, 5}));
    grown.AddIndexMap(0, 1, -1);
    EXPECT_EQ(grown.forwardMap, (std::vector<int>{-1, -1, 3}));
    EXPECT_EQ(grown.reverseMap.size(), 4u);
}

TEST(kNNgraphGenerator, HandCasesOnALine)
{
    distanceFunctor distance;
    auto two = RunKnn(1, Points(MakeNodes({{0.0f}, {1.0f}})), distance);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->edges, (Edges{{0, 1}}));

    auto three = RunKnn(2, Points(MakeNodes({{0.0f}, {1.0f}, {3.0f}})), distance);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->edges, (Edges{{0, 1}, {0, 2}, {1, 2}, {2, 0}}));
    EXPECT_EQ(three->edgeWeights.at({0, 2}), 3.0f);
    EXPECT_EQ(three->edgeWeights.at({2, 0}), 3.0f);
    EXPECT_EQ(three->edgeWeights.at({1, 2}), 2.0f);

    // Nodes 1 and 2 are both at distance 1 from node 0: the earlier one is linked.
    auto tie = RunKnn(1, Points(MakeNodes({{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}})), distance);
    ASSERT_NE(tie, nullptr);
    EXPECT_EQ(tie->edges.front(), (std::pair<int, int>{0, 1}));

    for (int n : {0, 1}) {
        auto empty = RunKnn(3, Points(GraphTest::RandomNodes(n, 2, 1)), distance);
        ASSERT_NE(empty, nullptr);
        EXPECT_TRUE(empty->edges.empty());
    }
}

TEST(kNNgraphGenerator, MatchesBruteForceNearestNeighbours)
{
    for (int dims : {2, 7, 20}) {
        const auto points = Points(GraphTest::RandomNodes(90, dims, 100 + dims));
        for (int k : {1, 3, 30, 89, 90, 500}) {
            distanceFunctor distance;
            auto graph = RunKnn(k, points, distance);
            ASSERT_NE(graph, nullptr);
            ExpectSameGraph(*graph, BruteForceKnn(k, points, distance));
        }
    }
}

TEST(kNNgraphGenerator, TiesMasksAndOtherDistanceTypesFollowTheFunctor)
{
    const auto grid = Points(GraphTest::GridNodes(70, 3, 5, 3));  // many ties and duplicates
    for (int type : {0, 1, 2, 3, -4}) {
        for (int k : {1, 2, 5, 69}) {
            distanceFunctor distance;
            distance.type = DistanceType(type);
            distance.mask = {true, false, true};
            auto graph = RunKnn(k, grid, distance);
            ASSERT_NE(graph, nullptr);
            ExpectSameGraph(*graph, BruteForceKnn(k, grid, distance));
        }
    }
    // A mask of another length is reset by the first distance, here and for the caller.
    distanceFunctor distance;
    distance.mask = {false};
    auto graph = RunKnn(3, grid, distance);
    EXPECT_EQ(distance.mask, std::vector<bool>(3, true));
    distanceFunctor full;
    ExpectSameGraph(*graph, BruteForceKnn(3, grid, full));
}

TEST(kNNgraphGenerator, RefusesKBelowOne)
{
    const auto points = Points(GraphTest::RandomNodes(5, 2, 3));
    for (int k : {0, -3}) {
        distanceFunctor distance;
        std::unique_ptr<GraphModel<float>> graph;
        const std::string out = TestSupport::CaptureStdout([&] { graph = RunKnn(k, points, distance); });
        EXPECT_EQ(graph, nullptr);
        EXPECT_EQ(out.rfind("Error", 0), 0u) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    }
}

