// The engines whose working set grows with the square of the point count: each refuses, in one
// line and before it allocates, when its peak would not fit the memory the process may use, and
// runs as before when it fits. The memory is faked through MemoryBudget, so nothing large is made.
#include "ClusteringResult.h"
#include "CspectralClustering.h"
#include "EmbeddingEigen.h"
#include "EmbeddingLibrary.h"
#include "EmbeddingNeighbors.h"
#include "EmbeddingResult.h"
#include "HierarchicalClustering.h"
#include "ISOMAPTapkee.h"
#include "LaplacianEigenMapTapkee.h"
#include "LocalLinearEmbeddingTapkee.h"
#include "MDSTapkee.h"
#include "MemoryBudget.h"
#include "RNGgraphGenerator.h"
#include "SpectralClustering.h"
#include "SubspaceClustering.h"

#include "TestSupport.h"

#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>

using namespace Zelvo;

namespace {

using PointSet = HDpointSet<float>;

// A gently curved sheet of 24 x 25 points: every engine finds neighbours, paths and clusters in it.
constexpr int kPoints = 600;
const double kPairs = double(kPoints) * kPoints;
constexpr size_t kMB = size_t(1) << 20;

std::vector<float> SheetValues()
{
    std::vector<float> values;
    for (int i = 0; i < kPoints; ++i) {
        const float x = float(i % 25 + 1), y = float(i / 25 + 1);
        values.insert(values.end(), {x, y, 3.0f * std::sin(x / 4.0f) + 0.01f * float(i % 7)});
    }
    return values;
}

std::unique_ptr<PointSet> Sheet()
{
    return TestSupport::MakePointSet(SheetValues(), 3);
}

distanceFunctor Functor(const PointSet& set, DistanceType type = DistanceEuclidean)
{
    distanceFunctor functor;
    functor.type = type;
    functor.mask = set.m_dimMask;
    return functor;
}

std::string Text(const EmbeddingResult* result)
{
    std::ostringstream text;
    if (result)
        for (float v : result->originalPositions) text << v << ' ';
    return text.str();
}

std::string Text(ClusteringResult* result)
{
    return result ? result->GetSerializedHierarchyString() + "|" + result->GetDescription() : std::string();
}

struct Engine {
    const char* name;  // as the refusal names it
    // Bytes per pair of points that the engine holds at once: its n x n matrices, as the engine
    // driver's peak resident size shows them from 1,500 to 16,000 points.
    double bytesPerPair;
    // The result as text, empty when there is none.
    std::function<std::string(PointSet&)> run;
};

template <typename Make>
Engine Embedding(const char* name, double bytesPerPair, Make make)
{
    return {name, bytesPerPair, [make](PointSet& set) {
                distanceFunctor functor = Functor(set);
                return Text(make(functor)->DoEmbeding(&set, 2).get());
            }};
}

template <typename Make>
Engine Clustering(const char* name, double bytesPerPair, Make make)
{
    return {name, bytesPerPair, [make](PointSet& set) {
                distanceFunctor functor = Functor(set);
                std::srand(0);  // the same k-means seeds every time
                return Text(make(functor)->DoClustering(&set).get());
            }};
}

std::string RngEdges(PointSet& set)
{
    std::vector<HDpoint<float>> points;
    for (int i = 0; i < kPoints; ++i) points.emplace_back(set.m_values.data() + 3 * i, 3);
    distanceFunctor functor = Functor(set);
    const auto graph = RNGgraphGenerator().GenerateNeighborhoodGraph(points, set.m_dimMask, functor);
    std::ostringstream text;
    if (graph)
        for (const auto& [a, b] : graph->edges) text << a << '-' << b << ' ';
    return text.str();
}

// The need in MB of exactly one refusal line naming the engine and the available MB, else -1.
double RefusedNeed(const std::string& said, const std::string& engine, const std::string& available)
{
    const std::string head = "Error: " + engine + " needs ";
    const std::string tail = " MB of memory, more than the " + available + " MB available\n";
    if (said.size() <= head.size() + tail.size() || said.compare(0, head.size(), head) != 0 ||
        said.compare(said.size() - tail.size(), tail.size(), tail) != 0)
        return -1;
    const std::string number = said.substr(head.size(), said.size() - head.size() - tail.size());
    char* end = nullptr;
    const double need = std::strtod(number.c_str(), &end);
    return end == number.c_str() + number.size() ? need : -1;
}

// Each test leaves the system's memory read again.
struct EngineMemoryTest : ::testing::Test {
    ~EngineMemoryTest() override { MemoryBudget::SetAvailable(0); }
};

TEST_F(EngineMemoryTest, EachEngineRefusesBelowItsNeedAndRunsAsBeforeAboveIt)
{
    const Engine engines[] = {
        Embedding("MDS", 16, [](distanceFunctor& f) { return std::make_unique<MDSTapkee>(f); }),
        Embedding("Isomap", 16, [](distanceFunctor& f) { return std::make_unique<ISOMAPTapkee>(f, 8); }),
        Embedding("Laplacian Eigenmap", 4,
                  [](distanceFunctor& f) { return std::make_unique<LaplacianEigenMapTapkee>(f, 8, 5.0f); }),
        // No n x n matrix: its sparse matrices take about 4 bytes a pair of this sheet's points.
        Embedding("Local Linear Embedding", 4,
                  [](distanceFunctor& f) { return std::make_unique<LocalLinearEmbeddingTapkee>(f, 8); }),
        // Up to 1,500 points spectral and subspace clustering compute every eigenvector.
        Clustering("Spectral clustering", 32,
                   [](distanceFunctor& f) { return std::make_unique<SpectralClustering>(f, NormalizedCut, 3, 0.5f, 10); }),
        Clustering("Subspace clustering", 32, [](distanceFunctor& f) {
            return std::make_unique<SubspaceClustering>(f, LeastSquaresSelfRepresentation, NormalizedCut, 3, 0.5f);
        }),
        Clustering("Hierarchical clustering", 4,
                   [](distanceFunctor&) { return std::make_unique<HierarchicalClustering>(AverageLinkage, DistanceEuclidean); }),
        // Single linkage keeps no distance matrix.
        Clustering("Hierarchical clustering", 0,
                   [](distanceFunctor&) { return std::make_unique<HierarchicalClustering>(SingleLinkage, DistanceEuclidean); }),
        {"RNG graph", 4, RngEdges},
    };
    for (const Engine& engine : engines) {
        SCOPED_TRACE(engine.name);
        const auto set = Sheet();
        std::string before;
        const std::string out = TestSupport::CaptureStdout([&] { before = engine.run(*set); });
        ASSERT_FALSE(before.empty()) << out.substr(0, 3000);

        if (engine.bytesPerPair >= 1) {
            const size_t tooLittle = size_t((engine.bytesPerPair - 1) * kPairs);
            MemoryBudget::SetAvailable(tooLittle);
            std::string refused = "not run";
            const std::string said = TestSupport::CaptureStdout([&] { refused = engine.run(*set); });
            EXPECT_EQ(refused, "");
            char available[32];
            std::snprintf(available, sizeof available, "%.1f", double(tooLittle) / kMB);
            EXPECT_GT(RefusedNeed(said, engine.name, available), double(tooLittle) / kMB) << said;
        }

        MemoryBudget::SetAvailable(size_t(engine.bytesPerPair * kPairs) + kMB);
        std::string after;
        TestSupport::CaptureStdout([&] { after = engine.run(*set); });
        EXPECT_EQ(after, before);
        MemoryBudget::SetAvailable(0);
    }
}


// Kernel LLE finds its neighbours without the n x n distances where a search can stand in for the
// distance; another distance needs them, and so more memory (4 bytes a pair beside its sparse
// matrices, which take about 3 bytes a pair for this sheet).
TEST_F(EngineMemoryTest, KernelLleNeedsTheDistanceMatrixOnlyWithoutItsNeighbourSearch)
{
    const auto set = Sheet();
    MemoryBudget::SetAvailable(size_t(5 * kPairs));
    for (const DistanceType type : {DistanceEuclidean, DistancePearsonCorrelation}) {
        distanceFunctor functor = Functor(*set, type);
        std::unique_ptr<EmbeddingResult> result;
        const std::string said =
            TestSupport::CaptureStdout([&] { result = LocalLinearEmbeddingTapkee(functor, 5).DoEmbeding(set.get(), 2); });
        EXPECT_EQ(result == nullptr, type == DistancePearsonCorrelation);
        EXPECT_EQ(said.find("Error: Local Linear Embedding needs ") == 0, type == DistancePearsonCorrelation) << said;
    }
}

// Where the leading eigenvectors cannot be had, all of them are computed only when they fit.
TEST_F(EngineMemoryTest, AFullEigenDecompositionIsRefusedWhenItWouldNotFit)
{
    const Eigen::MatrixXd laplacian = Eigen::MatrixXd::Identity(200, 200) * 0.5;
    MemoryBudget::SetAvailable(size_t(8 * 200 * 200));
    std::unique_ptr<CspectralClustering> decomposition;
    const std::string said = TestSupport::CaptureStdout([&] {
        decomposition = std::make_unique<CspectralClustering>(laplacian, 3, true, CspectralClustering::Solver::Full,
                                                              "Subspace clustering");
    });
    EXPECT_FALSE(decomposition->IsValid());
    EXPECT_EQ(said.find("Error: Subspace clustering needs "), 0u) << said;
}

// The sparse solves of Laplacian eigenmaps and kernel LLE ask their memory check, before they make
// the factor, for at least the factor and the ordered upper triangle it is made from, and at most
// a few vectors of n more beside the Lanczos basis: the factor's entries are those Eigen's own
// AMD-ordered LDL^T analysis finds. Kernel LLE asks once before, when its neighbours are known and
// before a single kernel value, with the real entries of M: at least the 60 bytes an entry its
// sparse steps may hold at once, and within twice that. A check that says no ends the run with its
// own line alone, and kernel LLE with nothing of W or M made.
TEST_F(EngineMemoryTest, TheSparseSolveAsksForItsFactorBeforeMakingIt)
{
    using namespace tapkee;
    const struct {
        ParameterSet parameters;
        std::vector<float> values;  // kPoints points of 3 values
    } runs[] = {
        {{method(LaplacianEigenmaps), target_dimension(2), num_neighbors(8), gaussian_kernel_width(5)}, SheetValues()},
        // Clustered points in 3 dimensions: the factor fills in far beyond M.
        {{method(KernelLocallyLinearEmbedding), target_dimension(2), num_neighbors(8)},
         TestSupport::Blobs(kPoints, 3, 4, 2.0f, 5)},
    };
    for (const auto& run : runs) {
        const bool lle = run.parameters.Value(KeywordId::Method, 0) == KernelLocallyLinearEmbedding;
        const Eigen::Map<const Eigen::MatrixXf> points(run.values.data(), 3, kPoints);
        const DistanceCallback distance = [&](int i, int j) { return (points.col(i) - points.col(j)).norm(); };
        long kernelCalls = 0;
        const KernelCallback kernel = [&](int i, int j) {
            ++kernelCalls;
            return points.col(i).dot(points.col(j));
        };
        std::vector<double> asked;
        TapkeeOutput output;
        TestSupport::CaptureStdout([&] {
            output = embedRange(kPoints, kernel, distance, NeighborSearch(), run.parameters, [&](double bytes) {
                asked.push_back(bytes);
                EXPECT_TRUE(asked.size() > 1 || kernelCalls == 0);
                return true;
            });
        });
        ASSERT_EQ(output.embedding.rows(), kPoints) << lle;
        ASSERT_EQ(asked.size(), lle ? 2u : 1u) << lle;
        if (lle) {
            const double steps = asked[0] - EigenSolveBytes(kPoints, 3, PartialEigenSolver, true);
            EXPECT_GE(steps, 60.0 * output.weights.nonZeros());
            EXPECT_LE(steps, 2 * 60.0 * output.weights.nonZeros());
        }

        // The solved matrix has the pattern of M, or of the Laplacian's weights and diagonal.
        Eigen::SparseMatrix<double> pattern = output.weights.cast<double>();
        if (!lle) pattern += Eigen::MatrixXd::Identity(kPoints, kPoints).sparseView();
        Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::AMDOrdering<int>> factor;
        factor.analyzePattern(pattern);
        const double entries = factor.matrixL().nestedExpression().nonZeros();
        const double least = 12.0 * (entries + (pattern.nonZeros() + kPoints) / 2.0);
        const double solve = asked.back() - EigenSolveBytes(kPoints, 3, PartialEigenSolver, true);
        EXPECT_GE(solve, least) << lle;
        EXPECT_LE(solve, least + 64.0 * kPoints + 64.0) << lle;

        kernelCalls = 0;
        const std::string said = TestSupport::CaptureStdout([&] {
            output = embedRange(kPoints, kernel, distance, NeighborSearch(), run.parameters, [](double) {
                std::printf("Error: no room\n");
                return false;
            });
        });
        EXPECT_EQ(output.embedding.size(), 0) << lle;
        EXPECT_EQ(said, "Error: no room\n") << lle;
        EXPECT_EQ(kernelCalls, 0) << lle;
    }
}

// Kernel LLE counts the entries of M = (I - W)^T (I - W) from its neighbour lists: as many as Eigen's
// product of the patterns of I - W makes. Pairs of mutual neighbours give the fewest, n (k + 1).
TEST_F(EngineMemoryTest, TheEntriesOfMAreCountedFromTheNeighbourLists)
{
    std::vector<std::vector<int>> drawn(50);
    std::mt19937 draw(3);
    for (int i = 0; i < 50; ++i)
        while (drawn[i].size() < 5) {
            const int j = int(draw() % 50);
            if (j != i && std::find(drawn[i].begin(), drawn[i].end(), j) == drawn[i].end()) drawn[i].push_back(j);
        }
    const std::vector<std::vector<int>> cases[] = {
        {{1}, {0}, {3}, {2}, {5}, {4}},  // pairs
        {{1}, {2}, {3}, {4}, {0}},       // a ring
        {{1}, {0}, {0}, {0}, {0}},       // a star
        drawn,
    };
    for (const auto& lists : cases) {
        const int n = int(lists.size());
        Eigen::SparseMatrix<double> residual(n, n);
        for (int r = 0; r < n; ++r) {
            residual.insert(r, r) = 1;
            for (int j : lists[r]) residual.insert(r, j) = 1;
        }
        const Eigen::SparseMatrix<double> product = Eigen::SparseMatrix<double>(residual.transpose()) * residual;
        EXPECT_EQ(tapkee::ProductEntries(lists), product.nonZeros()) << n;
    }
}

}  // namespace
