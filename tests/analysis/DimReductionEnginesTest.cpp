#include "AxisAlignedProjection.h"
#include "EmbeddingLibrary.h"
#include "EmbeddingTestData.h"
#include "ISOMAPTapkee.h"
#include "IsomapEmbeddingResult.h"
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
using EmbeddingTestData::MaxDifferenceUpToSign;

namespace {

using PointSet = HDpointSet<float>;
using EngineMaker = std::function<std::unique_ptr<DimReductionInterface>(distanceFunctor&)>;

std::unique_ptr<PointSet> MakeSet(const std::vector<float>& values, int dims)
{
    auto set = std::make_unique<PointSet>();
    set->m_dimMask.assign(static_cast<size_t>(dims), true);
    set->m_dimension = dims;
    set->m_values = values;
    set->UpdateDimensionMinMaxMeanVariance();
    return set;
}

// The first `count` rows of a shared data set (all of it when count is 0).
std::unique_ptr<PointSet> LoadShared(const std::string& name, int count = 0)
{
    const Eigen::MatrixXd table = EmbeddingTestData::ReadCsv(TestSupport::SharedDataPath(name), 1);
    const Eigen::Index rows = count > 0 ? std::min<Eigen::Index>(count, table.rows()) : table.rows();
    std::vector<float> values;
    for (Eigen::Index i = 0; i < rows; ++i)
        for (Eigen::Index d = 0; d < table.cols(); ++d) values.push_back(static_cast<float>(table(i, d)));
    return MakeSet(values, static_cast<int>(table.cols()));
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

// Runs the engine and keeps what it printed.
std::unique_ptr<EmbeddingResult> Embed(DimReductionInterface& engine, PointSet* set, int targetDim, std::string* out)
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

std::vector<std::pair<std::string, EngineMaker>> CallbackEngines(int k)
{
    return {
        {"MDS", [](distanceFunctor& f) { return std::make_unique<MDSTapkee>(f); }},
        {"Isomap", [k](distanceFunctor& f) { return std::make_unique<ISOMAPTapkee>(f, k); }},
        {"LE", [k](distanceFunctor& f) { return std::make_unique<LaplacianEigenMapTapkee>(f, k, 0.0f); }},
        {"LLE", [k](distanceFunctor& f) { return std::make_unique<LocalLinearEmbeddingTapkee>(f, k); }},
    };
}

std::vector<std::pair<std::string, EngineMaker>> AllTapkeeEngines(int k)
{
    auto engines = CallbackEngines(k);
    engines.push_back({"PCA", [](distanceFunctor& f) { return std::make_unique<PCATapkee>(f); }});
    return engines;
}

// A null result with an "Error" line (or the library's eigen failure line) and nothing else.
void ExpectRefused(const std::unique_ptr<EmbeddingResult>& result, const std::string& printed, const std::string& what)
{
    EXPECT_EQ(result, nullptr) << what;
    EXPECT_TRUE(printed.find("Error") != std::string::npos ||
                printed.find("Catch!!! eigenDecomposition error") != std::string::npos)
        << what << ": " << printed;
    EXPECT_EQ(printed.find("Applied"), std::string::npos) << what;
}

::testing::AssertionResult RunSklearnPca(const TestSupport::TempDir& dir, const Eigen::MatrixXd& rows)
{
    EmbeddingTestData::WriteCsv(dir.file("data.csv"), rows);
    const std::string script = "import numpy as np\n"
                               "from sklearn.decomposition import PCA\n"
                               "X = np.loadtxt('data.csv', delimiter=',', ndmin=2)\n"
                               "p = PCA(n_components=2, svd_solver='full').fit(X)\n"
                               "np.savetxt('y.csv', p.transform(X), delimiter=',', fmt='%.17g')\n"
                               "np.savetxt('basis.csv', p.components_.T, delimiter=',', fmt='%.17g')\n"
                               "np.savetxt('mean.csv', p.mean_[None, :], delimiter=',', fmt='%.17g')\n";
    int code = -1;
    const std::string output = EmbeddingTestData::RunPython(dir.path(), script, &code);
    if (code != 0) return ::testing::AssertionFailure() << "oracle failed: " << output;
    return ::testing::AssertionSuccess();
}

}  // namespace

// ---------------------------------------------------------------- PCA

class PcaOracle : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!TestSupport::HavePythonOracles()) GTEST_SKIP() << "no scikit-learn";
    }
    TestSupport::TempDir dir;
};

// State 0 raw with all dimensions, state 1 and 2 with dimension 1 left out.
TEST_P(PcaOracle, MatchesScikitLearnOnThePackedData)
{
    auto set = LoadShared("iris.csv");
    ASSERT_EQ(set->GetPointCount(), 150);
    set->m_state = static_cast<PointSetState>(GetParam());
    if (GetParam() != 0) set->m_dimMask = {true, false, true, true};
    const Eigen::MatrixXd rows = Packed(*set);
    ASSERT_TRUE(RunSklearnPca(dir, rows));

    distanceFunctor functor = FunctorOf(*set);
    PCATapkee engine(functor);
    std::string printed;
    auto result = Embed(engine, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    auto* linear = dynamic_cast<LinearProjectionEmbeddingResult*>(result.get());
    ASSERT_NE(linear, nullptr);

    const Eigen::MatrixXd y = EmbeddingTestData::ReadCsv(dir.file("y.csv"));
    const Eigen::MatrixXd basis = EmbeddingTestData::ReadCsv(dir.file("basis.csv"));
    const Eigen::MatrixXd mean = EmbeddingTestData::ReadCsv(dir.file("mean.csv"));
    const double scale = y.cwiseAbs().maxCoeff();
    EXPECT_LT(MaxDifferenceUpToSign(Positions(*result), y), 1e-4 * scale);
    EXPECT_LT(MaxDifferenceUpToSign(linear->basis.cast<double>(), basis), 1e-4);
    ASSERT_EQ(linear->mean.size(), rows.cols());
    EXPECT_LT((linear->mean.cast<double>() - mean.row(0)).cwiseAbs().maxCoeff(), 1e-5);
    for (Eigen::Index c = 0; c < linear->basis.cols(); ++c) EXPECT_NEAR(linear->basis.col(c).norm(), 1.0f, 1e-5f);

    // Euclidean squared distances of the packed rows, checked on every pair.
    const Eigen::MatrixXf& hd = result->GetHDSquaredDistance();
    ASSERT_EQ(hd.rows(), 150);
    ASSERT_EQ(hd.cols(), 150);
    double worst = 0;
    for (int i = 0; i < 150; ++i)
        for (int j = 0; j < 150; ++j) worst = std::max(worst, std::abs(hd(i, j) - (rows.row(i) - rows.row(j)).squaredNorm()));
    EXPECT_LT(worst, 1e-3);

    EXPECT_NE(printed.find("Data matrix Row: " + std::to_string(rows.cols()) + "  Col: 150\n"), std::string::npos);
    EXPECT_NE(printed.find("Applied PCA: rangeX:"), std::string::npos);
    EXPECT_EQ(printed.find("Output->"), std::string::npos);

    // The projection residual of every point is computable.
    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = result->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    EXPECT_EQ(cost->size(), 150u);
    EXPECT_TRUE(std::isfinite(total));
}

INSTANTIATE_TEST_SUITE_P(States, PcaOracle, ::testing::Values(0, 1, 2));

// ------------------------------------------------- classic scaling against PCA

TEST(DimReductionEngines, EuclideanMdsEqualsPcaUpToSign)
{
    auto set = LoadShared("iris.csv");
    // Selection through the mask: the functor carries it for MDS, the packing for PCA.
    set->m_dimMask = {true, true, false, true};
    distanceFunctor functor = FunctorOf(*set);
    MDSTapkee mds(functor);
    PCATapkee pca(functor);
    auto a = Embed(mds, set.get(), 2, nullptr);
    auto b = Embed(pca, set.get(), 2, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const Eigen::MatrixXd pa = Positions(*a), pb = Positions(*b);
    EXPECT_LT(MaxDifferenceUpToSign(pa, pb), 1e-3 * pb.cwiseAbs().maxCoeff());

    // The same squared distances reach both results.
    EXPECT_LT((a->GetHDSquaredDistance() - b->GetHDSquaredDistance()).cwiseAbs().maxCoeff(), 1e-3f);
    auto* classic = dynamic_cast<classicMDSEmbeddingResult*>(a.get());
    ASSERT_NE(classic, nullptr);
    EXPECT_EQ(classic->GetInnerProducts().rows(), 150);
    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = a->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    EXPECT_EQ(cost->size(), 150u);
    // The embedding is the best rank-2 fit of B: the strain is well below 1.
    EXPECT_GT(total, 0.0f);
    EXPECT_LT(total, 0.1f);
}

// ----------------------------------------- callback engines against the library

namespace {

std::vector<HDpoint<float>> RawPoints(const PointSet& set)
{
    const size_t D = set.m_dimMask.size();
    std::vector<HDpoint<float>> points;
    for (size_t i = 0; i * D < set.m_values.size(); ++i) points.emplace_back(set.m_values.data() + i * D, D);
    return points;
}

// The library's embedding centred as the result centres it.
Eigen::MatrixXd Centred(const Eigen::MatrixXf& embedding)
{
    const Eigen::MatrixXd e = embedding.cast<double>();
    return e.rowwise() - e.colwise().mean();
}

}  // namespace

TEST(DimReductionEngines, IsomapGivesTheLibraryRunAndSquaredGeodesics)
{
    auto set = LoadShared("swissroll_2000.csv", 300);
    distanceFunctor functor = FunctorOf(*set);
    ISOMAPTapkee engine(functor, 10);
    std::string printed;
    auto result = Embed(engine, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    EXPECT_NE(printed.find("Output-> point count: 300 dim: 2 TargetDim: 2 \n"), std::string::npos);
    EXPECT_NE(printed.find("Applied Isomap: rangeX:"), std::string::npos);

    const auto points = RawPoints(*set);
    tapkee::TapkeeOutput library;
    TestSupport::CaptureStdout([&] {
        library = tapkee::embedRange(points, linearKernelCallback(), tapkeeDistCallback(functor),
                                     {tapkee::method(tapkee::Isomap), tapkee::target_dimension(2),
                                      tapkee::num_neighbors(10)});
    });
    ASSERT_EQ(library.embedding.rows(), 300);
    EXPECT_LT((Positions(*result) - Centred(library.embedding)).cwiseAbs().maxCoeff(), 1e-4);

    // Squared geodesics: to the nearest neighbour the path is the direct edge, and no path
    // is shorter than the straight line.
    const Eigen::MatrixXf& hd = result->GetHDSquaredDistance();
    ASSERT_EQ(hd.rows(), 300);
    ASSERT_EQ(hd.cols(), 300);
    ASSERT_EQ(result->neighborLists.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        const int nearest = result->neighborLists[i].front();
        const double direct = functor(points[i], points[nearest]);
        EXPECT_NEAR(hd(i, nearest), direct * direct, 1e-3 * (1 + direct * direct)) << i;
        for (int j = 0; j < 300; j += 7) {
            const double straight = functor(points[i], points[j]);
            EXPECT_GE(hd(i, j), straight * straight * (1 - 1e-4) - 1e-4);
        }
    }
    EXPECT_GT(hd.maxCoeff(), 100.0f);  // geodesics along the roll are long

    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = result->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    EXPECT_TRUE(std::isfinite(total));
    const std::vector<float>* stress = nullptr;
    TestSupport::CaptureStdout([&] { stress = result->GetPerPointDistortion(total, "Stress"); });
    ASSERT_NE(stress, nullptr);
    EXPECT_EQ(stress->size(), 300u);
    std::vector<int> selected{0};
    const std::vector<float>* marks = result->GetSelectedPointNeighborHood(selected);
    ASSERT_NE(marks, nullptr);
    EXPECT_FLOAT_EQ((*marks)[result->neighborLists[0][3]], 1.0f);
}

TEST(DimReductionEngines, LaplacianEigenmapGivesTheLibraryRunWithWidthDefault)
{
    auto set = LoadShared("swissroll_2000.csv", 250);
    distanceFunctor functor = FunctorOf(*set);
    LaplacianEigenMapTapkee zeroWidth(functor, 8, 0.0f);
    std::string printed;
    auto result = Embed(zeroWidth, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    EXPECT_NE(printed.find("Applied Laplacian Eigenmap: rangeX:"), std::string::npos);

    const auto points = RawPoints(*set);
    tapkee::TapkeeOutput library;
    TestSupport::CaptureStdout([&] {
        library = tapkee::embedRange(points, linearKernelCallback(), tapkeeDistCallback(functor),
                                     {tapkee::method(tapkee::LaplacianEigenmaps), tapkee::target_dimension(2),
                                      tapkee::gaussian_kernel_width(1.0), tapkee::num_neighbors(8)});
    });
    ASSERT_EQ(library.embedding.rows(), 250);
    EXPECT_LT((Positions(*result) - Centred(library.embedding)).cwiseAbs().maxCoeff(), 1e-6);
    EXPECT_EQ(result->neighborLists, library.neighbors);
    auto* le = dynamic_cast<LaplacianEigenmapEmbeddingResult*>(result.get());
    ASSERT_NE(le, nullptr);
    EXPECT_EQ(le->GetWeights().nonZeros(), library.weights.nonZeros());
    // Squared callback distances, by brute force on a few pairs.
    const Eigen::MatrixXf& hd = result->GetHDSquaredDistance();
    ASSERT_EQ(hd.rows(), 250);
    for (int i = 0; i < 250; i += 31) {
        const double d = functor(points[i], points[(i * 7 + 3) % 250]);
        EXPECT_NEAR(hd(i, (i * 7 + 3) % 250), d * d, 1e-3 * (1 + d * d));
    }

    // 0.5 is used as given, so it is another embedding.
    LaplacianEigenMapTapkee halfWidth(functor, 8, 0.5f);
    auto half = Embed(halfWidth, set.get(), 2, nullptr);
    ASSERT_NE(half, nullptr);
    EXPECT_GT((Positions(*half) - Positions(*result)).cwiseAbs().maxCoeff(), 1e-4);

    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = result->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    EXPECT_TRUE(std::isfinite(total));
    EXPECT_GT(total, 0.0f);
}

TEST(DimReductionEngines, LocalLinearEmbeddingKeepsBothWeightMatrices)
{
    auto set = LoadShared("swissroll_2000.csv", 250);
    distanceFunctor functor = FunctorOf(*set);
    LocalLinearEmbeddingTapkee engine(functor, 9);
    std::string printed;
    auto result = Embed(engine, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    EXPECT_NE(printed.find("Applied Local Linear Embedding: rangeX:"), std::string::npos);

    const auto points = RawPoints(*set);
    tapkee::TapkeeOutput library;
    TestSupport::CaptureStdout([&] {
        library = tapkee::embedRange(points, linearKernelCallback(), tapkeeDistCallback(functor),
                                     {tapkee::method(tapkee::KernelLocallyLinearEmbedding), tapkee::target_dimension(2),
                                      tapkee::num_neighbors(9)});
    });
    ASSERT_EQ(library.embedding.rows(), 250);
    EXPECT_LT((Positions(*result) - Centred(library.embedding)).cwiseAbs().maxCoeff(), 1e-6);

    auto* lle = dynamic_cast<LocalLinearEmbeddingEmbeddingResult*>(result.get());
    ASSERT_NE(lle, nullptr);
    const Eigen::MatrixXd W = Eigen::MatrixXd(lle->GetReconstructionWeights().cast<double>());
    ASSERT_EQ(W.rows(), 250);
    ASSERT_EQ(W.cols(), 250);
    EXPECT_EQ(lle->GetReconstructionWeights().nonZeros(), 250 * 9);
    for (int i = 0; i < 250; ++i) {
        EXPECT_NEAR(W.row(i).sum(), 1.0, 1e-4) << i;
        for (int j : result->neighborLists[i]) EXPECT_NE(W(i, j), 0.0) << i << " " << j;
    }
    // The decomposed matrix is (I - W)^T (I - W) of those same weights.
    const Eigen::MatrixXd residual = Eigen::MatrixXd::Identity(250, 250) - W;
    const Eigen::MatrixXd M = Eigen::MatrixXd(lle->GetWeights().cast<double>());
    EXPECT_LT((M - residual.transpose() * residual).cwiseAbs().maxCoeff(), 1e-4);

    EXPECT_EQ(result->GetHDSquaredDistance().rows(), 250);
    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = result->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    EXPECT_TRUE(std::isfinite(total));
    // Hand value of point 0's cost from W and the positions.
    const Eigen::MatrixXd P = Positions(*result);
    const Eigen::RowVectorXd z = P.row(0) - W.row(0) * P;
    EXPECT_NEAR((*cost)[0], z.squaredNorm(), 1e-4 * (1 + z.squaredNorm()));
}

// ------------------------------------------------------- normalisation states

TEST(DimReductionEngines, CallbackEnginesReadRawValuesPcaDoesNot)
{
    auto set = LoadShared("swissroll_2000.csv", 200);
    set->m_dimMask = {true, false, true};
    distanceFunctor functor = FunctorOf(*set);
    for (const auto& [name, make] : AllTapkeeEngines(12)) {
        auto engine = make(functor);
        std::vector<Eigen::MatrixXd> byState;
        for (int state : {0, 1, 2}) {
            set->m_state = static_cast<PointSetState>(state);
            std::string printed;
            auto result = Embed(*engine, set.get(), 2, &printed);
            ASSERT_NE(result, nullptr) << name << " state " << state << ": " << printed;
            EXPECT_TRUE(Positions(*result).allFinite()) << name;
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
}

TEST(DimReductionEngines, FunctorMaskChangesTheCallbackEngines)
{
    auto set = LoadShared("swissroll_2000.csv", 200);
    distanceFunctor all = FunctorOf(*set);
    distanceFunctor fewer = all;
    fewer.mask = {true, false, true};
    for (const auto& [name, make] : CallbackEngines(10)) {
        auto a = make(all), b = make(fewer);
        auto ra = Embed(*a, set.get(), 2, nullptr), rb = Embed(*b, set.get(), 2, nullptr);
        ASSERT_NE(ra, nullptr) << name;
        ASSERT_NE(rb, nullptr) << name;
        EXPECT_GT((ra->GetHDSquaredDistance() - rb->GetHDSquaredDistance()).cwiseAbs().maxCoeff(), 1e-3f) << name;
    }
    // The engine keeps its own functor: changing the caller's afterwards changes nothing.
    distanceFunctor caller = all;
    MDSTapkee mds(caller);
    auto before = Embed(mds, set.get(), 2, nullptr);
    caller.mask = {false, false, true};
    auto after = Embed(mds, set.get(), 2, nullptr);
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(Positions(*before), Positions(*after));
}

// ------------------------------------------------------------------ refusals

TEST(DimReductionEngines, TapkeeEnginesRefuseWithoutEndingTheProcess)
{
    auto set = LoadShared("swissroll_2000.csv", 40);
    distanceFunctor functor = FunctorOf(*set);
    std::string printed;

    for (int k : {0, -3, 40, 1000}) {
        for (const auto& [name, make] : CallbackEngines(k)) {
            if (name == "MDS") continue;
            auto engine = make(functor);
            ExpectRefused(Embed(*engine, set.get(), 2, &printed), printed, name + " k=" + std::to_string(k));
        }
    }
    for (float width : {-1.0f, NAN, INFINITY}) {
        LaplacianEigenMapTapkee engine(functor, 5, width);
        ExpectRefused(Embed(engine, set.get(), 2, &printed), printed, "width " + std::to_string(width));
    }

    auto tiny = MakeSet({0, 0, 1, 1}, 2);  // two points cannot span two axes
    distanceFunctor tinyFunctor = FunctorOf(*tiny);
    for (const auto& [name, make] : AllTapkeeEngines(1)) {
        auto engine = make(tinyFunctor);
        ExpectRefused(Embed(*engine, tiny.get(), 2, &printed), printed, name + " two points");
        ExpectRefused(Embed(*engine, nullptr, 2, &printed), printed, name + " no set");
    }

    for (const auto& [name, make] : AllTapkeeEngines(12)) {
        auto engine = make(functor);
        set->m_state = PointSetUnknown;
        ExpectRefused(Embed(*engine, set.get(), 2, &printed), printed, name + " state 3");
        set->m_state = PointSetOriginal;
        set->m_dimMask.assign(3, false);
        distanceFunctor none = FunctorOf(*set);
        auto noneEngine = make(none);
        ExpectRefused(Embed(*noneEngine, set.get(), 2, &printed), printed, name + " no dimension");
        set->m_dimMask.assign(3, true);
        // Still usable afterwards.
        auto result = Embed(*engine, set.get(), 2, &printed);
        EXPECT_NE(result, nullptr) << name << printed;
    }

    // A value that is no number never reaches the positions.
    auto withNan = LoadShared("swissroll_2000.csv", 40);
    withNan->m_values[5] = NAN;
    distanceFunctor nanFunctor = FunctorOf(*withNan);
    for (const auto& [name, make] : AllTapkeeEngines(5)) {
        auto engine = make(nanFunctor);
        ExpectRefused(Embed(*engine, withNan.get(), 2, &printed), printed, name + " NaN value");
    }
}

TEST(DimReductionEngines, LonelyLaplacianPointIsRefused)
{
    std::string printed;
    // Point 4 (far out) has point 3 as its nearest, but 3's nearest is 2: no mutual neighbour.
    auto lonely = MakeSet({0, 0, 1, 0, 2.1f, 0, 3.3f, 0, 10, 0}, 2);
    distanceFunctor lonelyFunctor = FunctorOf(*lonely);
    LaplacianEigenMapTapkee le(lonelyFunctor, 1, 1.0f);
    ExpectRefused(Embed(le, lonely.get(), 2, &printed), printed, "point without mutual neighbour");
    EXPECT_NE(printed.find("Catch!!! eigenDecomposition error"), std::string::npos) << printed;
}

// ------------------------------------------------------ axis-aligned projection

namespace {

// 4 points x 6 dims; value of point i in dim d is (d + 1) * i + d * d * (i % 2).
std::unique_ptr<PointSet> SixDimSet()
{
    std::vector<float> values;
    for (int i = 0; i < 4; ++i)
        for (int d = 0; d < 6; ++d) values.push_back(static_cast<float>((d + 1) * i + d * d * (i % 2)));
    return MakeSet(values, 6);
}

std::vector<float> CentredColumn(const PointSet& set, int d)
{
    const size_t D = set.m_dimMask.size();
    const size_t n = set.m_values.size() / D;
    double mean = 0;
    for (size_t i = 0; i < n; ++i) mean += set.m_values[i * D + d];
    mean /= n;
    std::vector<float> column;
    for (size_t i = 0; i < n; ++i) column.push_back(static_cast<float>(set.m_values[i * D + d] - mean));
    return column;
}

}  // namespace

TEST(DimReductionEngines, AxisAlignedProjectionShowsTheChosenDimensions)
{
    auto set = SixDimSet();
    AxisAlignedProjection engine(3, 1);
    std::string printed;
    auto result = Embed(engine, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    const auto x = CentredColumn(*set, 3), y = CentredColumn(*set, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(result->originalPositions[2 * i], x[i]) << i;
        EXPECT_FLOAT_EQ(result->originalPositions[2 * i + 1], y[i]) << i;
    }
    EXPECT_NE(printed.find("Axis Aligned projection: rangeX: "), std::string::npos);
    EXPECT_FLOAT_EQ(result->maxX - result->minX, x[3] - x[0]);

    // Dimensions 0 and 1 left out: 2 and 5 are packed columns 0 and 3.
    set->m_dimMask = {false, false, true, true, true, true};
    AxisAlignedProjection packed(2, 5);
    result = Embed(packed, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    auto* linear = dynamic_cast<LinearProjectionEmbeddingResult*>(result.get());
    ASSERT_NE(linear, nullptr);
    ASSERT_EQ(linear->basis.rows(), 4);
    EXPECT_EQ(linear->basis(0, 0), 1.0f);
    EXPECT_EQ(linear->basis(3, 1), 1.0f);
    EXPECT_EQ(linear->basis.sum(), 2.0f);
    const auto x2 = CentredColumn(*set, 2), y5 = CentredColumn(*set, 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(result->originalPositions[2 * i], x2[i]);
        EXPECT_FLOAT_EQ(result->originalPositions[2 * i + 1], y5[i]);
    }

    AxisAlignedProjection same(2, 2);
    result = Embed(same, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(result->originalPositions[2 * i], result->originalPositions[2 * i + 1]);

    // Min-max state: the normalised column less its own mean.
    set->m_dimMask.assign(6, true);
    set->m_state = PointSetMinMaxNorm;
    AxisAlignedProjection minMax(4, 0);
    result = Embed(minMax, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr);
    const std::vector<float> column4 = {0, 21, 10, 31};  // (d+1)i + 16(i%2), d = 4
    for (int i = 0; i < 4; ++i) {
        const float normalised = column4[i] / 31.0f;
        EXPECT_NEAR(result->originalPositions[2 * i], normalised - 62.0f / 124.0f, 1e-6f) << i;
        EXPECT_NEAR(result->originalPositions[2 * i + 1], i / 3.0f - 0.5f, 1e-6f) << i;
    }
}

TEST(DimReductionEngines, AxisAlignedProjectionRefusals)
{
    auto set = SixDimSet();
    std::string printed;
    AxisAlignedProjection engine(0, 1);
    EXPECT_EQ(Embed(engine, set.get(), 3, &printed), nullptr);
    EXPECT_EQ(printed, "Error AxisAlignedProjection can't have targetDim of 3\n");

    set->m_dimMask = {true, false, true, true, true, true};
    const std::vector<std::pair<int, int>> bad = {{-1, 0}, {0, 6}, {1, 2}, {2, 1}, {1000, -1000}};
    for (const auto& [x, y] : bad) {
        AxisAlignedProjection refused(x, y);
        auto result = Embed(refused, set.get(), 2, &printed);
        ExpectRefused(result, printed, std::to_string(x) + "," + std::to_string(y));
    }
    AxisAlignedProjection fine(0, 5);
    EXPECT_NE(Embed(fine, set.get(), 2, &printed), nullptr);
    set->m_state = PointSetUnknown;
    ExpectRefused(Embed(fine, set.get(), 2, &printed), printed, "state 3");
    ExpectRefused(Embed(fine, nullptr, 2, &printed), printed, "no set");
}

// ------------------------------------------------------------ linear projection

TEST(DimReductionEngines, LinearProjectionSubtractsThePackedMean)
{
    // Three points, dims 0 and 2 selected, variance-normalised state.
    auto set = MakeSet({1, 100, 2, 3, -5, 4, 8, 7, 9}, 3);
    set->m_dimMask = {true, false, true};
    set->m_state = PointSetVarianceNorm;
    const Eigen::MatrixXd rows = Packed(*set);
    ASSERT_EQ(rows.cols(), 2);
    // The normalised columns still have a mean of their own; take it by hand.
    const Eigen::RowVectorXd mean = rows.colwise().mean();

    Eigen::MatrixXf basis(2, 2);
    basis << 1, 2, -1, 0.5f;
    LinearProjection engine(basis);
    std::string printed;
    auto result = Embed(engine, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    auto* linear = dynamic_cast<LinearProjectionEmbeddingResult*>(result.get());
    ASSERT_NE(linear, nullptr);
    EXPECT_LT((linear->mean.cast<double>() - mean).cwiseAbs().maxCoeff(), 1e-6);
    for (int i = 0; i < 3; ++i) {
        const Eigen::RowVectorXd c = rows.row(i) - mean;
        EXPECT_NEAR(result->originalPositions[2 * i], c(0) - c(1), 1e-5) << i;
        EXPECT_NEAR(result->originalPositions[2 * i + 1], 2 * c(0) + 0.5 * c(1), 1e-5) << i;
    }
    // The same basis on raw values gives other positions: the mean follows the state.
    set->m_state = PointSetOriginal;
    auto raw = Embed(engine, set.get(), 2, nullptr);
    ASSERT_NE(raw, nullptr);
    // Raw means 4 and 5: point 0 centred is (-3, -3).
    EXPECT_NEAR(raw->originalPositions[1], 2 * -3.0 + 0.5 * -3.0, 1e-5);

    // One axis of a three-dimensional set: the cost is the hand residual.
    set->m_dimMask.assign(3, true);
    Eigen::MatrixXf axis = Eigen::MatrixXf::Zero(3, 1);
    axis(1, 0) = 1;
    LinearProjection single(axis);
    auto one = Embed(single, set.get(), 1, &printed);
    ASSERT_NE(one, nullptr) << printed;
    float total = -1;
    const std::vector<float>* cost = nullptr;
    TestSupport::CaptureStdout([&] { cost = one->GetPerPointCost(total); });
    ASSERT_NE(cost, nullptr);
    // Point 0 centred: (1 - 4, 2 - 5) in dims 0 and 2, which the axis does not see.
    EXPECT_NEAR((*cost)[0], 9.0 + 9.0, 1e-4);
}

TEST(DimReductionEngines, LinearProjectionRefusals)
{
    auto set = MakeSet({1, 2, 3, 4, 5, 6, 7, 8, 10}, 3);
    std::string printed;
    LinearProjection empty;
    EXPECT_EQ(Embed(empty, set.get(), 2, &printed), nullptr);
    EXPECT_EQ(printed, "Error LinearProjection targetDim 2 don't match the basisDim 0\n");

    Eigen::MatrixXf twoRows = Eigen::MatrixXf::Identity(2, 2);
    LinearProjection wrongRows(twoRows);
    ExpectRefused(Embed(wrongRows, set.get(), 2, &printed), printed, "two rows for three dimensions");
    set->m_dimMask = {true, false, true};
    auto result = Embed(wrongRows, set.get(), 2, &printed);
    ASSERT_NE(result, nullptr) << printed;
    EXPECT_TRUE(Positions(*result).allFinite());

    Eigen::MatrixXf nanBasis = twoRows;
    nanBasis(0, 1) = NAN;
    wrongRows.SetProjectionBasis(nanBasis);
    ExpectRefused(Embed(wrongRows, set.get(), 2, &printed), printed, "NaN basis");

    wrongRows.SetProjectionBasis(twoRows);
    set->m_state = PointSetUnknown;
    ExpectRefused(Embed(wrongRows, set.get(), 2, &printed), printed, "state 3");
    set->m_state = PointSetOriginal;
    set->m_dimMask.assign(3, false);
    ExpectRefused(Embed(wrongRows, set.get(), 2, &printed), printed, "no dimension");
    ExpectRefused(Embed(wrongRows, nullptr, 2, &printed), printed, "no set");
}
