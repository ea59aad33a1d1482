// Stored results never share a file, derived buffers follow the mask, and the measures of an
// embedding made before points were deleted pair its rows with the right points or refuse.
#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "HDfileIO.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace Zelvo;
using TestSupport::CaptureStdout;
using TestSupport::ReadFile;
using TestSupport::TempDir;

TEST(StoredResultFiles, AnIdentifierWhoseFileNameIsTakenIsRefused)
{
    TempDir dir;
    HDfileIO io;
    ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("s.xml").c_str()));
    ClusteringResult first, second;
    first.SetClusteringIndexArray({{0, 1}});
    second.SetClusteringIndexArray({{0}, {1}});
    ASSERT_TRUE(io.WriteClusteringResult(first, "x_y"));
    float positions[] = {0, 0, 1, 1};
    EmbeddingResult embedding(positions, 2, 2, nullptr);

    // "x/y" and "x_y" both map to s_x_y.bin; the clustering "embed_p" and the embedding "p"
    // both to s_embed_p.bin, the embedding "r" and the clustering "embed_r" to s_embed_r.bin.
    ASSERT_TRUE(io.WriteEmbeddingResult(embedding, "p"));
    ASSERT_TRUE(io.WriteClusteringResult(first, "embed_r"));
    struct Case {
        const char* identifier;
        bool clustering;
    };
    for (const Case& c : {Case{"x/y", true}, Case{"x\\y", true}, Case{"embed_p", true}, Case{"r", false}}) {
        SCOPED_TRACE(c.identifier);
        bool written = true;
        const std::string out = CaptureStdout([&] {
            written = c.clustering ? io.WriteClusteringResult(second, c.identifier)
                                   : io.WriteEmbeddingResult(embedding, c.identifier);
        });
        EXPECT_FALSE(written);
        EXPECT_EQ(out.rfind("Error", 0), 0u) << out;
        EXPECT_EQ((c.clustering ? io.GetClusteringResults() : io.GetEmbeddingResults()).count(c.identifier), 0u);
    }
    EXPECT_EQ(ReadFile(dir.file("s_x_y.bin")), first.GetSerializedHierarchyString());
    ClusteringResult read;
    CaptureStdout([&] { EXPECT_FALSE(io.ReadClusteringResult(read, "x/y")); });
    ASSERT_TRUE(io.ReadClusteringResult(read, "x_y"));
    EXPECT_EQ(read.GetSerializedHierarchyString(), first.GetSerializedHierarchyString());
    // The same identifier still replaces its own file.
    CaptureStdout([&] { EXPECT_TRUE(io.WriteClusteringResult(second, "x_y")); });
    EXPECT_EQ(ReadFile(dir.file("s_x_y.bin")), second.GetSerializedHierarchyString());
}

TEST(PointSetDerivedBuffers, FollowTheMaskAfterItChanges)
{
    // Over both dimensions point 0's nearest is point 2; over dimension 0 alone it is point 1.
    auto set = TestSupport::MakePackedPointSet({0, 0, 1, 10, 3, 0}, 2);
    CaptureStdout([&] { set->CalculateRankMatrix(); });
    EXPECT_EQ(set->m_rankMatrix[0], std::vector<int>({0, 2, 1}));

    set->m_dimMask[1] = false;  // what the panel's Apply does through the profile
    float radius = 0;
    CaptureStdout([&] {
        set->CalculateRankMatrix();
        radius = set->GetAverageRadius();
    });
    const std::vector<std::vector<int>> expected = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}};
    EXPECT_EQ(set->m_rankMatrix, expected);
    EXPECT_EQ(set->GetPackedHDpoint(2).values(), std::vector<float>({3}));
    set->calculateCenterPoint();
    ASSERT_EQ(set->m_centerPoint.size(), 1u);
    EXPECT_FLOAT_EQ(set->m_centerPoint[0], 4.0f / 3.0f);
    // Distances 4/3, 1/3 and 5/3 to the centre.
    EXPECT_FLOAT_EQ(radius, 10.0f / 9.0f);
}

namespace {

// Points and a deliberately different 2-D layout, so the co-ranking is not trivial.
const std::vector<float> kPoints = {0, 0, 2, 0, 0, 1, 5, 5, 6, 1, 3, 3};
const std::vector<float> kLayout = {0, 0, 4, 1, 1, 0, 2, 2, 3, 0, 0, 3};

struct Measures {
    std::vector<float> corank;
    float corankTotal = 0;
    float scaleRatio = 0;
    bool corankComputed = false;
};

Measures Measure(EmbeddingResult& embedding)
{
    Measures m;
    CaptureStdout([&] {
        embedding.corankK = 2;
        const std::vector<float>* values = embedding.GetPerPointDistortion(m.corankTotal, "Corank");
        m.corankComputed = values != nullptr;
        if (values) m.corank = *values;
        m.scaleRatio = embedding.GetScaleDifference();
    });
    return m;
}

}  // namespace

TEST(EmbeddingAfterDeletion, MeasuresPairRowsThroughTheTranslationOrRefuse)
{
    const int n = 6;
    auto set = TestSupport::MakePackedPointSet(kPoints, 2);
    std::vector<float> layout = kLayout;
    EmbeddingResult embedding(layout.data(), 2, n, set.get());
    std::vector<int> deleted = {1, 4};
    CaptureStdout([&] { ASSERT_TRUE(set->DeleteHDpoints(deleted)); });

    // No translation: an embedding older than its point set is refused, not measured.
    float total = 7;
    std::string out = CaptureStdout([&] { EXPECT_EQ(embedding.GetPerPointDistortion(total, "Corank"), nullptr); });
    EXPECT_NE(out.find("older than the point set"), std::string::npos) << out;
    out = CaptureStdout([&] { EXPECT_TRUE(std::isnan(embedding.GetScaleDifference())); });
    EXPECT_NE(out.find("older than the point set"), std::string::npos) << out;

    // Oracle: a fresh embedding of the kept rows on a set of the kept points.
    std::vector<float> keptPoints, keptLayout;
    for (int i : {0, 2, 3, 5}) {
        keptPoints.insert(keptPoints.end(), {kPoints[2 * i], kPoints[2 * i + 1]});
        keptLayout.insert(keptLayout.end(), {kLayout[2 * i], kLayout[2 * i + 1]});
    }
    auto keptSet = TestSupport::MakePackedPointSet(keptPoints, 2);
    EmbeddingResult fresh(keptLayout.data(), 2, 4, keptSet.get());
    const Measures expected = Measure(fresh);
    ASSERT_TRUE(expected.corankComputed);

    CaptureStdout([&] {
        EXPECT_FALSE(embedding.SetPointSetRows({0, -1, 1, 2, -1}));      // one row short
        EXPECT_FALSE(embedding.SetPointSetRows({0, -1, 1, 1, -1, 3}));   // a point twice
        EXPECT_FALSE(embedding.SetPointSetRows({0, -1, 1, 2, -1, 4}));   // no such point
        ASSERT_TRUE(embedding.SetPointSetRows({0, -1, 1, 2, -1, 3}));
    });
    const Measures translated = Measure(embedding);
    ASSERT_TRUE(translated.corankComputed);
    EXPECT_EQ(translated.corank, std::vector<float>({expected.corank[0], 0, expected.corank[1], expected.corank[2],
                                                      0, expected.corank[3]}));
    EXPECT_FLOAT_EQ(translated.corankTotal, expected.corankTotal);
    EXPECT_NEAR(translated.scaleRatio, expected.scaleRatio, 1e-5 * expected.scaleRatio);
    EXPECT_NE(translated.scaleRatio, 1.0f);

    // A later deletion makes the translation stale: refused again until it is renewed.
    std::vector<int> again = {0};
    CaptureStdout([&] { ASSERT_TRUE(set->DeleteHDpoints(again)); });
    out = CaptureStdout([&] { EXPECT_EQ(embedding.GetPerPointDistortion(total, "Corank"), nullptr); });
    EXPECT_NE(out.find("older than the point set"), std::string::npos) << out;
}
