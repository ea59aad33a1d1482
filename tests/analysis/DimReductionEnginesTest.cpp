#include "AxisAlignedProjection.h"
#include "EmbeddingLibrary.h"
#include "ISOMAPTapkee.h"
#include "LaplacianEigenMapTapkee.h"
#include "LaplacianEigenmapEmbeddingResult.h"
#include "LinearProjection.h"
#include "LinearProjectionEmbeddingResult.h"
#include "LocalLinearEmbeddingEmbeddingResult.h"
#include "LocalLinearEmbeddingTapkee.h"
#include "MDSTapkee.h"
#include "PCATapkee.h"
#include "classicMDSEmbeddingResult.h"
#include "linearKernelCallback.h"
#include "tapkeeDistCallback.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace Zelvo;

namespace {

using PointSet = HDpointSet<float>;
using EngineMaker = std::function<std::unique_ptr<DimReductionInterface>(distanceFunctor&)>;

// The first `count` rows of a shared data set.
std::unique_ptr<PointSet> LoadShared(const std::string& name, int count = 0)
{
    int dims = 0;
    const std::vector<float> values = TestSupport::ReadCsvValues(TestSupport::DataPath(name), &dims, count);
    return TestSupport::MakePointSet(values, dims);
}

distanceFunctor FunctorOf(const PointSet& set)
{
    distanceFunctor functor;
    functor.type = DistanceEuclidean;
    functor.mask = set.m_dimMask;
    return functor;
}

Eigen::MatrixXd Positions(const EmbeddingResult& result)
{
    Eigen::MatrixXd p(result.pointCount, result.dim);
    for (int i = 0; i < result.pointCount; ++i)
        for (int k = 0; k < result.dim; ++k) p(i, k) = result.originalPositions[static_cast<size_t>(i) * result.dim + k];
    return p;
}

std::unique_ptr<EmbeddingResult> Embed(DimReductionInterface& engine, PointSet* set, int targetDim,
                                       std::string* out = nullptr)
{
    std::unique_ptr<EmbeddingResult> result;
    const std::string printed = TestSupport::CaptureStdout([&] { result = engine.DoEmbeding(set, targetDim); });
    if (out) *out = printed;
    return result;
}

// The packed buffer in the current state, rows = points.
Eigen::MatrixXd Packed(PointSet& set)
{
    const std::vector<float>* packed = nullptr;
    TestSupport::CaptureStdout([&] { packed = set.GetPackedRawDataArray(true); });
    const int m = set.GetSelectedDimensionCount();
    const int n = set.GetPointCount();
    Eigen::MatrixXd rows(n, m);
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < m; ++d) rows(i, d) = (*packed)[static_cast<size_t>(i) * m + d];
    return rows;
}

std::vector<std::pair<std::string, EngineMaker>> Engines(int k, bool withPca)
{
    std::vector<std::pair<std::string, EngineMaker>> engines = {
        {"MDS", [](distanceFunctor& f) { return std::make_unique<MDSTapkee>(f); }},
        {"Isomap", [k](distanceFunctor& f) { return std::make_unique<ISOMAPTapkee>(f, k); }},
        {"LE", [k](distanceFunctor& f) { return std::make_unique<LaplacianEigenMapTapkee>(f, k, 0.0f); }},
        {"LLE", [k](distanceFunctor& f) { return std::make_unique<LocalLinearEmbeddingTapkee>(f, k); }},
    };
    if (withPca) engines.push_back({"PCA", [](distanceFunctor& f) { return std::make_unique<PCATapkee>(f); }});
    return engines;
}

// A null result with an "Error" line (or the library's eigen failure line), no "Applied" line.
void ExpectRefused(DimReductionInterface& engine, PointSet* set, const std::string& what, int targetDim = 2)
{
    std::string printed;
    EXPECT_EQ(Embed(engine, set, targetDim, &printed), nullptr) << what;
    EXPECT_TRUE(printed.find("Error") != std::string::npos ||
                printed.find("Catch!!! eigenDecomposition error") != std::string::npos)
        << what << ": " << printed;
    EXPECT_EQ(printed.find("Applied"), std::string::npos) << what;
}

}  // namespace

// Each engine hands the library run on the raw points (through the callbacks) or on the packed
// rows (PCA) to its result, centred, with the values its cost needs.
TEST(DimReductionEngines, EachEngineGivesTheLibraryRunCentred)
{
    auto set = LoadShared("swissroll_2000.csv", 250);
    set->m_dimMask = {true, true, true};
    distanceFunctor functor = FunctorOf(*set);
    std::vector<HDpoint<float>> points;
    for (int i = 0; i < 250; ++i) points.emplace_back(set->m_values.data() + 3 * i, 3);
    const struct {
        const char* name;
        int method;
    } runs[] = {{"MDS", tapkee::MultidimensionalScaling},
                {"Isomap", tapkee::Isomap},
                {"LE", tapkee::LaplacianEigenmaps},
                {"LLE", tapkee::KernelLocallyLinearEmbedding}};
    const auto engines = Engines(8, false);
    for (size_t e = 0; e < engines.size(); ++e) {
        SCOPED_TRACE(runs[e].name);
        auto engine = engines[e].second(functor);
        std::string printed;
        auto result = Embed(*engine, set.get(), 2, &printed);
        ASSERT_NE(result, nullptr) << printed;
        tapkee::TapkeeOutput library;
        TestSupport::CaptureStdout([&] {
            library = tapkee::embedRange(points, linearKernelCallback(), tapkeeDistCallback(functor),
                                         {tapkee::method(runs[e].method), tapkee::target_dimension(2),
                                          tapkee::num_neighbors(8), tapkee::gaussian_kernel_width(1.0)});
        });
        ASSERT_EQ(library.embedding.rows(), 250);
        const Eigen::MatrixXd expected = library.embedding.cast<double>();
        EXPECT_LT((Positions(*result) - (expected.rowwise() - expected.colwise().mean())).cwiseAbs().maxCoeff(), 1e-5);
        EXPECT_EQ(result->neighborLists, library.neighbors);
        EXPECT_LT((result->GetHDSquaredDistance() - library.distanceMatrix).cwiseAbs().maxCoeff(), 1e-3f);
        if (auto* le = dynamic_cast<LaplacianEigenmapEmbeddingResult*>(result.get())) {
            EXPECT_EQ(le->GetWeights().nonZeros(), library.weights.nonZeros());
        }
        if (auto* lle = dynamic_cast<LocalLinearEmbeddingEmbeddingResult*>(result.get())) {
            const Eigen::MatrixXf ours(lle->GetReconstructionWeights());
            EXPECT_TRUE(ours.isApprox(Eigen::MatrixXf(library.reconstructionWeights)));
        }
        float total = -1;
        const std::vector<float>* cost = nullptr;
        TestSupport::CaptureStdout([&] { cost = result->GetPerPointCost(total); });
        ASSERT_NE(cost, nullptr);
        EXPECT_TRUE(std::isfinite(total));
    }

    // PCA: the library's projection of the packed rows of the chosen state and dimensions.
    for (int state : {0, 1, 2}) {
        SCOPED_TRACE("PCA state " + std::to_string(state));
        set->m_state = static_cast<PointSetState>(state);
        set->m_dimMask = {true, state == 0, true};
        const Eigen::MatrixXf columns = Packed(*set).transpose().cast<float>();
        distanceFunctor pcaFunctor = FunctorOf(*set);
        PCATapkee pca(pcaFunctor);
        auto result = Embed(pca, set.get(), 2);
        ASSERT_NE(result, nullptr);
        tapkee::TapkeeOutput library;
        TestSupport::CaptureStdout([&] {
            library = tapkee::embedUsing(columns, {tapkee::method(tapkee::PCA), tapkee::target_dimension(2)});
        });
        EXPECT_LT((Positions(*result) - library.embedding.cast<double>()).cwiseAbs().maxCoeff(), 1e-4);
        auto* linear = dynamic_cast<LinearProjectionEmbeddingResult*>(result.get());
        ASSERT_NE(linear, nullptr);
        EXPECT_TRUE(linear->mean.isApprox(library.mean));
    }
}

TEST(DimReductionEngines, CallbackEnginesReadRawValuesAndTheirOwnFunctorPcaReadsThePackedState)
{
    auto set = LoadShared("swissroll_2000.csv", 200);
    set->m_dimMask = {true, false, true};
    distanceFunctor functor = FunctorOf(*set);
    for (const auto& [name, make] : Engines(12, true)) {
        auto engine = make(functor);
        std::vector<Eigen::MatrixXd> byState;
        for (int state : {0, 1, 2}) {
            set->m_state = static_cast<PointSetState>(state);
            auto result = Embed(*engine, set.get(), 2);
            ASSERT_NE(result, nullptr) << name << " state " << state;
            byState.push_back(Positions(*result));
        }
        if (name == "PCA") {
            EXPECT_GT((byState[0] - byState[1]).cwiseAbs().maxCoeff(), 1e-2) << name;
            EXPECT_GT((byState[0] - byState[2]).cwiseAbs().maxCoeff(), 1e-2) << name;
        } else {
            EXPECT_EQ(byState[0], byState[1]) << name;
            EXPECT_EQ(byState[0], byState[2]) << name;
        }
    }
    set->m_state = PointSetOriginal;

    // The mask of the functor reaches the distances; the engine keeps its own copy of it.
    distanceFunctor all = FunctorOf(*set);
    all.mask.assign(3, true);
    distanceFunctor fewer = all;
    fewer.mask = {true, false, true};
    for (const auto& [name, make] : Engines(10, false)) {
        auto a = make(all), b = make(fewer);
        auto ra = Embed(*a, set.get(), 2), rb = Embed(*b, set.get(), 2);
        ASSERT_NE(ra, nullptr) << name;
        ASSERT_NE(rb, nullptr) << name;
        EXPECT_GT((ra->GetHDSquaredDistance() - rb->GetHDSquaredDistance()).cwiseAbs().maxCoeff(), 1e-3f) << name;
        all.mask = {false, false, true};
        auto again = Embed(*a, set.get(), 2);
        all.mask.assign(3, true);
        ASSERT_NE(again, nullptr) << name;
        EXPECT_EQ(Positions(*again), Positions(*ra)) << name;
    }
}

TEST(DimReductionEngines, RefusalsReturnNullWithoutEndingTheProcess)
{
    auto set = LoadShared("swissroll_2000.csv", 40);
    distanceFunctor functor = FunctorOf(*set);
    for (int k : {0, -3, 40}) {
        for (const auto& [name, make] : Engines(k, false)) {
            if (name == "MDS") continue;
            auto engine = make(functor);
            ExpectRefused(*engine, set.get(), name + " k=" + std::to_string(k));
        }
    }
    for (float width : {-1.0f, NAN, INFINITY}) {
        LaplacianEigenMapTapkee engine(functor, 5, width);
        ExpectRefused(engine, set.get(), "width " + std::to_string(width));
    }

    auto tiny = TestSupport::MakePointSet({0, 0, 1, 1}, 2);  // two points cannot span two axes
    auto withNan = LoadShared("swissroll_2000.csv", 40);
    withNan->m_values[5] = NAN;
    for (const auto& [name, make] : Engines(5, true)) {
        distanceFunctor tinyFunctor = FunctorOf(*tiny);
        ExpectRefused(*make(tinyFunctor), tiny.get(), name + " two points");
        ExpectRefused(*make(tinyFunctor), nullptr, name + " no set");
        distanceFunctor nanFunctor = FunctorOf(*withNan);
        ExpectRefused(*make(nanFunctor), withNan.get(), name + " NaN value");

        auto engine = make(functor);
        set->m_state = PointSetUnknown;
        ExpectRefused(*engine, set.get(), name + " state 3");
        set->m_state = PointSetOriginal;
        set->m_dimMask.assign(3, false);
        distanceFunctor none = FunctorOf(*set);
        ExpectRefused(*make(none), set.get(), name + " no dimension");
        set->m_dimMask.assign(3, true);
        EXPECT_NE(Embed(*engine, set.get(), 2), nullptr) << name << " still usable";
    }
}

TEST(DimReductionEngines, AxisAlignedProjectionShowsTheChosenPackedColumnsCentred)
{
    // 4 points x 6 dims; value of point i in dim d is (d + 1) * i + d * d * (i % 2).
    std::vector<float> values;
    for (int i = 0; i < 4; ++i)
        for (int d = 0; d < 6; ++d) values.push_back(static_cast<float>((d + 1) * i + d * d * (i % 2)));
    auto set = TestSupport::MakePointSet(values, 6);
    auto centred = [&](int d, int i) {
        double mean = 0;
        for (int p = 0; p < 4; ++p) mean += values[p * 6 + d] / 4.0;
        return static_cast<float>(values[i * 6 + d] - mean);
    };
    struct Case {
        int x, y;
        std::vector<bool> mask;
    };
    // Dimensions 0 and 1 left out: 2 and 5 are packed columns 0 and 3.
    for (const Case& c : {Case{3, 1, std::vector<bool>(6, true)}, Case{2, 5, {false, false, true, true, true, true}},
                          Case{2, 2, std::vector<bool>(6, true)}}) {
        set->m_dimMask = c.mask;
        AxisAlignedProjection engine(c.x, c.y);
        auto result = Embed(engine, set.get(), 2);
        ASSERT_NE(result, nullptr) << c.x << "," << c.y;
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(result->originalPositions[2 * i], centred(c.x, i)) << i;
            EXPECT_FLOAT_EQ(result->originalPositions[2 * i + 1], centred(c.y, i)) << i;
        }
        EXPECT_FLOAT_EQ(result->maxX - result->minX, centred(c.x, 3) - centred(c.x, 0));
    }

    // Min-max state: the normalised column less its own mean.
    set->m_dimMask.assign(6, true);
    set->m_state = PointSetMinMaxNorm;
    AxisAlignedProjection minMax(4, 0);
    auto result = Embed(minMax, set.get(), 2);
    ASSERT_NE(result, nullptr);
    const std::vector<float> column4 = {0, 21, 10, 31};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(result->originalPositions[2 * i], column4[i] / 31.0f - 0.5f, 1e-6f) << i;
        EXPECT_NEAR(result->originalPositions[2 * i + 1], i / 3.0f - 0.5f, 1e-6f) << i;
    }

    // Refusals: other target dimensions, indices out of range or of unselected dimensions.
    set->m_state = PointSetOriginal;
    set->m_dimMask = {true, false, true, true, true, true};
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{-1, 0}, {0, 6}, {1, 2}, {2, 1}, {1000, -1000}}) {
        AxisAlignedProjection refused(x, y);
        ExpectRefused(refused, set.get(), std::to_string(x) + "," + std::to_string(y));
    }
    AxisAlignedProjection fine(0, 5);
    ExpectRefused(fine, set.get(), "target 3", 3);
    ExpectRefused(fine, nullptr, "no set");
    set->m_state = PointSetUnknown;
    ExpectRefused(fine, set.get(), "state 3");
}

TEST(DimReductionEngines, LinearProjectionSubtractsThePackedMean)
{
    // Three points, dims 0 and 2 selected, variance-normalised state.
    auto set = TestSupport::MakePointSet({1, 100, 2, 3, -5, 4, 8, 7, 9}, 3);
    set->m_dimMask = {true, false, true};
    set->m_state = PointSetVarianceNorm;
    const Eigen::MatrixXd rows = Packed(*set);
    const Eigen::RowVectorXd mean = rows.colwise().mean();  // normalised columns keep a mean

    Eigen::MatrixXf basis(2, 2);
    basis << 1, 2, -1, 0.5f;
    LinearProjection engine(basis);
    std::string printed;
    auto result = Embed(engine, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    auto* linear = dynamic_cast<LinearProjectionEmbeddingResult*>(result.get());
    ASSERT_NE(linear, nullptr);
    EXPECT_LT((linear->mean.cast<double>() - mean).cwiseAbs().maxCoeff(), 1e-6);
    double minX = 1e30, maxX = -1e30;
    for (int i = 0; i < 3; ++i) {
        const Eigen::RowVectorXd c = rows.row(i) - mean;
        EXPECT_NEAR(result->originalPositions[2 * i], c(0) - c(1), 1e-5) << i;
        EXPECT_NEAR(result->originalPositions[2 * i + 1], 2 * c(0) + 0.5 * c(1), 1e-5) << i;
        minX = std::min(minX, c(0) - c(1));
        maxX = std::max(maxX, c(0) - c(1));
    }
    // The extents are those of the projected centred rows.
    EXPECT_NEAR(result->minX, minX, 1e-5);
    EXPECT_NEAR(result->maxX, maxX, 1e-5);

    // One axis of the raw values: the 1-D result is the centred column (mean 34 in dim 1), and
    // the cost is the residual in dims 0 and 2, which the axis does not see.
    set->m_state = PointSetOriginal;
    set->m_dimMask.assign(3, true);
    Eigen::MatrixXf axis = Eigen::MatrixXf::Zero(3, 1);
    axis(1, 0) = 1;
    LinearProjection single(axis);
    auto one = Embed(single, set.get(), 1, &printed);
    ASSERT_NE(one, nullptr) << printed;
    EXPECT_NEAR(one->originalPositions[0], 100 - 34, 1e-4);
    EXPECT_NEAR(one->originalPositions[1], -5 - 34, 1e-4);
    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = one->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    EXPECT_NEAR((*cost)[0], 9.0 + 9.0, 1e-4);  // (1 - 4, 2 - 5)
}

TEST(DimReductionEngines, LinearProjectionRefusals)
{
    auto set = TestSupport::MakePointSet({1, 2, 3, 4, 5, 6, 7, 8, 10}, 3);
    LinearProjection empty;
    ExpectRefused(empty, set.get(), "no basis");
    Eigen::MatrixXf twoRows = Eigen::MatrixXf::Identity(2, 2);
    LinearProjection projection(twoRows);
    ExpectRefused(projection, set.get(), "two rows for three dimensions");
    set->m_dimMask = {true, false, true};
    EXPECT_NE(Embed(projection, set.get(), 2), nullptr);
    Eigen::MatrixXf nanBasis = twoRows;
    nanBasis(0, 1) = NAN;
    projection.SetProjectionBasis(nanBasis);
    ExpectRefused(projection, set.get(), "NaN basis");
    projection.SetProjectionBasis(twoRows);
    ExpectRefused(projection, nullptr, "no set");
    set->m_state = PointSetUnknown;
    ExpectRefused(projection, set.get(), "state 3");
    set->m_state = PointSetOriginal;
    set->m_dimMask.assign(3, false);
    ExpectRefused(projection, set.get(), "no dimension");
}
