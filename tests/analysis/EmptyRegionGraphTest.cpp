#include "RNGgraphGenerator.h"
#include "TestSupport.h"
#include "distanceFunctor.h"
#include "graph/GraphTestNodes.h"
#include "ngl/ngl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <sstream>

using namespace Zelvo;
using GraphTest::MakeNodes;
using GraphTest::Points;
using Pairs = std::vector<unsigned int>;
using Edges = std::vector<std::pair<int, int>>;

namespace {

std::vector<float> Flatten(const std::vector<GraphTest::TestNode>& nodes)
{
    std::vector<float> flat;
    for (const auto& node : nodes) flat.insert(flat.end(), node.point.values().begin(), node.point.values().end());
    return flat;
}

// The graph through the general empty-region method with the relative-neighbour test.
Pairs ReferencePairs(const std::vector<GraphTest::TestNode>& nodes, unsigned int dims)
{
    ngl::Geometry<float>::D = dims;
    ngl::NGLPointSet<float> points(Flatten(nodes), int(nodes.size()));
    ngl::RelativeNeighbor<float> test;
    ngl::EmptyRegionMethod<float> method(&test);
    Pairs pairs;
    int pairCount = -1;
    method.getNeighborGraph(points, pairs, pairCount);
    EXPECT_EQ(size_t(pairCount) * 2, pairs.size());
    return pairs;
}

Pairs FastPairs(const std::vector<GraphTest::TestNode>& nodes, unsigned int dims)
{
    ngl::Geometry<float>::D = dims;
    ngl::NGLPointSet<float> points(Flatten(nodes), int(nodes.size()));
    Pairs pairs;
    int pairCount = -1;
    ngl::RelativeNeighborGraph(points, pairs, pairCount);
    EXPECT_EQ(size_t(pairCount) * 2, pairs.size());
    return pairs;
}

std::unique_ptr<GraphModel<float>> RunRng(const std::vector<HDpoint<float>>& points, std::vector<bool> mask)
{
    RNGgraphGenerator generator;
    distanceFunctor distance;
    return generator.GenerateNeighborhoodGraph(points, mask, distance);
}

// Brute force in double: p-q is an edge when p != q and no third node lies in the closed lune.
std::set<std::pair<int, int>> LuneOracle(std::vector<GraphTest::TestNode>& nodes)
{
    std::set<std::pair<int, int>> edges;
    const int n = int(nodes.size());
    for (int p = 0; p < n; ++p) {
        for (int q = p + 1; q < n; ++q) {
            const double pq = nodes[p].DistanceFromNode(&nodes[q]);
            if (pq == 0.0) continue;
            bool blocked = false;
            for (int r = 0; r < n && !blocked; ++r)
                blocked = r != p && r != q && nodes[r].DistanceFromNode(&nodes[p]) <= pq &&
                          nodes[r].DistanceFromNode(&nodes[q]) <= pq;
            if (!blocked) edges.insert({p, q});
        }
    }
    return edges;
}

}  // namespace

TEST(EmptyRegionMethod, HandCases)
{
    EXPECT_EQ(ReferencePairs(MakeNodes({{0}, {1}, {2}}), 1), (Pairs{0, 1, 1, 0, 1, 2, 2, 1}));

    // (3, 4) lies on the lune boundary of (0, 0)-(5, 0) and blocks it; it also blocks (0, 0)-(3, 4)
    // through (5, 0); only (5, 0)-(3, 4) stays.
    EXPECT_EQ(ReferencePairs(MakeNodes({{0, 0}, {5, 0}, {3, 4}}), 2), (Pairs{1, 2, 2, 1}));
    // Just outside the boundary it no longer blocks.
    EXPECT_EQ(ReferencePairs(MakeNodes({{0, 0}, {5, 0}, {3, 4.01f}}), 2), (Pairs{0, 1, 1, 0, 1, 2, 2, 1}));

    // A point with an exact duplicate has no neighbours at all.
    EXPECT_TRUE(ReferencePairs(MakeNodes({{0, 0}, {0, 0}, {3, 0}}), 2).empty());
    EXPECT_TRUE(ReferencePairs(MakeNodes({{0, 0}, {0, 0}}), 2).empty());

    EXPECT_TRUE(ReferencePairs(MakeNodes({{1, 2}}), 2).empty());
    EXPECT_TRUE(ReferencePairs({}, 2).empty());
    EXPECT_TRUE(ReferencePairs(MakeNodes({{1, 2}, {4, 5}}), 0).empty());  // no coordinates: all lengths 0
}

TEST(RelativeNeighbor, ContainsIsTheClosedLuneAndNaNNeverBlocks)
{
    ngl::Geometry<float>::D = 2;
    float a[] = {0, 0}, b[] = {5, 0}, mid[] = {2.5f, 0}, r1[] = {3, 4}, r2[] = {3, 4.5f}, r3[] = {2, 1};
    ngl::EdgeInfo<float> edge;
    edge.a = a;
    edge.b = b;
    edge.mid = mid;
    edge.len2 = 25;
    edge.quarter = 6.25f;
    ngl::RelativeNeighbor<float> test;
    ngl::NGLPoint<float> onBoundary(r1), outside(r2), inside(r3);
    EXPECT_EQ(test.contains(edge, onBoundary), 0.0f);
    EXPECT_GT(test.contains(edge, outside), 0.0f);
    EXPECT_EQ(test.contains(edge, inside), 10.0f - 25.0f);  // max(5 - 25, 10 - 25)
    float nanPoint[] = {std::numeric_limits<float>::quiet_NaN(), -100};
    ngl::NGLPoint<float> nan(nanPoint);
    EXPECT_FALSE(test.contains(edge, nan) <= 0.0f);
}

TEST(RelativeNeighborGraph, FastGraphIsTheMethodsGraphPairForPair)
{
    for (unsigned seed = 0; seed < 12; ++seed) {
        const unsigned dims = 1 + seed % 5;
        auto random = GraphTest::RandomNodes(40 + int(seed), int(dims), seed);
        EXPECT_EQ(FastPairs(random, dims), ReferencePairs(random, dims)) << "random, seed " << seed;
        // Small integer coordinates: ties, boundary blockers and duplicates everywhere.
        auto grid = GraphTest::GridNodes(45, int(dims), 50 + seed, 4);
        EXPECT_EQ(FastPairs(grid, dims), ReferencePairs(grid, dims)) << "grid, seed " << seed;
    }
    auto lune = MakeNodes({{0, 0}, {5, 0}, {3, 4}});
    EXPECT_EQ(FastPairs(lune, 2), (Pairs{1, 2, 2, 1}));
    EXPECT_TRUE(FastPairs(MakeNodes({{0, 0}, {0, 0}, {3, 0}}), 2).empty());
    EXPECT_TRUE(FastPairs(MakeNodes({{1}}), 1).empty());
    EXPECT_TRUE(FastPairs({}, 1).empty());
    EXPECT_TRUE(FastPairs(MakeNodes({{1, 2}, {4, 5}}), 0).empty());
    // Non-finite coordinates follow the same rules as the method.
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    auto odd = MakeNodes({{0, 0}, {inf, 0}, {1, nan}, {2, 2}, {inf, 1}, {3, 0}});
    EXPECT_EQ(FastPairs(odd, 2), ReferencePairs(odd, 2));
}

TEST(RNGgraphGenerator, MatchesTheClosedLuneOnRandomSets)
{
    for (int dims = 2; dims <= 5; ++dims) {
        auto nodes = GraphTest::RandomNodes(70, dims, 300 + dims);
        auto graph = RunRng(Points(nodes), std::vector<bool>(dims, true));
        ASSERT_NE(graph, nullptr);
        EXPECT_EQ(GraphTest::Undirected(graph->edges), LuneOracle(nodes)) << dims << " dimensions";
        for (const auto& [pair, weight] : graph->edgeWeights) EXPECT_EQ(weight, 1.0f);
        // Each edge is drawn once: its second report is caught through the first neighbours
        // or, when not, at most once more.
        EXPECT_LE(graph->edges.size(), 2 * GraphTest::Undirected(graph->edges).size());
    }
}

TEST(RNGgraphGenerator, HandCasesAndTheDimensionMask)
{
    auto line = RunRng(Points(MakeNodes({{0, 0}, {1, 0}, {2, 0}})), {true, true});
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->edges, (Edges{{0, 1}, {1, 2}}));
    EXPECT_EQ(line->edgeWeights.at({0, 1}), 1.0f);
    EXPECT_EQ(line->edgeWeights.at({1, 2}), 1.0f);

    auto lune = RunRng(Points(MakeNodes({{0, 0}, {5, 0}, {3, 4}})), {true, true});
    EXPECT_EQ(lune->edges, (Edges{{1, 2}}));

    EXPECT_TRUE(RunRng(Points(MakeNodes({{0, 0}, {0, 0}, {3, 0}})), {true, true})->edges.empty());

    // Only the selected coordinates count: the first alone puts the nodes on a line 0, 1, 2;
    // the second alone at 10, 0, 9, with node 2 in the middle.
    const auto points = Points(MakeNodes({{0, 10}, {1, 0}, {2, 9}}));
    EXPECT_EQ(RunRng(points, {true, false})->edges, (Edges{{0, 1}, {1, 2}}));
    EXPECT_EQ(RunRng(points, {false, true})->edges, (Edges{{0, 2}, {1, 2}}));
    EXPECT_TRUE(RunRng(points, {false, false})->edges.empty());
    EXPECT_TRUE(RunRng({}, {true})->edges.empty());
}

namespace {

std::set<std::pair<int, int>> EuclideanMst(std::vector<GraphTest::TestNode>& nodes)
{
    const int n = int(nodes.size());
    std::vector<double> best(n, std::numeric_limits<double>::infinity());
    std::vector<int> from(n, -1);
    std::vector<bool> inTree(n, false);
    std::set<std::pair<int, int>> edges;
    best[0] = 0;
    for (int step = 0; step < n; ++step) {
        int u = -1;
        for (int v = 0; v < n; ++v)
            if (!inTree[v] && (u < 0 || best[v] < best[u])) u = v;
        inTree[u] = true;
        if (from[u] >= 0) edges.insert({std::min(u, from[u]), std::max(u, from[u])});
        for (int v = 0; v < n; ++v) {
            const double d = nodes[u].DistanceFromNode(&nodes[v]);
            if (!inTree[v] && d < best[v]) {
                best[v] = d;
                from[v] = u;
            }
        }
    }
    return edges;
}

}  // namespace

TEST(RNGgraphGenerator, LiesBetweenTheMinimumSpanningTreeAndTheDelaunayGraph)
{
    if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no Python oracle";
    auto nodes = GraphTest::RandomNodes(300, 2, 77, 100.0f);
    TestSupport::TempDir dir;
    std::string points;
    char line[64];
    for (const auto& node : nodes) {
        std::snprintf(line, sizeof line, "%.9g %.9g\n", node.point[0], node.point[1]);
        points += line;
    }
    TestSupport::WriteFile(dir.file("points.txt"), points);
    int code = -1;
    const std::string text = TestSupport::RunPython(dir.path(),
                                                    "import numpy as np\n"
                                                    "from scipy.spatial import Delaunay\n"
                                                    "t = Delaunay(np.loadtxt('points.txt'))\n"
                                                    "e = set()\n"
                                                    "for s in t.simplices:\n"
                                                    "    for i in range(3):\n"
                                                    "        e.add(tuple(sorted((int(s[i]), int(s[(i + 1) % 3])))))\n"
                                                    "for a, b in sorted(e): print(a, b)\n",
                                                    &code);
    ASSERT_EQ(code, 0) << text;
    std::set<std::pair<int, int>> delaunay;
    std::istringstream in(text);
    int a, b;
    while (in >> a >> b) delaunay.insert({a, b});
    ASSERT_GT(delaunay.size(), nodes.size());

    auto graph = RunRng(Points(nodes), {true, true});
    const auto rng = GraphTest::Undirected(graph->edges);
    const auto mst = EuclideanMst(nodes);
    ASSERT_EQ(mst.size(), nodes.size() - 1);
    for (const auto& e : mst) EXPECT_TRUE(rng.count(e)) << "MST edge " << e.first << "-" << e.second;
    for (const auto& e : rng) EXPECT_TRUE(delaunay.count(e)) << "RNG edge " << e.first << "-" << e.second;
    EXPECT_LT(rng.size(), delaunay.size());
}
