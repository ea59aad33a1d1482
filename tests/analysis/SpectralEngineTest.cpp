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

// Through the factory and the engine: the automatic count recovers well-separated blobs as the
// level-1 clusters of the result's tree.
TEST(SpectralEngine, RecoversBlobsAsLevelOneClusters)
{
    std::vector<int> truth;
    const std::vector<float> values = blobs(4, 40, 3, 7, truth);
    HDpointSet<float> set;
    fillSet(set, values, 3);
    distanceFunctor distance;

    std::unique_ptr<ClusteringInterface> engine =
        ClusteringFactory::FromSpectralClusteringFactory(distance, NormalizedCut, 0, 0.05f);
    static_cast<SpectralClustering*>(engine.get())->SetRandomGenerator(seedRows(int(truth.size())));
    std::unique_ptr<ClusteringResult> result;
    const std::string out = TestSupport::CaptureStdout([&] { result = engine->DoClustering(&set); });
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
