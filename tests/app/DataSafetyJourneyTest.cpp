// Operations that write beside a data set, or refuse to, driven through the real window: each
// row compares every file's bytes before and after, the warnings shown, and what opens
// afterwards. No row may leave a data set that opens with other points, or show a stored
// clustering on points it was not made for.
#include "ClusterNode.h"
#include "ClusterNodeItem.h"
#include "ClusteringResult.h"
#include "GraphModel.h"
#include "HDfileIO.h"
#include "NodeGraphItem.h"
#include "TestSupport.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

using TestSupport::CaptureStdout;

namespace {

const int kRows = 100;

// Every file below the folder (its path relative to it) with its bytes.
using Files = std::map<std::string, std::string>;

Files FilesIn(const std::string& folder)
{
    Files files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).string()] = TestSupport::ReadFile(entry.path());
    return files;
}

// What the projected view shows of a clustering: the members of each node, the level and
// graph choices, the graph's edges and the points' colours.
struct ViewState {
    std::vector<std::vector<int>> nodes;
    QStringList levels, graphs;
    int level = -1, graph = -1;
    std::vector<std::pair<int, int>> edges;
    std::vector<QRgb> colours;
    bool operator==(const ViewState& o) const
    {
        return nodes == o.nodes && levels == o.levels && graphs == o.graphs && level == o.level && graph == o.graph &&
               edges == o.edges && colours == o.colours;
    }
};

std::vector<int> Ids(int first, int end)
{
    std::vector<int> ids;
    for (int i = first; i < end; ++i) ids.push_back(i);
    return ids;
}

// One window and one folder; the data set is a/x.xml, imported from a table whose first
// column is the row's own number, so a point keeps its identity on disk.
struct Journey : WindowDriver {
    Journey(ScriptedDialogService& dialogs, const std::string& folder) : WindowDriver(dialogs), folder(folder)
    {
        std::filesystem::create_directory(folder + "a");
        std::ostringstream csv;
        csv << "id,u,v\n";
        for (int r = 0; r < kRows; ++r) csv << r << ',' << (r % 3) * 10 + r % 7 * 0.3 << ',' << (r % 3) * 5 + r % 5 * 0.2 << '\n';
        TestSupport::WriteFile(folder + "table.csv", csv.str());
        Trigger("&New ...", "a/x.xml");
        Trigger("&Import CSV...", "table.csv");
    }
    // File names are below the folder.
    void Trigger(const QString& text, const std::string& name = "")
    {
        WindowDriver::Trigger(text, name.empty() ? name : folder + name);
    }
    void KMeans(int k)
    {
        Panel().spinBox_kmeansClusterNumber->setValue(k);
        Apply(1, 1);
    }
    void SaveClustering(const QString& id)
    {
        Panel().lineEdit_Clustering_IDString->setText(id);
        CaptureStdout([&] { Panel().pb_SaveClusteringResult->click(); });
    }
    void SaveEmbedding(const QString& id)
    {
        Panel().lineEdit_DimReduction_IDString->setText(id);
        CaptureStdout([&] { Panel().pb_SaveDimReductionResult->click(); });
    }
    void Load(const QString& id)
    {
        QTableWidget* table = Panel().tableWidget_ClusteringResults;
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 0)->text() == id)
                CaptureStdout([&] { qobject_cast<QPushButton*>(table->cellWidget(r, 1))->click(); });
        QCoreApplication::processEvents();
    }
    ViewState Look()
    {
        ViewState state;
        for (Zelvo::ClusterNodeItem* node : Scene().GetNodeItems())
            state.nodes.push_back(*node->GetNode()->GetCluster()->GetAllPointIndex());
        for (int i = 0; i < View().comboBox_SelectClusterLevel->count(); ++i)
            state.levels << View().comboBox_SelectClusterLevel->itemText(i);
        for (int i = 0; i < View().comboBox_NeighborGraphType->count(); ++i)
            state.graphs << View().comboBox_NeighborGraphType->itemText(i);
        state.level = View().comboBox_SelectClusterLevel->currentIndex();
        state.graph = View().comboBox_NeighborGraphType->currentIndex();
        if (Scene().GetGraphItem()) state.edges = Scene().GetGraphItem()->GetGraph()->edges;
        if (const std::vector<QColor>* colours = frame.GetDataProfile().GetPointColors())
            for (const QColor& colour : *colours) state.colours.push_back(colour.rgb());
        return state;
    }

    const std::string folder;
};

using Step = std::function<void(Journey&)>;

// A data set opened afterwards: the ids of its points and its stored clusterings. One without
// points is not opened: its description must hold the bytes of the description like.
struct Opens {
    std::string xml;
    std::vector<int> ids;
    std::vector<std::string> stored;
    const char* like = nullptr;
};

struct Row {
    const char* name;
    Step prepare;                       // up to the moment before the operation
    Step act;                           // the operation
    std::vector<std::string> warnings;  // the warnings it shows, '@' standing for the folder
    bool keepsView;                     // the projected view shows the same clustering after it
    std::set<std::string> written;      // the files it may write; every other file keeps its bytes
    std::vector<Opens> opens;           // what opens afterwards, in this order
};

class DataSafetyJourneyTest : public ::testing::Test {
protected:
    TestSupport::InSourceTree inSourceTree;
    ScriptedDialogService dialogs;
};

TEST_F(DataSafetyJourneyTest, FilesOnDiskAndWhatOpensAfterwards)
{
    const auto clustered = [](Journey& j) {
        j.Pca();
        j.KMeans(3);
        j.SaveClustering("km0");
    };
    const auto labels = [](Journey& j, const std::string& name, int lines, std::map<int, std::string> words) {
        std::string text;
        for (int r = 0; r < lines; ++r) text += (words.count(r) ? words[r] : std::to_string(r % 3)) + "\n";
        TestSupport::WriteFile(j.folder + name, text);
    };
    const std::string notMade = "Error: the points shown are those of @a/x.xml, not of @a/y.xml; nothing is stored into it";
    const std::string notLoaded = "Error: the points of @a/x.xml are not loaded; nothing ";
    // Points 40 and 41 deleted from a clustered data set with a stored clustering.
    const auto deleted = [&](Journey& j) {
        clustered(j);
        std::filesystem::create_directory(j.folder + "b");
        j.Delete({40, 41});
    };
    std::vector<int> kept = Ids(0, 40), rest = Ids(42, kRows);
    kept.insert(kept.end(), rest.begin(), rest.end());
    const Row rows[] = {
        {"Save As after Delete Points: the original keeps its points, the copy opens with the kept ones", deleted,
         [](Journey& j) { j.Trigger("&Save As...", "b/y.xml"); }, {}, true, {"b/y.xml", "b/y.bin"},
         {{"a/x.xml", Ids(0, kRows), {"km0"}}, {"b/y.xml", kept, {}}}},
        {"Save after that Save As writes the data set that was opened",
         [&](Journey& j) {
             deleted(j);
             j.Trigger("&Save As...", "b/y.xml");
         },
         [](Journey& j) { j.Trigger("&Save"); }, {}, true, {"a/x.xml", "a/x.bin"},
         {{"a/x.xml", kept, {"km0"}}, {"b/y.xml", kept, {}}}},
        {"Save As into the same folder, then Delete Points and Save in the copy: the original keeps its files",
         clustered,
         [](Journey& j) {
             j.Trigger("&Save As...", "a/z.xml");
             j.Trigger("&Open...", "a/z.xml");
             j.Pca();
             j.Delete({40, 41});
             j.Trigger("&Save");
         },
         {}, false, {"a/z.xml", "a/z.bin", "a/z_km0.bin"},
         {{"a/x.xml", Ids(0, kRows), {"km0"}}, {"a/z.xml", kept, {"km0"}}}},
        {"Save As into another folder: the copy opens there with its points and its stored clustering",
         [&](Journey& j) {
             clustered(j);
             std::filesystem::create_directory(j.folder + "b");
         },
         [](Journey& j) { j.Trigger("&Save As...", "b/y.xml"); }, {}, true, {"b/y.xml", "b/y.bin", "b/y_km0.bin"},
         {{"b/y.xml", Ids(0, kRows), {"km0"}}, {"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"New, then Save As: the copy holds nothing of the data set shown before",
         [&](Journey& j) {
             clustered(j);
             Zelvo::HDfileIO empty;
             empty.CreateNewEmptyHDdataSet((j.folder + "a/empty.xml").c_str());
             CaptureStdout([&] { ASSERT_TRUE(empty.SaveHDdataSet()); });
         },
         [](Journey& j) {
             j.Trigger("&New ...", "a/n.xml");
             j.Trigger("&Save As...", "a/m.xml");
         },
         {}, true, {"a/m.xml"}, {{"a/m.xml", {}, {}, "a/empty.xml"}, {"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"Save As beside another data set whose point file the copy's clustering would replace",
         [&](Journey& j) {
             clustered(j);
             std::filesystem::create_directory(j.folder + "b");
             std::string csv = "id,u,v\n";
             for (int r = 0; r < 5; ++r) csv += std::to_string(1000 + r) + ",1,2\n";
             TestSupport::WriteFile(j.folder + "other.csv", csv);
             Zelvo::HDfileIO other;
             other.CreateNewEmptyHDdataSet((j.folder + "b/y_km0.xml").c_str());
             CaptureStdout([&] { ASSERT_TRUE(other.ImportDataFromCSV((j.folder + "other.csv").c_str())); });
         },
         [](Journey& j) { j.Trigger("&Save As...", "b/y.xml"); },
         {"Error in saving: @b/y.xml file: its clustering result \"km0\" @b/y_km0.bin already exists, choose another "
          "name"},
         true, {}, {{"b/y_km0.xml", Ids(1000, 1005), {}}, {"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"A Save that fails (a read-only description) and is tried again: the description and the point file agree",
         deleted,
         [](Journey& j) {
             {
                 TestSupport::ReadOnly locked({j.folder + "a/x.xml"});
                 j.Trigger("&Save");
             }
             j.Trigger("&Save");
         },
         {"Error in saving: @a/x.xml file (Permission denied)"}, true, {"a/x.xml", "a/x.bin"},
         {{"a/x.xml", kept, {"km0"}}}},
        {"A Save whose kept points can't be written does not write the description either",
         [&](Journey& j) {
             deleted(j);
             j.Panel().table_DimensionProperty->item(2, 0)->setCheckState(Qt::Unchecked);
             j.Apply(0, 0);
         },
         [](Journey& j) {
             // Room for the description, not for the kept points.
             const size_t room = TestSupport::ReadFile(j.folder + "a/x.xml").size() + 64;
             ASSERT_LT(room, size_t(kRows - 2) * 3 * sizeof(float));
             TestSupport::FileSizeLimit full(room);
             j.Trigger("&Save");
         },
         {"Error: Can't write the binary file: @a/x.bin (File too large)"}, true, {}, {{"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"Import CSV over the data set on a nearly full disk: the window stays and no file changes (points)",
         [&](Journey& j) {
             clustered(j);
             std::filesystem::copy_file(TestSupport::DataPath("wine.csv"), j.folder + "wine.csv");
         },
         [](Journey& j) {
             j.Trigger("&New ...", "a/x.xml");
             TestSupport::FileSizeLimit full(4096);
             j.Trigger("&Import CSV...", "wine.csv");
         },
         {"Error: Can't write the binary file: @a/x.bin (File too large)"}, true, {}, {{"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"Import CSV over the data set on a nearly full disk: the window stays and no file changes (description)",
         [&](Journey& j) {
             clustered(j);
             TestSupport::WriteFile(j.folder + "wide.csv", TestSupport::WideTable(2, 300));
         },
         [](Journey& j) {
             j.Trigger("&New ...", "a/x.xml");
             TestSupport::FileSizeLimit full(4096);
             j.Trigger("&Import CSV...", "wide.csv");
         },
         {"Error in saving: @a/x.xml file (File too large)"}, true, {}, {{"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"New, then Save Current Result: nothing of the data set before lands in the new one", clustered,
         [](Journey& j) {
             j.Trigger("&New ...", "a/y.xml");
             j.SaveClustering("km");
             j.SaveEmbedding("e");
         },
         {notMade, notMade}, true, {}, {{"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"New at the data set's own path, then Save Current Result and Import Clustering",
         [&](Journey& j) {
             clustered(j);
             labels(j, "labels.txt", kRows, {});
         },
         [](Journey& j) {
             j.Trigger("&New ...", "a/x.xml");
             j.SaveClustering("km");
             j.Trigger("&Import Clustering...", "labels.txt");
         },
         {notLoaded + "is stored into it", notLoaded + "is imported into it"}, true, {},
         {{"a/x.xml", Ids(0, kRows), {"km0"}}}},
        {"A clustering stored after a deletion that was not saved is refused on the whole set",
         [](Journey& j) {
             j.Pca();
             j.KMeans(3);
             j.Delete(Ids(40, 58));
             j.SaveClustering("kmdel");
             j.Trigger("&Close");
             j.Trigger("&Open...", "a/x.xml");
             j.Pca();
             j.KMeans(4);
             // A level and a graph of the user's own choice, to be kept with the nodes.
             CaptureStdout([&] {
                 j.View().comboBox_SelectClusterLevel->setCurrentIndex(1);
                 j.View().comboBox_NeighborGraphType->setCurrentIndex(2);
             });
             EXPECT_EQ(j.View().comboBox_SelectClusterLevel->currentIndex(), 1);
         },
         [](Journey& j) { j.Load("kmdel"); },
         {"Error: the clustering \"kmdel\" names 82 points, the data set has 100 (18 missing); it is not loaded"},
         true, {}, {{"a/x.xml", Ids(0, kRows), {"kmdel"}}}},
        {"A cluster hierarchy cut short is not imported",
         [](Journey& j) {
             j.Pca();
             j.KMeans(3);
             Zelvo::ClusteringResult tree;
             tree.SetClusteringIndexArray({Ids(0, 50), Ids(50, kRows)});
             const std::string text = tree.GetSerializedHierarchyString();
             TestSupport::WriteFile(j.folder + "half.txt", text.substr(0, text.find("+(L66)")));
         },
         [](Journey& j) { j.Trigger("&Import Cluster Hierarchy...", "half.txt"); },
         {"Error: the cluster hierarchy @half.txt names 66 points, the data set has 100 (34 missing); it is not "
          "imported"},
         true, {}, {{"a/x.xml", Ids(0, kRows), {}}}},
        {"A label file one line short is not imported",
         [&](Journey& j) {
             j.Pca();
             j.KMeans(3);
             labels(j, "short.txt", kRows - 1, {});
         },
         [](Journey& j) { j.Trigger("&Import Clustering...", "short.txt"); },
         {"Label loading Error\nError: @short.txt holds 99 labels, the data set has 100 points; it is not imported"},
         true, {}, {{"a/x.xml", Ids(0, kRows), {}}}},
        {"Labels that are no numbers are imported as 0 and counted",
         [&](Journey& j) {
             j.Pca();
             j.KMeans(3);
             labels(j, "words.txt", kRows, {{2, "x"}, {49, ""}});
         },
         [](Journey& j) { j.Trigger("&Import Clustering...", "words.txt"); },
         {"Warning: 2 labels of @words.txt are not numbers and read as 0; the first is \"x\" in line 3"}, true,
         {"a/x.xml", "a/x_importedClusterResult.bin"}, {{"a/x.xml", Ids(0, kRows), {"importedClusterResult"}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestSupport::TempDir dir;
        Journey journey(dialogs, dir.path());
        row.prepare(journey);
        const Files before = FilesIn(dir.path());
        const ViewState shown = journey.Look();
        const size_t calls = dialogs.Calls().size();
        row.act(journey);

        QStringList warnings, expected;
        for (size_t i = calls; i < dialogs.Calls().size(); ++i)
            if (dialogs.Calls()[i].kind == "warning") warnings << dialogs.Calls()[i].text;
        for (std::string text : row.warnings) {
            for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1))
                text.replace(at, 1, dir.path());
            expected << QString::fromStdString(text);
        }
        EXPECT_EQ(warnings, expected);
        if (row.keepsView) {
            EXPECT_FALSE(shown.nodes.empty());
            EXPECT_TRUE(journey.Look() == shown) << "the view changed";
        }

        const Files after = FilesIn(dir.path());
        std::set<std::string> names;
        for (const Files* files : {&before, &after})
            for (const auto& file : *files) names.insert(file.first);
        for (const std::string& name : names) {
            if (row.written.count(name)) continue;
            EXPECT_EQ(after.count(name), before.count(name)) << name << " appeared or vanished";
            if (after.count(name) && before.count(name)) {
                EXPECT_TRUE(after.at(name) == before.at(name)) << name << " changed";
            }
        }
        for (const std::string& name : row.written) EXPECT_EQ(after.count(name), 1u) << name << " was not written";

        for (const Opens& opens : row.opens) {
            SCOPED_TRACE(opens.xml);
            if (opens.like) {
                EXPECT_EQ(TestSupport::ReadFile(dir.file(opens.xml)), TestSupport::ReadFile(dir.file(opens.like)));
                continue;
            }
            const size_t opened = dialogs.Calls().size();
            journey.Trigger("&Open...", opens.xml);
            for (size_t i = opened; i < dialogs.Calls().size(); ++i)
                EXPECT_NE(dialogs.Calls()[i].kind, "warning") << dialogs.Calls()[i].text.toStdString();
            Zelvo::HDpointSet<float>& points = journey.frame.GetDataProfile().GetPointSet();
            std::vector<int> ids;
            for (int p = 0; p < points.GetPointCount(); ++p) ids.push_back(int(points.m_values[size_t(p) * 3]));
            EXPECT_EQ(ids, opens.ids);
            std::vector<std::string> stored;
            QTableWidget* table = journey.Panel().tableWidget_ClusteringResults;
            for (int r = 0; r < table->rowCount(); ++r) stored.push_back(table->item(r, 0)->text().toStdString());
            EXPECT_EQ(stored, opens.stored);
        }
    }
}

}  // namespace
