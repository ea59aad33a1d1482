// Delete Points through the projected view's button with a clustering shown: the nodes are built
// again from the renumbered clustering, each with its kept points, the size a fresh view of those
// points gives it, and the colour it had, also when a cluster before it in the list vanished.
#include "ClusterNodeItem.h"
#include "DataOperationController.h"
#include "DataProfile.h"
#include "EmbeddingResult.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewWidget.h"
#include "TestSupport.h"
#include "../app/ScriptedDialogService.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using TestSupport::CaptureStdout;
using Ids = std::vector<int>;

namespace {

// Level-1 clusters of the first numbering: four blobs, the third a small one.
const std::vector<Ids> kClusters = {{0, 1, 2, 3, 4, 5}, {6, 7, 8, 9}, {10, 11, 12}, {13, 14, 15, 16, 17}};

// A projected view of points (x, y, id) embedded at (x, y) with a clustering of one level.
struct View {
    View()
    {
        controller.SetDataProfile(&profile);
        widget.resize(900, 700);
        widget.show();
    }
    // The points of the given ids (in that order) and their clusters, restricted to them.
    void Show(const Ids& ids)
    {
        Zelvo::HDpointSet<float>& set = profile.GetPointSet();
        set.m_dimMask.assign(3, true);
        set.m_dimLabels = {"x", "y", "id"};
        std::vector<float> xy;
        std::string tree = "+(N)";
        for (size_t c = 0; c < kClusters.size(); ++c) {
            std::string leaves;
            for (size_t row = 0; row < ids.size(); ++row) {
                const int id = ids[row];
                if (std::count(kClusters[c].begin(), kClusters[c].end(), id))
                    leaves += "+(L" + std::to_string(row) + ")-";
            }
            if (!leaves.empty()) tree += "+(N)" + leaves + "-(N)";
        }
        for (int id : ids) {
            int cluster = 0;
            while (!std::count(kClusters[cluster].begin(), kClusters[cluster].end(), id)) ++cluster;
            const float x = 60.0f * cluster + 4.0f * (id % 3), y = 5.0f * (id % 4) + (cluster % 2) * 30.0f;
            set.m_values.insert(set.m_values.end(), {x, y, static_cast<float>(id)});
            xy.insert(xy.end(), {x, y});
        }
        set.UpdateDimensionMinMaxMeanVariance();
        CaptureStdout([&] {
            profile.GetColorMap().SetDirectory("./colorMaps/");
            profile.GetColorMap().loadColorMap("./colorMaps/spectralColorMap.xml");
            widget.SetModelController(&profile, &controller);
            profile.SetCurrentEmbeddingResult(
                std::make_unique<Zelvo::EmbeddingResult>(xy.data(), 2, static_cast<int>(ids.size()), &set));
            auto clustering = std::make_unique<Zelvo::ClusteringResult>();
            clustering->SetSerializedHierarchyString(tree);
            profile.SetCurrentClusteringResult(std::move(clustering));
        });
    }
    // Per node: the ids of its points (read from the point set), its colour and radius.
    struct Node {
        QRgb colour;
        float radius;
    };
    std::map<Ids, Node> Nodes()
    {
        std::map<Ids, Node> nodes;
        const std::vector<float>& values = profile.GetPointSet().m_values;
        for (Zelvo::ClusterNodeItem* item : widget.GetScene().GetNodeItems()) {
            Ids ids;
            for (int row : *item->GetAllChildrenPointIndex()) ids.push_back(static_cast<int>(values[size_t(row) * 3 + 2]));
            std::sort(ids.begin(), ids.end());
            EXPECT_TRUE(nodes.emplace(ids, Node{item->GetColor().rgb(), item->GetRadius()}).second);
            // Coloured by cluster: each shown point in its node's colour, in the item and the profile.
            for (QGraphicsItem* child : item->childItems()) {
                if (child->type() != Zelvo::PointGraphicsItem::Type || !child->isVisible()) continue;
                EXPECT_EQ(static_cast<Zelvo::PointGraphicsItem*>(child)->GetColor().rgb(), item->GetColor().rgb());
            }
            for (int row : *item->GetAllChildrenPointIndex())
                EXPECT_EQ((*profile.GetPointColors())[row].rgb(), item->GetColor().rgb()) << "row " << row;
        }
        return nodes;
    }

    Zelvo::DataProfile profile;
    Zelvo::DataOperationController controller;
    Zelvo::ProjectedViewWidget widget;
};

}  // namespace

TEST(NodeRebuild, DeletePointsKeepsEachNodesPointsAndColourAtTheSizeOfAFreshView)
{
    TestSupport::InSourceTree inSourceTree;
    ScriptedDialogService dialogs;
    Ids all(18);
    for (int i = 0; i < 18; ++i) all[i] = i;
    View subject;
    subject.Show(all);
    std::map<int, QRgb> colourOfCluster;
    for (const auto& [ids, node] : subject.Nodes())
        for (size_t c = 0; c < kClusters.size(); ++c)
            if (ids == kClusters[c]) colourOfCluster[static_cast<int>(c)] = node.colour;
    ASSERT_EQ(colourOfCluster.size(), kClusters.size());

    // Deletions by id: the small cluster in the middle with a point of each neighbour, then the
    // second cluster, now in the middle itself, then a point of the last. Points 0, 14 and 15
    // stay: the embedding keeps its extent, which sizes the nodes of both views alike.
    const std::vector<Ids> steps = {{11, 2, 12, 16, 10}, {6, 7, 8, 9}, {17}};
    std::set<int> gone;
    for (const Ids& step : steps) {
        SCOPED_TRACE(::testing::PrintToString(step));
        // Point items keep their first numbering; their point-set rows move with each deletion.
        for (int id : step) subject.widget.GetScene().GetPointItems()[id]->setSelected(true);
        CaptureStdout([&] { subject.widget.pushButton_deletePoints->click(); });
        gone.insert(step.begin(), step.end());
        Ids kept;
        for (int id : all)
            if (!gone.count(id)) kept.push_back(id);
        ASSERT_EQ(subject.profile.GetPointSet().GetPointCount(), static_cast<int>(kept.size()));
        EXPECT_TRUE(dialogs.Calls().empty());

        View fresh;
        fresh.Show(kept);
        const std::map<Ids, View::Node> truth = fresh.Nodes();
        const std::map<Ids, View::Node> seen = subject.Nodes();
        ASSERT_EQ(seen.size(), truth.size());
        for (const auto& [ids, node] : truth) {
            const auto it = seen.find(ids);
            ASSERT_NE(it, seen.end()) << "no node of " << ::testing::PrintToString(ids);
            EXPECT_FLOAT_EQ(it->second.radius, node.radius) << ::testing::PrintToString(ids);
            int cluster = 0;
            while (!std::count(kClusters[cluster].begin(), kClusters[cluster].end(), ids.front())) ++cluster;
            EXPECT_EQ(it->second.colour, colourOfCluster[cluster]) << ::testing::PrintToString(ids);
        }
    }
}
