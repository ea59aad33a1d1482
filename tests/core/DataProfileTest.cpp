#include "ClusteringResult.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "HDfileIO.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>

using Zelvo::ClusteringResult;
using Zelvo::DataProfile;
using Zelvo::EmbeddingResult;
using Zelvo::HDfileIO;
using TestSupport::CaptureStdout;
using TestSupport::ReadFile;
using TestSupport::TempDir;

namespace {

// Every emission of the profile, by name, in order.
class SignalLog {
public:
    explicit SignalLog(DataProfile& profile)
    {
        // Typed connections carry the name into the log.
        auto add = [this](const char* name) { return [this, name] { events.push_back(name); }; };
        QObject::connect(&profile, &DataProfile::PointSetChanged, add("PointSetChanged"));
        QObject::connect(&profile, &DataProfile::CurrentEmbeddingResultChanged, add("CurrentEmbeddingResultChanged"));
        QObject::connect(&profile, &DataProfile::EmbeddingResultEntryChanged, add("EmbeddingResultEntryChanged"));
        QObject::connect(&profile, &DataProfile::CurrentClusteringResultChanged, add("CurrentClusteringResultChanged"));
        QObject::connect(&profile, &DataProfile::ClusteringResultEntryChanged, add("ClusteringResultEntryChanged"));
        QObject::connect(&profile, &DataProfile::CurrentSkeletonResultChanged, add("CurrentSkeletonResultChanged"));
        QObject::connect(&profile, &DataProfile::SkeletonResultEntryChanged, add("SkeletonResultEntryChanged"));
        QObject::connect(&profile, &DataProfile::PointColorChanged, add("PointColorChanged"));
    }
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }

    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

// Counts live embeddings, so a test can see when the profile releases one.
class CountedEmbedding : public EmbeddingResult {
public:
    CountedEmbedding(int n, Zelvo::HDpointSet<float>* set)
        : EmbeddingResult(Positions(n).data(), 2, n, set)
    {
        ++s_alive;
    }
    ~CountedEmbedding() override { --s_alive; }
    static std::vector<float> Positions(int n)
    {
        std::vector<float> p(static_cast<size_t>(2 * n));
        for (size_t k = 0; k < p.size(); ++k) p[k] = static_cast<float>(k % 7);
        return p;
    }
    static int s_alive;
};
int CountedEmbedding::s_alive = 0;

std::unique_ptr<ClusteringResult> TwoClusters()
{
    auto result = std::make_unique<ClusteringResult>();
    result->SetClusteringIndexArray({{0, 1}, {2}});
    return result;
}

bool Exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// A profile on iris imported into a temporary data set, run from the source directory
// so that the colour maps are found where the application finds them.
class DataProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(io.CreateNewEmptyHDdataSet(dir.file("iris.xml").c_str()));
        CaptureStdout([&] { ASSERT_TRUE(io.ImportDataFromCSV(TestSupport::DataPath("iris.csv").c_str())); });
        bool loaded = false;
        CaptureStdout([&] { loaded = profile.SetHDfileIO(&io); });
        ASSERT_TRUE(loaded);
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    TempDir dir;
    HDfileIO io;
    DataProfile profile;

};

}  // namespace

TEST(DataProfileSignals, FileOperationsBeforeADataSetAreRefused)
{
    DataProfile profile;
    SignalLog log(profile);
    std::string id = "x";
    bool result = true;
    std::string out = CaptureStdout([&] { result = profile.SetHDfileIO(nullptr); });
    EXPECT_FALSE(result);
    EXPECT_NE(out.find("Error"), std::string::npos);

    const std::vector<std::pair<const char*, std::function<bool()>>> operations = {
        {"SaveHDpointSet", [&] { return profile.SaveHDpointSet(); }},
        {"SaveCurrentEmbeddingResult", [&] { return profile.SaveCurrentEmbeddingResult(id); }},
        {"SaveCurrentClusteringResult", [&] { return profile.SaveCurrentClusteringResult(id); }},
        {"AddClusteringResult", [&] { return profile.AddClusteringResult(id, TwoClusters()); }},
        {"SetCurrentClusteringResultByIDString", [&] { return profile.SetCurrentClusteringResultByIDString(id); }},
        {"ImportClusteringLabelTextFile",
         [&] { return profile.ImportClusteringLabelTextFile(TestSupport::DataPath("iris_labels.txt").c_str()); }},
        {"ImportClusterHierarchyFile",
         [&] { return profile.ImportClusterHierarchyFile(TestSupport::DataPath("iris.csv").c_str()); }},
    };
    for (const auto& operation : operations) {
        out = CaptureStdout([&] { result = operation.second(); });
        EXPECT_FALSE(result) << operation.first;
        EXPECT_NE(out.find("[DataProfile] Error"), std::string::npos) << operation.first << ": " << out;
    }
    CaptureStdout([&] { EXPECT_TRUE(profile.GetClusteringResultEntries()->empty()); });
    EXPECT_EQ(profile.GetCurrentClusteringResult(), nullptr);
    EXPECT_TRUE(log.Take().empty());

    // A file object that holds no data set is no data set either.
    HDfileIO closed;
    CaptureStdout([&] { profile.SetHDfileIO(&closed); });
    out = CaptureStdout([&] { result = profile.SaveHDpointSet(); });
    EXPECT_FALSE(result);
    EXPECT_NE(out.find("[DataProfile] Error"), std::string::npos);
}

TEST_F(DataProfileTest, LoadingFillsPointSetStatisticsMaskAndColorMap)
{
    Zelvo::HDpointSet<float>& set = profile.GetPointSet();
    ASSERT_EQ(set.GetPointCount(), 150);
    ASSERT_EQ(set.m_dimension, 4);
    EXPECT_EQ(set.m_dimLabels[0], "sepal length (cm)");
    EXPECT_EQ(set.m_dimMin[2], 1.0f);  // petal length, by hand from the file
    EXPECT_EQ(set.m_dimMax[2], 6.9f);
    EXPECT_EQ(profile.GetDistanceFunctor().mask, set.m_dimMask);
    EXPECT_EQ(profile.GetColorMap().GetDirectory(), "./colorMaps/");
    EXPECT_EQ(profile.GetColorMap().GetName(), "./colorMaps/spectralColorMap");
    EXPECT_GT(profile.GetColorMap().GetPointCount(), 1u);
    EXPECT_EQ(profile.GetHDfileIO(), &io);
}

TEST_F(DataProfileTest, DimensionMaskSignalsOncePerChangedBit)
{
    SignalLog log(profile);
    profile.SetDimMask(0, true);  // already selected
    EXPECT_TRUE(log.Take().empty());
    profile.SetDimMask(1, false);
    EXPECT_EQ(log.Take(), Events{"PointSetChanged"});
    EXPECT_FALSE(profile.GetPointSet().m_dimMask[1]);
    profile.SetDimMask(1, false);
    profile.SetDimMask(4, false);
    profile.SetDimMask(-1, false);
    profile.SetDimMask(1000000, true);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(profile.GetPointSet().m_dimMask.size(), 4u);
    profile.SetDimMask(1, true);
    profile.SetDimMask(3, false);
    EXPECT_EQ(log.Take(), (Events{"PointSetChanged", "PointSetChanged"}));

    // The functor takes the current mask, and a type when one is given.
    Zelvo::distanceFunctor& functor = profile.GetDistanceFunctor(Zelvo::DistanceManhattan);
    EXPECT_EQ(functor.type, Zelvo::DistanceManhattan);
    EXPECT_EQ(functor.mask, (std::vector<bool>{true, true, true, false}));
    profile.SetDimMask(3, true);
    EXPECT_EQ(profile.GetDistanceFunctor().type, Zelvo::DistanceManhattan);
    EXPECT_EQ(profile.GetDistanceFunctor().mask, std::vector<bool>(4, true));

    // Deleting points announces the change only when something was deleted.
    log.Take();
    std::vector<int> indices = {3, 0};
    profile.DeletePointByIndex(indices);
    EXPECT_EQ(log.Take(), Events{"PointSetChanged"});
    EXPECT_EQ(profile.GetPointSet().GetPointCount(), 148);
    std::vector<int> outOfRange = {500};
    CaptureStdout([&] { profile.DeletePointByIndex(outOfRange); });
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(profile.GetPointSet().GetPointCount(), 148);
}

TEST_F(DataProfileTest, ClusteringNeedsAnEmbeddingAndSignalsInOrder)
{
    SignalLog log(profile);
    QSignalSpy currentClustering(&profile, &DataProfile::CurrentClusteringResultChanged);
    Zelvo::HDpointSet<float>* set = &profile.GetPointSet();

    profile.SetCurrentEmbeddingResult(nullptr);
    EXPECT_TRUE(log.Take().empty());

    std::string out = CaptureStdout([&] { profile.SetCurrentClusteringResult(TwoClusters()); });
    EXPECT_EQ(out.rfind("[DataProfile] Warning: Embed", 0), 0u) << out;
    out = CaptureStdout([&] { profile.SetCurrentClusteringResult(nullptr); });
    EXPECT_EQ(out.rfind("[DataProfile] Warning: Embed", 0), 0u) << out;
    EXPECT_EQ(profile.GetCurrentClusteringResult(), nullptr);
    EXPECT_TRUE(log.Take().empty());

    auto embedding = std::make_unique<CountedEmbedding>(150, set);
    EmbeddingResult* embeddingPointer = embedding.get();
    profile.SetCurrentEmbeddingResult(std::move(embedding));
    EXPECT_EQ(log.Take(), (Events{"EmbeddingResultEntryChanged", "CurrentEmbeddingResultChanged"}));
    EXPECT_EQ(profile.GetCurrentEmbeddingResult(), embeddingPointer);
    profile.SetCurrentEmbeddingResult(nullptr);  // keeps the current one
    EXPECT_EQ(profile.GetCurrentEmbeddingResult(), embeddingPointer);
    EXPECT_TRUE(log.Take().empty());

    auto clustering = TwoClusters();
    ClusteringResult* clusteringPointer = clustering.get();
    profile.SetCurrentClusteringResult(std::move(clustering));
    EXPECT_EQ(log.Take(), (Events{"CurrentClusteringResultChanged", "ClusteringResultEntryChanged"}));
    EXPECT_EQ(profile.GetCurrentClusteringResult(), clusteringPointer);
    EXPECT_EQ(currentClustering.count(), 1);

    ASSERT_TRUE(profile.CleanUp());
    EXPECT_EQ(profile.GetCurrentClusteringResult(), nullptr);
    EXPECT_EQ(profile.GetCurrentEmbeddingResult(), nullptr);
    EXPECT_EQ(CountedEmbedding::s_alive, 0);
    EXPECT_TRUE(log.Take().empty());
    out = CaptureStdout([&] { profile.SetCurrentClusteringResult(TwoClusters()); });
    EXPECT_EQ(out.rfind("[DataProfile] Warning: Embed", 0), 0u) << out;
    EXPECT_EQ(profile.GetCurrentClusteringResult(), nullptr);
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(DataProfileTest, ReplacedResultsAreReleasedAfterTheSignal)
{
    Zelvo::HDpointSet<float>* set = &profile.GetPointSet();
    profile.SetCurrentEmbeddingResult(std::make_unique<CountedEmbedding>(150, set));
    ASSERT_EQ(CountedEmbedding::s_alive, 1);

    // While the listeners hear of the new embedding, the old one still exists.
    int aliveDuringSignal = -1;
    EmbeddingResult* currentDuringSignal = nullptr;
    QMetaObject::Connection connection =
        QObject::connect(&profile, &DataProfile::CurrentEmbeddingResultChanged, [&] {
            aliveDuringSignal = CountedEmbedding::s_alive;
            currentDuringSignal = profile.GetCurrentEmbeddingResult();
        });
    auto replacement = std::make_unique<CountedEmbedding>(150, set);
    EmbeddingResult* replacementPointer = replacement.get();
    profile.SetCurrentEmbeddingResult(std::move(replacement));
    QObject::disconnect(connection);
    EXPECT_EQ(aliveDuringSignal, 2);
    EXPECT_EQ(currentDuringSignal, replacementPointer);
    EXPECT_EQ(CountedEmbedding::s_alive, 1);

    // A replaced clustering is freed as well (LeakSanitizer reports it otherwise).
    auto first = TwoClusters();
    ClusteringResult* firstPointer = first.get();
    profile.SetCurrentClusteringResult(std::move(first));
    EXPECT_EQ(profile.GetCurrentClusteringResult(), firstPointer);
    profile.SetCurrentClusteringResult(TwoClusters());
    EXPECT_NE(profile.GetCurrentClusteringResult(), nullptr);

    // Opening a data set releases the results of the previous one.
    HDfileIO other;
    ASSERT_TRUE(other.CreateNewEmptyHDdataSet(dir.file("wine.xml").c_str()));
    CaptureStdout([&] { ASSERT_TRUE(other.ImportDataFromCSV(TestSupport::DataPath("wine.csv").c_str())); });
    bool loaded = false;
    CaptureStdout([&] { loaded = profile.SetHDfileIO(&other); });
    EXPECT_TRUE(loaded);
    EXPECT_EQ(CountedEmbedding::s_alive, 0);
    EXPECT_EQ(profile.GetCurrentEmbeddingResult(), nullptr);
    EXPECT_EQ(profile.GetCurrentClusteringResult(), nullptr);
    EXPECT_EQ(profile.GetPointSet().GetPointCount(), 178);
    EXPECT_EQ(profile.GetPointSet().m_dimMin.size(), 13u);
}

TEST_F(DataProfileTest, SavingStoresTheCurrentResults)
{
    std::string id = "km";
    bool saved = true;
    std::string out = CaptureStdout([&] { saved = profile.SaveCurrentClusteringResult(id); });
    EXPECT_FALSE(saved);
    EXPECT_NE(out.find("[DataProfile] Error"), std::string::npos);
    out = CaptureStdout([&] { saved = profile.SaveCurrentEmbeddingResult(id); });
    EXPECT_FALSE(saved);
    EXPECT_NE(out.find("[DataProfile] Error"), std::string::npos);

    profile.SetCurrentEmbeddingResult(std::make_unique<CountedEmbedding>(150, &profile.GetPointSet()));
    profile.SetCurrentClusteringResult(TwoClusters());
    SignalLog log(profile);
    CaptureStdout([&] { saved = profile.SaveCurrentClusteringResult(id); });
    EXPECT_TRUE(saved);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(ReadFile(dir.file("iris_km.bin")), profile.GetCurrentClusteringResult()->GetSerializedHierarchyString());
    std::string embedId = "mds";
    CaptureStdout([&] { saved = profile.SaveCurrentEmbeddingResult(embedId); });
    EXPECT_TRUE(saved);
    EXPECT_EQ(ReadFile(dir.file("iris_embed_mds.bin")).size(), 1200u);

    // The description on disk lists the clustering.
    HDfileIO reopened;
    CaptureStdout([&] { ASSERT_TRUE(reopened.OpenHDdataSet(dir.file("iris.xml").c_str())); });
    EXPECT_EQ(reopened.QueryListOfClusteringResults(), std::vector<std::string>{"km"});
    EXPECT_EQ(*profile.GetClusteringResultEntries(), std::vector<std::string>{"km"});

    // The mask goes to the file object only when asked.
    profile.SetDimMask(2, false);
    EXPECT_EQ(io.GetDimensionMask(), std::vector<bool>(4, true));
    EXPECT_TRUE(profile.SaveHDpointSet());
    EXPECT_EQ(io.GetDimensionMask(), (std::vector<bool>{true, true, false, true}));
}

TEST_F(DataProfileTest, LabelFilesMustHaveOneLinePerPoint)
{
    SignalLog log(profile);
    const std::string labels = ReadFile(TestSupport::DataPath("iris_labels.txt"));
    TestSupport::WriteFile(dir.file("150.txt"), labels);
    bool imported = false;
    CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("150.txt").c_str()); });
    EXPECT_TRUE(imported);
    EXPECT_EQ(log.Take(), Events{"ClusteringResultEntryChanged"});
    EXPECT_EQ(*profile.GetClusteringResultEntries(), std::vector<std::string>{"importedClusterResult"});
    EXPECT_TRUE(Exists(dir.file("iris_importedClusterResult.bin")));

    // Read back, the stored tree has one cluster per iris class, 50 points each.
    std::string id = "importedClusterResult";
    CaptureStdout([&] { ASSERT_TRUE(profile.SetCurrentClusteringResultByIDString(id)); });
    EXPECT_EQ(log.Take(), Events{"CurrentClusteringResultChanged"});
    Zelvo::hNode* root = profile.GetCurrentClusteringResult()->GetRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->children.size(), 3u);
    for (Zelvo::hNode* cluster : root->children) {
        size_t points = 0;
        for (Zelvo::hNode* leaf : cluster->GetAllChildrenLeafNode()) points += leaf->pointIndices.size();
        EXPECT_EQ(points, 50u);
    }

    // 149 lines: error, nothing stored, no signal.
    TestSupport::WriteFile(dir.file("149.txt"), labels.substr(0, labels.rfind('\n', labels.size() - 2) + 1));
    std::string out = CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("149.txt").c_str()); });
    EXPECT_FALSE(imported);
    EXPECT_EQ(out.rfind("Label loading Error", 0), 0u) << out;
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(profile.GetClusteringResultEntries()->size(), 1u);

    // A file that cannot be opened: false, silently.
    out = CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("none.txt").c_str()); });
    EXPECT_FALSE(imported);
    EXPECT_EQ(out, "");

    // A second import replaces the first under the same identifier.
    out = CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("150.txt").c_str()); });
    EXPECT_TRUE(imported);
    EXPECT_NE(out.find("Warning: Entry already existed, replace the existing entry\n"), std::string::npos);
    EXPECT_EQ(profile.GetClusteringResultEntries()->size(), 1u);
}

TEST_F(DataProfileTest, HierarchyFileStoredUnderItsPathAndReloaded)
{
    SignalLog log(profile);
    ClusteringResult source;
    std::vector<std::vector<int>> halves(2);
    for (int i = 0; i < 150; ++i) halves[size_t(i / 75)].push_back(i);
    source.SetClusteringIndexArray(halves);
    ASSERT_EQ(mkdir(dir.file("made.elsewhere").c_str(), 0700), 0);
    const std::string path = dir.file("made.elsewhere/h.txt");
    TestSupport::WriteFile(path, source.GetSerializedHierarchyString());

    bool imported = false;
    CaptureStdout([&] { imported = profile.ImportClusterHierarchyFile(path.c_str()); });
    ASSERT_TRUE(imported);
    EXPECT_EQ(log.Take(), Events{"ClusteringResultEntryChanged"});
    std::string id = dir.file("made.elsewhere/h");
    EXPECT_EQ(*profile.GetClusteringResultEntries(), std::vector<std::string>{id});
    const std::string stored = io.GetClusteringResults().at(id);
    EXPECT_EQ(stored.find('/'), std::string::npos) << stored;
    EXPECT_TRUE(Exists(io.GetDirectory() + stored));

    CaptureStdout([&] { ASSERT_TRUE(profile.SetCurrentClusteringResultByIDString(id)); });
    EXPECT_EQ(log.Take(), Events{"CurrentClusteringResultChanged"});
    EXPECT_EQ(profile.GetCurrentClusteringResult()->GetSerializedHierarchyString(), source.GetSerializedHierarchyString());

    // Missing and empty files.
    std::string out = CaptureStdout([&] { imported = profile.ImportClusterHierarchyFile(dir.file("no.txt").c_str()); });
    EXPECT_FALSE(imported);
    EXPECT_EQ(out.rfind("File not exist or empty", 0), 0u) << out;
    TestSupport::WriteFile(dir.file("empty.txt"), "");
    out = CaptureStdout([&] { imported = profile.ImportClusterHierarchyFile(dir.file("empty.txt").c_str()); });
    EXPECT_FALSE(imported);
    EXPECT_EQ(out.rfind("File not exist or empty", 0), 0u) << out;
    // A directory has a size but cannot be read as a file.
    out = CaptureStdout([&] { imported = profile.ImportClusterHierarchyFile(dir.file("made.elsewhere").c_str()); });
    EXPECT_FALSE(imported);
    EXPECT_EQ(out.rfind("Error: Fail to open: ", 0), 0u) << out;
    EXPECT_TRUE(log.Take().empty());

    // A stored clustering whose file is gone is not made current.
    ClusteringResult* current = profile.GetCurrentClusteringResult();
    std::remove((io.GetDirectory() + stored).c_str());
    bool loaded = true;
    out = CaptureStdout([&] { loaded = profile.SetCurrentClusteringResultByIDString(id); });
    EXPECT_FALSE(loaded);
    EXPECT_EQ(out.rfind("Error: Fail to open: ", 0), 0u) << out;
    EXPECT_EQ(profile.GetCurrentClusteringResult(), current);
    std::string unknown = "never";
    out = CaptureStdout([&] { loaded = profile.SetCurrentClusteringResultByIDString(unknown); });
    EXPECT_FALSE(loaded);
    EXPECT_EQ(out.rfind("Error: Can't find correspond", 0), 0u) << out;
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(DataProfileTest, AddedResultIsStoredNotKept)
{
    SignalLog log(profile);
    auto result = TwoClusters();
    const std::string text = result->GetSerializedHierarchyString();
    bool added = false;
    CaptureStdout([&] { added = profile.AddClusteringResult("external", std::move(result)); });
    EXPECT_TRUE(added);
    EXPECT_EQ(log.Take(), Events{"ClusteringResultEntryChanged"});
    EXPECT_EQ(profile.GetCurrentClusteringResult(), nullptr);
    EXPECT_EQ(ReadFile(dir.file("iris_external.bin")), text);
    std::string out = CaptureStdout([&] { added = profile.AddClusteringResult("null", nullptr); });
    EXPECT_FALSE(added);
    EXPECT_NE(out.find("Error"), std::string::npos);
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(DataProfileTest, VolumeDataSetReadsLabelsAndPoints)
{
    HDfileIO volume;
    ASSERT_TRUE(volume.CreateNewEmptyHDdataSet(dir.file("vol.xml").c_str()));
    volume.SetDataShape(0, 8, 2, 2, 2, 1);
    volume.SetBinaryFileNames("vol.bin", "", "", "vol_labels.bin");
    volume.SetDimensionProperties({true}, {"v"});
    std::vector<float> values = {0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<unsigned int> labels = {1, 1, 2, 2, 3, 3, 4, 4};
    TestSupport::WriteFile(dir.file("vol.bin"), std::string(reinterpret_cast<const char*>(values.data()), 32));
    TestSupport::WriteFile(dir.file("vol_labels.bin"), std::string(reinterpret_cast<const char*>(labels.data()), 32));
    bool loaded = false;
    const std::string out = CaptureStdout([&] { loaded = profile.SetHDfileIO(&volume); });
    EXPECT_TRUE(loaded);
    EXPECT_NE(out.find("@@@@@ read label Min:1 Max:4\n"), std::string::npos);
    EXPECT_EQ(profile.GetVolumeModel().m_voxelLabels, labels);
    EXPECT_EQ(profile.GetPointSet().m_kind, 1);
    EXPECT_EQ(profile.GetPointSet().m_values, values);
    EXPECT_EQ(profile.GetPointSet().m_dimMax[0], 7.0f);

    // X x Y x 1 is a table of points, read without any label file.
    HDfileIO flat;
    ASSERT_TRUE(flat.CreateNewEmptyHDdataSet(dir.file("flat.xml").c_str()));
    flat.SetDataShape(0, 4, 2, 2, 1, 1);
    flat.SetBinaryFileNames("flat.bin", "", "", "");
    flat.SetDimensionProperties({true}, {"v"});
    TestSupport::WriteFile(dir.file("flat.bin"), std::string(reinterpret_cast<const char*>(values.data()), 16));
    CaptureStdout([&] { loaded = profile.SetHDfileIO(&flat); });
    EXPECT_TRUE(loaded);
    EXPECT_EQ(profile.GetPointSet().m_kind, 0);
    EXPECT_EQ(profile.GetPointSet().m_values, std::vector<float>(values.begin(), values.begin() + 4));
    EXPECT_TRUE(profile.GetVolumeModel().m_voxelLabels.empty());

    // A point file that is too short is reported to the caller.
    TestSupport::WriteFile(dir.file("vol.bin"), std::string(reinterpret_cast<const char*>(values.data()), 31));
    CaptureStdout([&] { loaded = profile.SetHDfileIO(&volume); });
    EXPECT_FALSE(loaded);
    EXPECT_EQ(profile.GetPointSet().GetPointCount(), 0);
}

// Lines read as atoi reads them (leading number, trailing text ignored); a number beyond the
// int range saturates (atoi would be undefined, and in practice wraps 2147483648 to INT_MIN).
TEST_F(DataProfileTest, LabelLinesReadTheirLeadingNumber)
{
    std::string text = "\xEF\xBB\xBF";  // a byte-order mark is no part of the first label
    for (int i = 0; i < 148; ++i) text += "2abc\n";
    text += " 2147483647\n2147483648\r\n";
    TestSupport::WriteFile(dir.file("odd.txt"), text);
    bool imported = false;
    CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("odd.txt").c_str()); });
    ASSERT_TRUE(imported);
    std::string id = "importedClusterResult";
    CaptureStdout([&] { ASSERT_TRUE(profile.SetCurrentClusteringResultByIDString(id)); });
    Zelvo::hNode* root = profile.GetCurrentClusteringResult()->GetRoot();
    ASSERT_NE(root, nullptr);
    std::vector<size_t> sizes;
    for (Zelvo::hNode* cluster : root->children) {
        size_t points = 0;
        for (Zelvo::hNode* leaf : cluster->GetAllChildrenLeafNode()) points += leaf->pointIndices.size();
        sizes.push_back(points);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 148}));
}

namespace {

std::unique_ptr<ClusteringResult> FromText(const std::string& text)
{
    auto result = std::make_unique<ClusteringResult>();
    result->SetSerializedHierarchyString(text);
    return result;
}

// The iris labels of the test data as a clustering text, and the same cut short.
std::string IrisTree(size_t keepPoints = 150)
{
    std::vector<std::vector<int>> classes(3);
    for (int i = 0; i < 150; ++i) classes[size_t(i / 50)].push_back(i);
    ClusteringResult result;
    result.SetClusteringIndexArray(classes);
    const std::string text = result.GetSerializedHierarchyString();
    return keepPoints >= 150 ? text : text.substr(0, text.find("+(L" + std::to_string(keepPoints) + ")"));
}

size_t LeafCount(Zelvo::hNode* node)
{
    size_t points = 0;
    for (Zelvo::hNode* leaf : node->GetAllChildrenLeafNode()) points += leaf->pointIndices.size();
    return points;
}

}  // namespace

// A stored or imported clustering is shown only when it names each point of the set exactly
// once; otherwise it is refused with both counts and the current clustering stays.
TEST_F(DataProfileTest, AClusteringThatDoesNotFitThePointsIsRefused)
{
    profile.SetCurrentEmbeddingResult(std::make_unique<CountedEmbedding>(150, &profile.GetPointSet()));
    profile.SetCurrentClusteringResult(TwoClusters());
    const ClusteringResult* shown = profile.GetCurrentClusteringResult();
    SignalLog log(profile);
    const struct {
        std::string text;
        std::string refusal;  // "" when it fits
    } cases[] = {
        {IrisTree(), ""},
        {IrisTree(82), "Error: the clustering \"x\" names 82 points, the data set has 150 (68 missing); it is not loaded"},
        {IrisTree() + "+(L3)-+(L150)-+(L151)-",
         "Error: the clustering \"x\" names 153 points, the data set has 150 (2 not in the set, 1 named again); it "
         "is not loaded"},
        {IrisTree() + "+(L7)-",
         "Error: the clustering \"x\" names 151 points, the data set has 150 (1 named again); it is not loaded"},
        {"+(N)+(N", "Error: the clustering \"x\" names 0 points, the data set has 150 (150 missing); it is not loaded"},
        {"+(N)--", "Error: the clustering \"x\" holds no cluster tree; it is not loaded"},
    };
    std::string id = "x";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusal);
        CaptureStdout([&] { ASSERT_TRUE(io.WriteClusteringResult(*FromText(c.text), id)); });
        bool loaded = false;
        const std::string out = CaptureStdout([&] { loaded = profile.SetCurrentClusteringResultByIDString(id); });
        EXPECT_EQ(loaded, c.refusal.empty());
        if (c.refusal.empty()) {
            EXPECT_EQ(log.Take(), Events{"CurrentClusteringResultChanged"});
            shown = profile.GetCurrentClusteringResult();
        } else {
            EXPECT_NE(out.find(c.refusal + "\n"), std::string::npos) << out;
            EXPECT_TRUE(log.Take().empty());
        }
        EXPECT_EQ(profile.GetCurrentClusteringResult(), shown);
    }

    // A hierarchy file cut short, or naming a point twice, is not imported; a whole one is.
    const struct {
        std::string name, text, counts;
    } refusedFiles[] = {
        {"half.txt", IrisTree(84), "84 points, the data set has 150 (66 missing)"},
        {"twice.txt", IrisTree() + "+(L149)-", "151 points, the data set has 150 (1 named again)"},
    };
    const std::string description = ReadFile(dir.file("iris.xml"));
    bool imported = true;
    for (const auto& file : refusedFiles) {
        SCOPED_TRACE(file.name);
        const std::string path = dir.file(file.name);
        TestSupport::WriteFile(path, file.text);
        const std::string out = CaptureStdout([&] { imported = profile.ImportClusterHierarchyFile(path.c_str()); });
        EXPECT_FALSE(imported);
        EXPECT_EQ(out, "Error: the cluster hierarchy " + path + " names " + file.counts + "; it is not imported\n");
        EXPECT_TRUE(log.Take().empty());
        EXPECT_EQ(ReadFile(dir.file("iris.xml")), description);
        EXPECT_EQ(profile.GetCurrentClusteringResult(), shown);
    }
    const std::string whole = dir.file("whole.txt");
    TestSupport::WriteFile(whole, IrisTree());
    CaptureStdout([&] { imported = profile.ImportClusterHierarchyFile(whole.c_str()); });
    EXPECT_TRUE(imported);
    EXPECT_EQ(log.Take(), Events{"ClusteringResultEntryChanged"});
}

// Label lines that hold no number read as 0, and the import says how many there were.
TEST_F(DataProfileTest, LabelsThatAreNoNumbersAreCounted)
{
    std::string text;
    for (int i = 0; i < 150; ++i) text += i == 4 ? "x7\n" : i == 9 ? "\n" : i == 20 ? " -\n" : "1\n";
    TestSupport::WriteFile(dir.file("words.txt"), text);
    bool imported = false;
    const std::string out =
        CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("words.txt").c_str()); });
    EXPECT_TRUE(imported);
    EXPECT_NE(out.find("Warning: 3 labels of " + dir.file("words.txt") +
                       " are not numbers and read as 0; the first is \"x7\" in line 5\n"),
              std::string::npos)
        << out;
    std::string id = "importedClusterResult";
    CaptureStdout([&] { ASSERT_TRUE(profile.SetCurrentClusteringResultByIDString(id)); });
    ASSERT_EQ(profile.GetCurrentClusteringResult()->GetRoot()->children.size(), 2u);
    EXPECT_EQ(LeafCount(profile.GetCurrentClusteringResult()->GetRoot()->children[0]), 3u);

    // Numbers only: no word about it; a count that does not fit names both counts.
    TestSupport::WriteFile(dir.file("short.txt"), "1\n2\n");
    const std::string refused =
        CaptureStdout([&] { imported = profile.ImportClusteringLabelTextFile(dir.file("short.txt").c_str()); });
    EXPECT_FALSE(imported);
    EXPECT_EQ(refused, "Label loading Error\n!!!!\nError: " + dir.file("short.txt") +
                           " holds 2 labels, the data set has 150 points; it is not imported\n");
}

// After New (or Open of another data set without reading it), the points and the results made
// from them are the previous data set's: nothing of them is stored into the new one, and
// nothing stored in it is shown on them.
TEST_F(DataProfileTest, ResultsAreStoredOnlyIntoTheDataSetTheyWereMadeFrom)
{
    profile.SetCurrentEmbeddingResult(std::make_unique<CountedEmbedding>(150, &profile.GetPointSet()));
    profile.SetCurrentClusteringResult(FromText(IrisTree()));
    std::string id = "km";
    TestSupport::WriteFile(dir.file("labels.txt"), ReadFile(TestSupport::DataPath("iris_labels.txt")));
    TestSupport::WriteFile(dir.file("tree.txt"), IrisTree());
    const std::function<bool()> stores[] = {
        [&] { return profile.SaveCurrentClusteringResult(id); },
        [&] { return profile.SaveCurrentEmbeddingResult(id); },
        [&] { return profile.AddClusteringResult(id, FromText(IrisTree())); },
        [&] { return profile.ImportClusteringLabelTextFile(dir.file("labels.txt").c_str()); },
        [&] { return profile.ImportClusterHierarchyFile(dir.file("tree.txt").c_str()); },
        [&] { return profile.SetCurrentClusteringResultByIDString(id); },
    };
    const std::string iris = dir.file("iris.xml"), other = dir.file("other.xml");
    const struct {
        std::function<void()> start;
        std::string why;
        size_t entries;  // the stored clusterings the file object lists then
    } starts[] = {
        {[&] { io.CreateNewEmptyHDdataSet(other.c_str()); },
         "Error: the points shown are those of " + iris + ", not of " + other, 0},
        {[&] { io.CreateNewEmptyHDdataSet(iris.c_str()); }, "Error: the points of " + iris + " are not loaded", 0},
        {[&] { ASSERT_TRUE(io.OpenHDdataSet(iris.c_str())); }, "Error: the points of " + iris + " are not loaded", 1},
    };
    CaptureStdout([&] { ASSERT_TRUE(profile.SaveCurrentClusteringResult(id)); });
    const std::string description = ReadFile(iris);
    for (const auto& start : starts) {
        SCOPED_TRACE(start.why);
        CaptureStdout([&] { start.start(); });
        for (const auto& store : stores) {
            bool stored = true;
            const std::string out = CaptureStdout([&] { stored = store(); });
            EXPECT_FALSE(stored);
            EXPECT_EQ(out.rfind(start.why + "; nothing ", 0), 0u) << out;
        }
        // Nothing was written beside either description.
        EXPECT_EQ(ReadFile(iris), description);
        EXPECT_FALSE(Exists(other));
        EXPECT_FALSE(Exists(dir.file("other_km.bin")));
        EXPECT_FALSE(Exists(dir.file("iris_embed_km.bin")));
        EXPECT_EQ(io.GetClusteringResults().size(), start.entries);
        CaptureStdout([&] { ASSERT_TRUE(io.OpenHDdataSet(iris.c_str())); });
    }
    // Reading the points again makes the data set the profile's once more.
    CaptureStdout([&] { ASSERT_TRUE(profile.SetHDfileIO(&io)); });
    profile.SetCurrentEmbeddingResult(std::make_unique<CountedEmbedding>(150, &profile.GetPointSet()));
    CaptureStdout([&] { EXPECT_TRUE(profile.SetCurrentClusteringResultByIDString(id)); });
    CaptureStdout([&] { EXPECT_TRUE(profile.SaveCurrentEmbeddingResult(id)); });
}
