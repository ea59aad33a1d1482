#pragma once

#include "ClusterNodeGraphModel.h"
#include "ClusteringResult.h"
#include "EmbeddingResult.h"
#include "HDpointSet.h"
#include "ProjectedViewGraphicsView.h"
#include "ProjectedViewScene.h"
#include "TestSupport.h"
#include "xmlColorMap.h"

#include <gtest/gtest.h>

#include <QTest>

#include <memory>
#include <vector>

// An embedding whose per-point cost the test sets, counting how often it is asked.
class ScriptedEmbedding : public Zelvo::EmbeddingResult {
public:
    using EmbeddingResult::EmbeddingResult;
    std::vector<float>* GetPerPointCost(float& total) override
    {
        ++costCalls;
        total = 1;
        return cost.empty() ? nullptr : &cost;
    }
    std::vector<float> cost;
    int costCalls = 0;
};

// A grid of cols x rows points, `spacing` apart, shown one to one by the embedding. Dimensions:
// x, y and the point's original number (an identity that survives renumbering).
class SceneFixture : public ::testing::Test {
protected:
    void MakeGrid(int cols, int rows, float spacing = 10)
    {
        std::vector<float> values, xy;
        for (int j = 0; j < rows; ++j) {
            for (int i = 0; i < cols; ++i) {
                const float id = static_cast<float>(j * cols + i);
                values.insert(values.end(), {i * spacing, j * spacing, id});
                xy.insert(xy.end(), {i * spacing, j * spacing});
            }
        }
        MakeFrom(values, xy);
    }

    // Points of 3 values each, embedded at xy.
    void MakeFrom(const std::vector<float>& values, const std::vector<float>& xy)
    {
        points.m_dimMask.assign(3, true);
        points.m_dimension = 3;
        points.m_dimLabels = {"x", "y", "id"};
        points.m_values = values;
        points.UpdateDimensionMinMaxMeanVariance();
        embedding = std::make_unique<ScriptedEmbedding>(const_cast<float*>(xy.data()), 2,
                                                        static_cast<int>(xy.size() / 2), &points);
    }

    void LoadColorMap() { colorMap.loadColorMap((TestSupport::SourceDir() + "/colorMaps/hot.xml").c_str()); }

    // Shows the embedding in a visible 800 x 600 canvas fitted to it.
    void Show()
    {
        TestSupport::CaptureStdout([&] { scene.SetEmbeddingResult(embedding.get(), false, false); });
        view.setScene(&scene);
        view.resize(800, 600);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.fitInView(scene.ZoomToFitAllItem(), Qt::KeepAspectRatio);
    }

    // The clustering of the serialised tree, shown at level 1.
    void Cluster(const std::string& tree, int depth)
    {
        clustering.SetSerializedHierarchyString(tree);
        scene.SetClusterNodeGraph(
            std::make_unique<Zelvo::ClusterNodeGraphModel>(&clustering, embedding.get(), &points), 1, depth);
    }

    QPoint ViewPoint(const QPointF& scenePoint) const { return view.mapFromScene(scenePoint); }

    // The item showing the point whose id dimension is id.
    Zelvo::PointGraphicsItem* ItemOf(int id) const { return scene.GetPointItems().at(id); }

    Zelvo::HDpointSet<float> points;
    std::unique_ptr<ScriptedEmbedding> embedding;
    Zelvo::ClusteringResult clustering;
    xmlColorMap colorMap;
    Zelvo::ProjectedViewScene scene;
    Zelvo::ProjectedViewGraphicsView view;
};
