// Laplacian eigenmaps say why they fail, the k-means++ tree reports its fallback split,
// and automatic spectral clustering of one point yields a result.
#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "EmbeddingTestData.h"
#include "KmTree.h"
#include "LaplacianEigenMapTapkee.h"
#include "SpectralClustering.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace Zelvo;
using TestSupport::CaptureStdout;

namespace {

std::unique_ptr<HDpointSet<float>> SetOf(const std::vector<float>& values, int d)
{
    auto set = std::make_unique<HDpointSet<float>>();
    set->m_dimMask.assign(static_cast<size_t>(d), true);
    set->m_dimension = d;
    set->m_values = values;
    set->UpdateDimensionMinMaxMeanVariance();
    return set;
}

std::unique_ptr<HDpointSet<float>> Sample(const std::string& name)
{
    const Eigen::MatrixXd table = EmbeddingTestData::ReadCsv(TestSupport::SourceDir() + "/samples/" + name, 1);
    std::vector<float> values;
    for (Eigen::Index i = 0; i < table.rows(); ++i)
        for (Eigen::Index d = 0; d < table.cols(); ++d) values.push_back(static_cast<float>(table(i, d)));
    return SetOf(values, static_cast<int>(table.cols()));
}

}  // namespace

TEST(LaplacianEigenmapFailure, NamesTheCauseAndTheRemedyBeforeTheEigenLine)
{
    struct Case {
        const char* name;
        std::unique_ptr<HDpointSet<float>> set;
        int k;
        float width;
        const char* cause;
    };
    Case cases[] = {
        // Point 2's nearest is 1, whose nearest is 0.
        {"no mutual neighbour", SetOf({0, 1, 10}, 1), 1, 1.0f, "1 of 3 points have no mutual neighbour"},
        // 0 and 1 pick each other, but exp(-1000^2) is 0.
        {"zero weights", SetOf({0, 1000, 1e5f, 1e5f + 1}, 1), 1, 1.0f, "2 of 4 points have only zero weights"},
        // The shipped samples at the form's defaults.
        {"iris", Sample("iris.csv"), 15, 30.0f, "no mutual neighbour"},
        {"wine", Sample("wine.csv"), 15, 30.0f, "only zero weights"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        distanceFunctor functor;
        functor.type = DistanceEuclidean;
        functor.mask = c.set->m_dimMask;
        LaplacianEigenMapTapkee engine(functor, c.k, c.width);
        std::unique_ptr<EmbeddingResult> result;
        const std::string out = CaptureStdout([&] { result = engine.DoEmbeding(c.set.get(), 2); });
        EXPECT_EQ(result, nullptr);
        const size_t cause = out.find(c.cause);
        const size_t eigen = out.find("Catch!!! eigenDecomposition error");
        ASSERT_NE(cause, std::string::npos) << out;
        ASSERT_NE(eigen, std::string::npos) << out;
        EXPECT_LT(cause, eigen);
        const char* remedy = std::string(c.cause).find("mutual") != std::string::npos ? "raise the neighbour count"
                                                                                       : "raise the heat-kernel width";
        EXPECT_NE(out.find(remedy, cause), std::string::npos) << out;
    }
}

TEST(KmTreeBuild, FallbackSplitOfEqualMidpointsIsReportedOncePerBuild)
{
    // 1 and the next float have a midpoint that rounds onto 1, and so have 3 and the float
    // after it: two runs that only the split by position can divide.
    const std::vector<float> points = {1.0f, std::nextafter(1.0f, 2.0f), 3.0f, std::nextafter(3.0f, 4.0f)};
    const std::string line = "To many similar values, tree build fail!!! FIXME\n";
    for (int build = 0; build < 2; ++build) {
        std::string out = CaptureStdout([&] {
            KmTree tree(4, 1, points.data());
            EXPECT_TRUE(tree.IsValid());
        });
        EXPECT_EQ(out, line);
    }
    const std::vector<float> plain = {1.0f, 2.0f, 3.0f, 4.0f};
    EXPECT_EQ(CaptureStdout([&] { KmTree tree(4, 1, plain.data()); }), "");
}

TEST(SpectralClusteringAutomatic, OnePointGivesAResultWithoutClusters)
{
    auto set = SetOf({2.0f, 3.0f}, 2);
    distanceFunctor functor;
    functor.mask = set->m_dimMask;
    SpectralClustering engine(functor, SpectralClusteringType(0), 0, 1.0f, 10);
    std::unique_ptr<ClusteringResult> result;
    const std::string out = CaptureStdout([&] { result = engine.DoClustering(set.get()); });
    ASSERT_NE(result, nullptr) << out;
    EXPECT_EQ(out.find("Cluster:"), std::string::npos) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;
    ClusteringResult fromNoLabels;
    const std::vector<int> noLabels;
    CaptureStdout([&] { fromNoLabels.SetFlatClusteringLabel(&noLabels); });
    EXPECT_EQ(result->GetSerializedHierarchyString(), fromNoLabels.GetSerializedHierarchyString());
}
