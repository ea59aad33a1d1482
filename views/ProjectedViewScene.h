#pragma once

#include "Embedding2DPoint.h"
#include "GraphType.h"

#include <QColor>
#include <QGraphicsScene>
#include <QPolygonF>
#include <QRectF>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class xmlColorMap;

namespace Zelvo {

class ClusterNode;
class ClusterNodeGraphModel;
class ClusterNodeItem;
class ColorMapHUD;
class EmbeddingResult;
class GraphicsItemNode;
class NeighborhoodGraphGeneratorInterface;
class NodeGraphItem;
class PointGraphicsItem;
class ShowStatisticHUD;
class distanceFunctor;

// The scene of the projected view: one point item per embedded point, the cluster nodes of one
// tree level gathering their members, a neighbourhood graph between the nodes, the colourings of
// the points and the write-back of dragged positions.
//
// Numbering: item i always shows row i of the embedding. Deleting points compacts the point set,
// so the scene keeps, per item, the point-set row it shows (-1 once deleted) and translates
// through it wherever point indices are read or handed on. Indices given to or returned by the
// public operations (selection, deletion, cluster members) are point-set rows; per-point vectors
// of the embedding (cost, distortion, neighbourhood) are per embedding row.
class ProjectedViewScene : public QGraphicsScene {
    Q_OBJECT

public:
    ProjectedViewScene();
    ~ProjectedViewScene() override;
    ProjectedViewScene(const ProjectedViewScene&) = delete;
    ProjectedViewScene& operator=(const ProjectedViewScene&) = delete;

    // Shows an embedding (not owned; null only clears the cost range). The same embedding
    // again keeps its deleted points hidden; another one starts a fresh numbering.
    void SetEmbeddingResult(EmbeddingResult* embedding, bool autoScale, bool useMEB);
    // Takes the model (a different held model is deleted) and shows its nodes of level.
    void SetClusterNodeGraph(std::unique_ptr<ClusterNodeGraphModel> model, int level, int depth);
    void ChangeClusterLevel(int level);
    void ChangeNeighborGraph(GraphType type, distanceFunctor& distance);

    // Colourings. Each returns false when it refused (no embedding, a dimension out of range,
    // no values from the embedding): the colours, the mode a drag recolours by and the
    // measure's parameters then stay those of the colouring that is shown.
    bool SetDimDataColorMap(xmlColorMap* colorMap, int dimension);
    bool InitCostColorMap(xmlColorMap* colorMap, float rangePercentage);
    void UpdateCostRange(std::vector<float>* values, float& min, float& max);
    bool InitDistortionColorMap(xmlColorMap* colorMap, std::string name, float rangePercentage, float bandwidth,
                                int neighbourCount);
    void UpdateDistortionRange(std::vector<float>* values, float& min, float& max);
    void UpdateDistortionColorMap();
    bool HighlightSelectedPointNeighbor(xmlColorMap* colorMap);

    // Point-set rows of the selected point items, in selection order; refilled by every call.
    std::vector<int>* GetSelectedPointIndex();
    // Toggles the statistics box of a node while cluster info is shown.
    void AddNodeStatistic(ClusterNodeItem* item);
    // Hides the items of the given point-set rows and renumbers the rest as the point set will
    // be after the same deletion. A list the point set would refuse (a row out of range or
    // twice) changes nothing.
    void DeletePointByIndex(std::vector<int>& indices);
    // After the points were deleted from the set and the clustering renumbered with them:
    // every node is built again from its renumbered cluster (its former members less the
    // deleted points, its representative chosen again), keeping its colour; the graph follows.
    void RebuildClusterNodes();
    // Every point item's colour in item order (hidden items included).
    std::vector<QColor>* GetPointColor();
    QRectF ZoomToFitAllItem();
    void ResizingClusterNode(float scale);
    void ResizingPointItems(float scale);

    // Forgets everything shown (items, model, generator, embedding, level, depth, ranges,
    // numbering) and deletes the items; the overlays stay attached. A new embedding after it
    // starts clean.
    void Reset();

    // Lasso: selects exactly the items whose shape the polygon (scene coordinates) touches.
    void SelectByPolygon(const QPolygonF& polygon);
    // Number of selected items of any kind, kept up to date without walking the selection.
    int SelectedItemCount() const;
    // True when the selected point-set rows differ from those at the last call (one point
    // included); remembers them.
    bool TakeSelectionChange();

    // Point-set row per embedding row, -1 once deleted.
    const std::vector<int>& GetPointSetRows() const { return m_pointSetRows; }

    void SetStatisticHUD(ShowStatisticHUD* hud) { m_statisticHUD = hud; }
    ShowStatisticHUD* GetStatisticHUD() const { return m_statisticHUD; }
    void SetColorMapHUD(ColorMapHUD* hud) { m_colorMapHUD = hud; }
    ColorMapHUD* GetColorMapHUD() const { return m_colorMapHUD; }

    int GetClusterLevel() const { return m_clusterLevel; }
    int GetTreeDepth() const { return m_treeDepth; }
    EmbeddingResult* GetEmbeddingResult() const { return m_embedding; }
    ClusterNodeGraphModel* GetClusterNodeGraphModel() const { return m_model.get(); }
    const std::vector<PointGraphicsItem*>& GetPointItems() const { return m_pointItems; }
    const std::vector<ClusterNodeItem*>& GetNodeItems() const { return m_nodeItems; }
    NodeGraphItem* GetGraphItem() const { return m_graphItem; }
    GraphicsItemNode* GetRootItem() const { return m_rootItem; }
    float GetPointSize() const { return m_pointSize; }
    bool IsCostMode() const { return m_costMode; }

public slots:
    void RestoreDefault();
    void RefineSelectedClusterNode();
    void SetNodeVisibility(bool visibility);
    void SetGraphVisibility(bool visibility);
    void SetClusteringColoring(bool on);
    void SetClusterInfoVisibility(bool visibility);
    // Writes the points' scene places into the embedding when any moved; cost or distortion
    // colours follow.
    void UpdateEmbeddingPosition();

signals:
    void UpdateGraph();
    void UpdateColorMap();
    void UpdateSelection();

private slots:
    void m_parsingSelectionChanges();
    void m_updatePointsParent(ClusterNodeItem* parent);
    void m_restorePointParentByCurrentParent(ClusterNodeItem* node);
    void m_restorePointParent();
    void m_changePointItemColor(xmlColorMap* colorMap, std::vector<float>* pointValues, float min, float max);
    void m_clearEmbeddingResult();
    void m_clearClusterNode();

private:
    void m_buildPointItems(bool keepNumbering);
    void m_installClusterNodeGraph(int level, int depth);
    QColor m_nextColor();
    float m_nodeRadius(int pointCount) const;
    ClusterNodeItem* m_createNodeItem(ClusterNode* node, const QColor& color);
    // Items for the nodes (null ones skipped) in the colour given for each, gathering their
    // points; the graph follows.
    void m_showNodes(const std::vector<ClusterNode*>& nodes, const std::function<QColor(size_t)>& colourOf);
    void m_gatherMembers(const std::vector<ClusterNodeItem*>& nodes);
    void m_clearGraphItem();
    // Smallest and largest value of the shown points.
    void m_valueRange(const std::vector<float>& values, float& min, float& max) const;
    int m_itemOfRow(int row) const;
    void m_rebuildRowLookup();
    // The embedding's distortion measure, or the last one when nothing it depends on changed.
    std::vector<float>* m_distortionValues(const std::string& name);

    std::vector<PointGraphicsItem*> m_pointItems;
    std::vector<ClusterNodeItem*> m_nodeItems;
    NodeGraphItem* m_graphItem = nullptr;
    std::unique_ptr<ClusterNodeGraphModel> m_model;
    EmbeddingResult* m_embedding = nullptr;
    std::unique_ptr<NeighborhoodGraphGeneratorInterface> m_graphGenerator;
    std::vector<Embedding2DPoint> m_records;
    GraphicsItemNode* m_rootItem = nullptr;
    int m_treeDepth = -1;
    int m_clusterLevel = -1;
    std::vector<QColor> m_palette;
    int m_paletteCursor = 0;
    std::vector<QColor> m_pointColors;
    float m_pointSize = 1.0f;
    float m_nodeSize = 4.0f;
    bool m_nodeVisibility = true;
    bool m_graphVisibility = true;
    ShowStatisticHUD* m_statisticHUD = nullptr;
    ColorMapHUD* m_colorMapHUD = nullptr;
    int m_totalPointCount = 0;
    bool m_autoScaling = true;
    bool m_costMode = false;
    float m_costLow = 0, m_costHigh = 0;
    float m_costTotal = 0;
    xmlColorMap* m_costColorMap = nullptr;
    std::string m_distortionName;
    float m_distortionLow = 0, m_distortionHigh = 0;
    float m_distortionTotal = 0;
    xmlColorMap* m_distortionColorMap = nullptr;
    std::vector<int> m_selectedPointIndices;
    bool m_clusterInfoVisibility = false;

    std::vector<int> m_pointSetRows;    // per item: point-set row, -1 once deleted
    std::vector<int> m_itemOfPointRow;  // per point-set row: item, the inverse of m_pointSetRows
    std::vector<int> m_reportedSelection;  // sorted point-set rows last reported
    std::vector<float> m_writtenPositions; // scene places last built or written back, x and y per item
    // The last distortion measure and what it was computed from; the positions count up
    // whenever the embedding's positions may have changed.
    struct DistortionMeasure {
        const EmbeddingResult* embedding = nullptr;
        // The high-dimensional side: the point set's numbering, selection and normalisation.
        uint64_t numbering = 0;
        std::vector<bool> mask;
        int state = -1;
        std::string name;
        float bandwidth = 0;
        int neighbourCount = 0;
        unsigned positions = 0;
        std::vector<float> values;
        float total = 0;
    };
    DistortionMeasure m_lastDistortion;
    unsigned m_positionsVersion = 1;
    mutable int m_selectedCount = 0;
    mutable bool m_selectedCountDirty = false;
};

}  // namespace Zelvo
