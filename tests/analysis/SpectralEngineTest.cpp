#include "ClusteringFactory.h"
#include "ClusteringLevelFilter.h"
#include "ClusteringResult.h"
#include "SpectralClustering.h"
#include "SpectralTestHelpers.h"
#include "SubspaceClustering.h"

#include <gtest/gtest.h>

#include <set>

using namespace Zelvo;
using namespace SpectralTestHelpers;

namespace {

// The level-1 clusters of a result as sets of point indices.
std::set<std::set<int>> LevelOne(ClusteringResult& result)
{
    std::set<std::set<int>> groups;
    ClusteringLevelFilter filter(1);
    for (const auto& cluster : filter.ApplyClusterFilter(result)) {
        const std::vector<int>* members = cluster->GetAllPointIndex();
        groups.insert(std::set<int>(members->begin(), members->end()));
    }
    return groups;
}

std::set<std::set<int>> Groups(const std::vector<int>& truth)
{
    std::map<int, std::set<int>> byLabel;
    for (size_t i = 0; i < truth.size(); ++i) byLabel[truth[i]].insert(int(i));
    std::set<std::set<int>> groups;
    for (auto& [label, members] : byLabel) groups.insert(members);
    return groups;
}

}  // namespace

// Through the factory and the engine: fixed and automatic counts recover well-separated
// blobs as the level-1 clusters of the result's tree.
TEST(SpectralEngine, RecoversBlobsWithFixedAndAutomaticCount)
{
    std::vector<int> truth;
    const std::vector<float> values = blobs(4, 40, 3, 7, truth);
    HDpointSet<float> set;
    fillSet(set, values, 3);
    distanceFunctor distance;

    for (int count : {4, 0}) {
        SCOPED_TRACE(count);
        std::unique_ptr<ClusteringInterface> engine =
            ClusteringFactory::FromSpectralClusteringFactory(distance, NormalizedCut, count, 0.05f);
        static_cast<SpectralClustering*>(engine.get())->SetRandomGenerator(seedRows(int(truth.size())));
        std::unique_ptr<ClusteringResult> result;
        const std::string out = TestSupport::CaptureStdout([&] { result = engine->DoClustering(&set); });
        ASSERT_NE(result, nullptr) << out;
        EXPECT_NE(out.find("CspectralClustering::eigen decomposition finished"), std::string::npos);
        EXPECT_EQ(LevelOne(*result), Groups(truth));
    }
}

TEST(SpectralEngine, FactoryBoundsTheAutomaticCountAtTen)
{
    distanceFunctor distance;
    for (int count : {0, 3, 25}) {
        auto engine = ClusteringFactory::FromSpectralClusteringFactory(distance, NormalizedCut, count, 1.0f);
        EXPECT_EQ(static_cast<SpectralClustering*>(engine.get())->GetMaxClusterCount(), 10);
        auto subspace = ClusteringFactory::FromSubspaceClusteringFactory(distance, LeastSquaresSelfRepresentation,
                                                                         NormalizedCut, count, 1.0f);
        EXPECT_EQ(static_cast<SpectralClustering*>(subspace.get())->GetMaxClusterCount(), 10);
    }
}

// Three random planes through the origin of R^8: subspace clustering separates them.
TEST(SpectralEngine, SubspaceEngineSeparatesPlanes)
{
    std::mt19937 rng(11);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    std::vector<float> values;
    std::vector<int> truth;
    const int d = 8, perPlane = 40;
    std::vector<Eigen::MatrixXf> bases;
    for (int s = 0; s < 3; ++s) {
        Eigen::MatrixXf basis(d, 2);
        for (int r = 0; r < d; ++r)
            for (int c = 0; c < 2; ++c) basis(r, c) = gauss(rng);
        bases.push_back(basis);
    }
    for (int p = 0; p < perPlane; ++p)
        for (int s = 0; s < 3; ++s) {
            const Eigen::VectorXf point = bases[s] * Eigen::Vector2f(gauss(rng), gauss(rng));
            for (int r = 0; r < d; ++r) values.push_back(point[r]);
            truth.push_back(s);
        }
    HDpointSet<float> set;
    fillSet(set, values, d);
    distanceFunctor distance;
    SubspaceClustering engine(distance, LeastSquaresSelfRepresentation, NormalizedCut, 3, 1.0f);
    engine.SetRandomGenerator(seedRows(int(truth.size())));
    std::unique_ptr<ClusteringResult> result;
    const std::string out = TestSupport::CaptureStdout([&] { result = engine.DoClustering(&set); });
    ASSERT_NE(result, nullptr) << out;
    EXPECT_EQ(LevelOne(*result), Groups(truth));
}

// Refusals come back as null results and the process goes on.
TEST(SpectralEngine, RefusalsReturnNull)
{
    distanceFunctor distance;
    HDpointSet<float> empty;
    SpectralClustering spectral(distance, NormalizedCut, 2, 1.0f, 10);
    SubspaceClustering subspace(distance, LeastSquaresSelfRepresentation, NormalizedCut, 2, 1.0f);
    TestSupport::CaptureStdout([&] {
        EXPECT_EQ(spectral.DoClustering(nullptr), nullptr);
        EXPECT_EQ(spectral.DoClustering(&empty), nullptr);
        EXPECT_EQ(subspace.DoClustering(&empty), nullptr);
    });

    HDpointSet<float> set;
    fillSet(set, {0, 0, 1, 1, 5, 5, 6, 6}, 2);
    set.m_state = PointSetUnknown;  // no packed buffer
    SpectralClustering negative(distance, NormalizedCut, 2, -1.0f, 10);
    HDpointSet<float> fine;
    fillSet(fine, {0, 0, 1, 1, 5, 5, 6, 6}, 2);
    const std::string out = TestSupport::CaptureStdout([&] {
        EXPECT_EQ(spectral.DoClustering(&set), nullptr);
        EXPECT_EQ(negative.DoClustering(&fine), nullptr);
    });
    EXPECT_NE(out.find("Error"), std::string::npos);
}
