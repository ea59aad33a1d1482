#include "ProjectedViewScene.h"

#include "ClusterNode.h"
#include "ClusterNodeGraphModel.h"
#include "ClusterNodeItem.h"
#include "ClusterSummaryItem.h"
#include "ColorMapHUD.h"
#include "EmbeddingResult.h"
#include "GraphGeneratorFactory.h"
#include "GraphicsItemNode.h"
#include "Log.h"
#include "NeighborhoodGraphGeneratorInterface.h"
#include "NodeGraphItem.h"
#include "PointGraphicsItem.h"
#include "ShowStatisticHUD.h"
#include "xmlColorMap.h"

#include <QPainterPath>
#include <QCoreApplication>
#include <QSignalBlocker>

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdlib>

namespace Zelvo {

namespace {

// A colour map entry packs red in the low byte; the scene always draws it opaque.
QColor UnpackColor(uint32_t packed)
{
    return QColor(qRgb(packed & 0xff, (packed >> 8) & 0xff, (packed >> 16) & 0xff));
}

// The map's colour for t; a non-finite t (an empty range) takes the low end.
QColor ColorFor(const xmlColorMap& map, double t)
{
    if (!std::isfinite(t)) t = 0;
    return UnpackColor(map.getColor(static_cast<float>(t)));
}

double SquaredDistanceToSegment(const QPointF& a, const QPointF& b, double x, double y)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((x - a.x()) * dx + (y - a.y()) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double px = a.x() + t * dx - x, py = a.y() + t * dy - y;
    return px * px + py * py;
}

// Decides for many discs whether they touch a polygon: inside by the crossing test, or near
// an edge. Edges are bucketed by rows of the polygon's extent, so each disc looks only at the
// few edges of its own rows.
class PolygonDiscTest {
public:
    explicit PolygonDiscTest(const QPolygonF& polygon) : m_polygon(polygon)
    {
        if (!m_polygon.isEmpty() && m_polygon.first() != m_polygon.last()) m_polygon << m_polygon.first();
        m_bounds = m_polygon.boundingRect();
        const int edges = std::max(0, static_cast<int>(m_polygon.size()) - 1);
        m_rows = std::max(1, std::min(1024, edges));
        m_rowHeight = m_bounds.height() > 0 ? m_bounds.height() / m_rows : 1.0;
        m_buckets.resize(m_rows);
        for (int e = 0; e < edges; ++e) {
            const double y0 = std::min(m_polygon[e].y(), m_polygon[e + 1].y());
            const double y1 = std::max(m_polygon[e].y(), m_polygon[e + 1].y());
            for (int r = m_row(y0); r <= m_row(y1); ++r) m_buckets[r].push_back(e);
        }
    }

    bool Touches(double x, double y, double radius) const
    {
        if (m_polygon.size() < 2) return false;
        if (x + radius < m_bounds.left() || x - radius > m_bounds.right() || y + radius < m_bounds.top() ||
            y - radius > m_bounds.bottom())
            return false;
        // Crossing test over the edges that span the point's row.
        if (y >= m_bounds.top() && y <= m_bounds.bottom()) {
            bool inside = false;
            for (int e : m_buckets[m_row(y)]) {
                const QPointF& a = m_polygon[e];
                const QPointF& b = m_polygon[e + 1];
                if ((a.y() > y) != (b.y() > y)) {
                    const double cx = a.x() + (y - a.y()) * (b.x() - a.x()) / (b.y() - a.y());
                    if (x < cx) inside = !inside;
                }
            }
            if (inside) return true;
        }
        if (radius <= 0) return false;
        const double r2 = radius * radius;
        int lastEdge = -1;
        for (int r = m_row(y - radius); r <= m_row(y + radius); ++r) {
            for (int e : m_buckets[r]) {
                if (e == lastEdge) continue;
                lastEdge = e;
                if (SquaredDistanceToSegment(m_polygon[e], m_polygon[e + 1], x, y) <= r2) return true;
            }
        }
        return false;
    }

private:
    int m_row(double y) const
    {
        const double r = std::floor((y - m_bounds.top()) / m_rowHeight);
        return static_cast<int>(std::clamp(r, 0.0, static_cast<double>(m_rows - 1)));
    }

    QPolygonF m_polygon;
    QRectF m_bounds;
    int m_rows = 1;
    double m_rowHeight = 1;
    std::vector<std::vector<int>> m_buckets;
};

}  // namespace

ProjectedViewScene::ProjectedViewScene()
{
    // The single seeding of the process's random sequence; later engines draw from it.
    std::srand(0);
    // A full frame or a lasso over every point is faster without the BSP index.
    setItemIndexMethod(QGraphicsScene::NoIndex);
    m_rootItem = new GraphicsItemNode();
    addItem(m_rootItem);
    m_palette = {QColor(110, 81, 96),  QColor(197, 227, 132), QColor(205, 164, 222), QColor(50, 74, 178),
                 QColor(119, 221, 231), QColor(253, 94, 83),  QColor(69, 206, 162),  QColor(252, 108, 133),
                 QColor(113, 75, 35),  QColor(21, 128, 120),  QColor(205, 74, 76),   QColor(255, 189, 136),
                 QColor(180, 103, 77)};
    connect(this, &QGraphicsScene::selectionChanged, this, &ProjectedViewScene::m_parsingSelectionChanges);
}

ProjectedViewScene::~ProjectedViewScene()
{
    // Items before the model: node items point at its nodes.
    clear();
}

void ProjectedViewScene::m_parsingSelectionChanges()
{
    m_selectedCountDirty = true;
    // Selection changes the faint drawing of every other point.
    update();
}

int ProjectedViewScene::SelectedItemCount() const
{
    if (m_selectedCountDirty) {
        m_selectedCount = static_cast<int>(selectedItems().size());
        m_selectedCountDirty = false;
    }
    return m_selectedCount;
}

QColor ProjectedViewScene::m_nextColor()
{
    ++m_paletteCursor;
    if (m_paletteCursor >= static_cast<int>(m_palette.size())) m_paletteCursor = 0;
    return m_palette[m_paletteCursor];
}

// ---- embedding ---------------------------------------------------------------------------

void ProjectedViewScene::SetEmbeddingResult(EmbeddingResult* embedding, bool autoScale, bool useMEB)
{
    m_autoScaling = autoScale;
    ++m_positionsVersion;  // scaling rewrites the positions
    const bool sameEmbedding = embedding && embedding == m_embedding &&
                               m_pointSetRows.size() == static_cast<size_t>(embedding->pointCount);
    m_embedding = embedding;
    m_costLow = m_costHigh = 0;
    m_distortionLow = m_distortionHigh = 0;
    if (!embedding) return;

    const float ratio = autoScale ? embedding->AutoScaling(useMEB) : embedding->GetScaleDifference();
    const float xRange = embedding->maxX - embedding->minX;
    const float yRange = embedding->maxY - embedding->minY;
    if (m_statisticHUD) {
        m_statisticHUD->SetFloatEntry("scaleRatio", ratio);
        m_statisticHUD->SetFloatEntry("1-range", xRange);
        m_statisticHUD->SetFloatEntry("2-range", yRange);
    }
    // A collinear embedding or a single point has a zero extent; the larger one still sizes
    // the points then.
    float smaller = std::min(xRange, yRange), larger = std::max(xRange, yRange);
    m_pointSize = smaller > 0 ? smaller / 100 : (larger > 0 ? larger / 100 : 1.0f);
    if (!std::isfinite(m_pointSize)) m_pointSize = 1.0f;
    if (m_pointSize < 1.0f) Log::Puts("Points maybe too small");
    m_nodeSize = 4 * m_pointSize;

    m_buildPointItems(sameEmbedding);

    if (m_model) {
        m_paletteCursor = 0;
        m_model->UpdateEmbeddingResult(embedding);
        m_installClusterNodeGraph(m_clusterLevel, m_treeDepth);
    }
}

void ProjectedViewScene::m_buildPointItems(bool keepNumbering)
{
    // Old items go before the records they point into change.
    m_clearEmbeddingResult();
    const int n = std::max(0, m_embedding->pointCount);
    m_records.assign(static_cast<size_t>(n), Embedding2DPoint());
    if (!keepNumbering) {
        m_pointSetRows.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) m_pointSetRows[i] = i;
    }
    m_pointItems.resize(static_cast<size_t>(n));
    const bool hasPositions = m_embedding->dim >= 2 &&
                              m_embedding->originalPositions.size() >= static_cast<size_t>(n) * m_embedding->dim;
    for (int i = 0; i < n; ++i) {
        Embedding2DPoint& record = m_records[i];
        if (hasPositions) {
            const Position2D p = m_embedding->Get2Dpoint(i);
            record.x = p.x;
            record.y = p.y;
        }
        record.pointIndex = i;
        record.pointSize = m_pointSize;
        // The root is out of the scene here, so adding children costs no scene bookkeeping.
        m_pointItems[i] = new PointGraphicsItem(&record, m_rootItem);
        if (m_pointSetRows[i] < 0) m_pointItems[i]->setVisible(false);
    }
    m_rebuildRowLookup();
    m_writtenPositions.resize(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        m_writtenPositions[2 * i] = m_records[i].x;
        m_writtenPositions[2 * i + 1] = m_records[i].y;
    }
    addItem(m_rootItem);
    m_selectedCountDirty = true;
    update();
}

void ProjectedViewScene::m_rebuildRowLookup()
{
    int rows = 0;
    for (int row : m_pointSetRows) rows = std::max(rows, row + 1);
    m_itemOfPointRow.assign(static_cast<size_t>(rows), -1);
    for (size_t i = 0; i < m_pointSetRows.size(); ++i)
        if (m_pointSetRows[i] >= 0) m_itemOfPointRow[m_pointSetRows[i]] = static_cast<int>(i);
}

int ProjectedViewScene::m_itemOfRow(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_itemOfPointRow.size()) return -1;
    const int item = m_itemOfPointRow[row];
    return item >= 0 && static_cast<size_t>(item) < m_pointItems.size() ? item : -1;
}

void ProjectedViewScene::m_clearEmbeddingResult()
{
    // Every item of the scene is this scene's own. QGraphicsScene::clear drops its item index
    // first; removing 100,000 items one by one from the index takes quadratic time.
    m_nodeItems.clear();
    m_graphItem = nullptr;
    m_pointItems.clear();
    // Items added since the event loop last ran wait in a list to be polished, from which each
    // removal is a linear search: deliver that pending call first.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    clear();
    m_rootItem = new GraphicsItemNode();
    m_selectedCountDirty = true;
}

// ---- cluster nodes -----------------------------------------------------------------------

void ProjectedViewScene::SetClusterNodeGraph(std::unique_ptr<ClusterNodeGraphModel> model, int level, int depth)
{
    m_paletteCursor = 0;
    if (model.get() != m_model.get()) {
        // The node items point at the old model's nodes.
        m_clearClusterNode();
        m_model = std::move(model);
    }
    m_installClusterNodeGraph(level, depth);
}

void ProjectedViewScene::m_installClusterNodeGraph(int level, int depth)
{
    m_paletteCursor = 0;
    m_treeDepth = depth;
    m_clusterLevel = level;
    ChangeClusterLevel(level);
    for (ClusterNodeItem* item : m_nodeItems) item->SetNodeVisibility(m_nodeVisibility);
    update();
    if (m_graphItem) m_graphItem->setVisible(m_graphVisibility);
    emit UpdateColorMap();
}

float ProjectedViewScene::m_nodeRadius(int pointCount) const
{
    const float share = m_totalPointCount > 0 ? static_cast<float>(pointCount) / m_totalPointCount : 0.0f;
    return static_cast<float>(share * m_nodeSize + 0.5 * m_nodeSize);
}

ClusterNodeItem* ProjectedViewScene::m_createNodeItem(ClusterNode* node, const QColor& color)
{
    auto* item = new ClusterNodeItem(node, m_nodeRadius(node->GetPointCount()));
    // The node stands at its representative point as this scene numbers it.
    const int representative = m_itemOfRow(node->GetCluster()->GetRepresentativeIndex());
    if (representative >= 0) {
        const Embedding2DPoint& record = m_records[representative];
        item->SetOrigin(QPointF(record.x, record.y));
        item->setPos(item->GetOrigin());
    }
    item->SetColor(color);
    item->SetNodeVisibility(m_nodeVisibility);
    return item;
}

void ProjectedViewScene::ChangeClusterLevel(int level)
{
    if (!m_model) return;
    HDpointSet<float>* points = m_model->GetPointSet();
    m_totalPointCount = points ? points->GetPointCount() : 0;
    m_paletteCursor = 0;
    m_clearClusterNode();
    m_model->UpdateClusterNodeByLevel(level);
    m_showNodes(m_model->GetClusterNodes(), [this](size_t) { return m_nextColor(); });
}

void ProjectedViewScene::m_showNodes(const std::vector<ClusterNode*>& nodes,
                                     const std::function<QColor(size_t)>& colourOf)
{
    std::vector<ClusterNodeItem*> created;
    for (size_t k = 0; k < nodes.size(); ++k) {
        if (!nodes[k]) continue;
        ClusterNodeItem* item = m_createNodeItem(nodes[k], colourOf(k));
        addItem(item);
        m_nodeItems.push_back(item);
        created.push_back(item);
    }
    m_gatherMembers(created);
    emit UpdateGraph();
    update();
}

void ProjectedViewScene::m_updatePointsParent(ClusterNodeItem* parent)
{
    if (parent) m_gatherMembers({parent});
}

void ProjectedViewScene::m_gatherMembers(const std::vector<ClusterNodeItem*>& nodes)
{
    if (nodes.empty() || m_pointItems.empty()) return;
    std::vector<ClusterNodeItem*> owner(m_pointItems.size(), nullptr);
    bool any = false;
    for (ClusterNodeItem* node : nodes) {
        const std::vector<int>* members = node->GetAllChildrenPointIndex();
        if (!members) continue;
        for (int row : *members) {
            const int item = m_itemOfRow(row);
            if (item >= 0) {
                owner[item] = node;
                any = true;
            }
        }
    }
    if (!any) return;
    // From the last child of the root on: Qt takes a child off its parent's list cheaply only
    // from the end.
    const QList<QGraphicsItem*> children = m_rootItem->childItems();
    for (qsizetype k = children.size() - 1; k >= 0; --k) {
        QGraphicsItem* child = children[k];
        if (child->type() != PointGraphicsItem::Type) continue;
        auto* point = static_cast<PointGraphicsItem*>(child);
        const int index = point->GetPointIndex();
        if (index < 0 || static_cast<size_t>(index) >= owner.size() || !owner[index]) continue;
        ClusterNodeItem* node = owner[index];
        const Embedding2DPoint& record = *point->GetRecord();
        point->setPos(QPointF(record.x, record.y) - node->pos());
        point->setParentItem(node);
    }
    m_rootItem->ChildrenMoved();
}

void ProjectedViewScene::m_restorePointParentByCurrentParent(ClusterNodeItem* node)
{
    if (!node) return;
    // Back to the computed place, shifted by as far as the node itself was dragged.
    const QPointF shift = node->pos() - node->GetOrigin();
    const QList<QGraphicsItem*> children = node->childItems();
    for (qsizetype k = children.size() - 1; k >= 0; --k) {
        QGraphicsItem* child = children[k];
        if (child->type() != PointGraphicsItem::Type) continue;
        auto* point = static_cast<PointGraphicsItem*>(child);
        const Embedding2DPoint& record = *point->GetRecord();
        point->setParentItem(m_rootItem);
        point->setPos(QPointF(record.x, record.y) + shift);
    }
    m_rootItem->ChildrenMoved();
}

void ProjectedViewScene::m_restorePointParent()
{
    for (ClusterNodeItem* node : m_nodeItems) {
        const QPointF q = node->pos();
        const QList<QGraphicsItem*> children = node->childItems();
        for (qsizetype k = children.size() - 1; k >= 0; --k) {
            QGraphicsItem* child = children[k];
            if (child->type() != PointGraphicsItem::Type) continue;
            const QPointF p = child->pos();
            child->setParentItem(m_rootItem);
            child->setPos(p + q);
        }
    }
    m_rootItem->ChildrenMoved();
}

void ProjectedViewScene::m_clearGraphItem()
{
    if (!m_graphItem) return;
    removeItem(m_graphItem);
    delete m_graphItem;
    m_graphItem = nullptr;
}

void ProjectedViewScene::m_clearClusterNode()
{
    m_restorePointParent();
    for (ClusterNodeItem* item : m_nodeItems) {
        removeItem(item);
        delete item;
    }
    m_nodeItems.clear();
    m_clearGraphItem();
    m_selectedCountDirty = true;
}

void ProjectedViewScene::ChangeNeighborGraph(GraphType type, distanceFunctor& distance)
{
    m_graphGenerator.reset();
    m_clearGraphItem();
    m_graphGenerator = GraphGeneratorFactory::FromNeighborhoodGraphFactory(type);
    if (m_graphGenerator && m_model) {
        std::unique_ptr<GraphModel<float>> graph = m_graphGenerator->GenerateNeighborhoodGraph(*m_model, distance);
        if (graph) {
            m_graphItem = new NodeGraphItem(&m_nodeItems, std::move(graph));
            addItem(m_graphItem);
        }
    }
    for (ClusterNodeItem* item : m_nodeItems) item->SetNodeVisibility(m_nodeVisibility);
    update();
    if (m_graphItem) m_graphItem->setVisible(m_graphVisibility);
    update();
}

void ProjectedViewScene::RefineSelectedClusterNode()
{
    const QList<QGraphicsItem*> selected = selectedItems();
    if (selected.size() != 1 || selected.first()->type() != ClusterNodeItem::Type || !m_model) return;
    auto* item = static_cast<ClusterNodeItem*>(selected.first());

    std::vector<ClusterNode*> children = m_model->RefineClusterNode(item->GetNode());
    while (children.size() == 1 && children.front()->GetPointCount() != 1)
        children = m_model->RefineClusterNode(children.front());

    m_restorePointParentByCurrentParent(item);
    std::vector<ClusterNodeItem*> created;
    for (size_t k = 0; k < children.size(); ++k) {
        ClusterNodeItem* child = m_createNodeItem(children[k], k == 0 ? item->GetColor() : m_nextColor());
        m_nodeItems.push_back(child);
        addItem(child);
        created.push_back(child);
    }
    m_gatherMembers(created);

    removeItem(item);
    m_nodeItems.erase(std::find(m_nodeItems.begin(), m_nodeItems.end(), item));
    delete item;
    m_selectedCountDirty = true;
    emit UpdateColorMap();
    emit UpdateGraph();
    update();
}

void ProjectedViewScene::AddNodeStatistic(ClusterNodeItem* item)
{
    if (!m_clusterInfoVisibility || !item) return;
    if (item->HasStatisticSummary()) {
        item->SetClusterSummaryItem(nullptr);
        return;
    }
    if (!m_model || !m_model->GetPointSet() || !item->GetNode()) return;
    ClusterStatistics* statistics = item->GetNode()->GetCluster()->GetClusterStatistic(*m_model->GetPointSet());
    if (!statistics) return;  // an empty cluster has nothing to show
    auto* summary = new ClusterSummaryItem(statistics, item);
    summary->SetColor(item->GetColor());
    item->SetClusterSummaryItem(summary);
}

// ---- other operations --------------------------------------------------------------------

void ProjectedViewScene::SetNodeVisibility(bool visibility)
{
    for (ClusterNodeItem* item : m_nodeItems) item->SetNodeVisibility(visibility);
    update();
    m_nodeVisibility = visibility;
}

void ProjectedViewScene::SetGraphVisibility(bool visibility)
{
    if (m_graphItem) m_graphItem->setVisible(visibility);
    m_graphVisibility = visibility;
}

void ProjectedViewScene::SetClusterInfoVisibility(bool visibility)
{
    m_clusterInfoVisibility = visibility;
}

std::vector<int>* ProjectedViewScene::GetSelectedPointIndex()
{
    m_selectedPointIndices.clear();
    for (QGraphicsItem* item : selectedItems()) {
        if (item->type() != PointGraphicsItem::Type) continue;
        const int index = static_cast<PointGraphicsItem*>(item)->GetPointIndex();
        if (index >= 0 && static_cast<size_t>(index) < m_pointSetRows.size() && m_pointSetRows[index] >= 0)
            m_selectedPointIndices.push_back(m_pointSetRows[index]);
    }
    return &m_selectedPointIndices;
}

bool ProjectedViewScene::TakeSelectionChange()
{
    std::vector<int> rows = *GetSelectedPointIndex();
    std::sort(rows.begin(), rows.end());
    if (rows == m_reportedSelection) return false;
    m_reportedSelection = std::move(rows);
    return true;
}

std::vector<QColor>* ProjectedViewScene::GetPointColor()
{
    // One colour per point-set row, so the colours stay with their points after a deletion.
    m_pointColors.assign(m_itemOfPointRow.size(), QColor());
    for (size_t row = 0; row < m_itemOfPointRow.size(); ++row) {
        const int item = m_itemOfPointRow[row];
        if (item >= 0 && static_cast<size_t>(item) < m_pointItems.size())
            m_pointColors[row] = m_pointItems[item]->GetColor();
    }
    return &m_pointColors;
}

void ProjectedViewScene::DeletePointByIndex(std::vector<int>& indices)
{
    // Refuse what the point set refuses, so both keep the same numbering.
    const int rows = static_cast<int>(m_itemOfPointRow.size());
    std::vector<int> deleted(indices);
    std::sort(deleted.begin(), deleted.end());
    for (size_t k = 0; k < deleted.size(); ++k) {
        if (deleted[k] < 0 || deleted[k] >= rows || m_itemOfRow(deleted[k]) < 0) return;
        if (k > 0 && deleted[k] == deleted[k - 1]) return;
    }
    if (deleted.empty()) return;
    {
        const QSignalBlocker blocker(this);
        for (int row : deleted) {
            PointGraphicsItem* item = m_pointItems[m_itemOfRow(row)];
            item->setSelected(false);
            item->setVisible(false);
            m_pointSetRows[item->GetPointIndex()] = -1;
        }
    }
    // The remaining rows close up as the point set's rows will.
    for (int& row : m_pointSetRows) {
        if (row < 0) continue;
        row -= static_cast<int>(std::lower_bound(deleted.begin(), deleted.end(), row) - deleted.begin());
    }
    m_rebuildRowLookup();
    // The measures of the remaining points no longer count the deleted ones.
    ++m_positionsVersion;
    m_selectedCountDirty = true;
    emit selectionChanged();
    update();
}

void ProjectedViewScene::RebuildClusterNodes()
{
    if (!m_model) return;
    HDpointSet<float>* points = m_model->GetPointSet();
    m_totalPointCount = points ? points->GetPointCount() : 0;
    std::vector<QColor> colours;
    for (ClusterNode* node : m_model->GetClusterNodes()) {
        const auto item = std::find_if(m_nodeItems.begin(), m_nodeItems.end(),
                                       [node](const ClusterNodeItem* i) { return i->GetNode() == node; });
        colours.push_back(item != m_nodeItems.end() ? (*item)->GetColor() : m_nextColor());
    }
    const std::vector<ClusterNode*> rebuilt = m_model->RebuildClusterNodes();
    m_clearClusterNode();
    m_showNodes(rebuilt, [&colours](size_t k) { return colours[k]; });
}

QRectF ProjectedViewScene::ZoomToFitAllItem()
{
    const QRectF r = itemsBoundingRect();
    if (r.width() == 0 && r.height() == 0) return QRectF(0, 0, 1, 1);
    setSceneRect(r);
    return r;
}

void ProjectedViewScene::ResizingClusterNode(float scale)
{
    for (ClusterNodeItem* item : m_nodeItems) item->SetScale(scale);
    update();
}

void ProjectedViewScene::ResizingPointItems(float scale)
{
    for (PointGraphicsItem* item : m_pointItems) item->SetScale(scale);
    m_rootItem->ChildrenMoved();
    update();
}

void ProjectedViewScene::RestoreDefault()
{
    if (!m_embedding) return;
    std::vector<float> original = *m_embedding->GetOriginalEmbededPosition();
    m_embedding->SetModifiedEmbeddedPosition(original);
    // Shows the stored level of the held model again.
    SetEmbeddingResult(m_embedding, m_autoScaling, m_embedding->useMEB);
    emit UpdateColorMap();
}

void ProjectedViewScene::Reset()
{
    m_clearEmbeddingResult();
    m_model.reset();
    m_graphGenerator.reset();
    m_embedding = nullptr;
    m_records.clear();
    m_pointSetRows.clear();
    m_itemOfPointRow.clear();
    m_writtenPositions.clear();
    m_pointColors.clear();
    m_selectedPointIndices.clear();
    m_reportedSelection.clear();
    m_treeDepth = m_clusterLevel = -1;
    m_paletteCursor = 0;
    m_totalPointCount = 0;
    m_costMode = false;
    m_costLow = m_costHigh = m_costTotal = 0;
    m_distortionLow = m_distortionHigh = m_distortionTotal = 0;
    m_costColorMap = m_distortionColorMap = nullptr;
    m_distortionName.clear();
    m_lastDistortion = DistortionMeasure();
    ++m_positionsVersion;
    addItem(m_rootItem);
    setSceneRect(QRectF());
    m_selectedCountDirty = true;
    update();
}

void ProjectedViewScene::SelectByPolygon(const QPolygonF& polygon)
{
    const PolygonDiscTest test(polygon);
    const QPainterPath path = [&polygon] {
        QPainterPath p;
        p.addPolygon(polygon);
        p.closeSubpath();
        return p;
    }();
    {
        const QSignalBlocker blocker(this);
        clearSelection();
        for (PointGraphicsItem* item : m_pointItems) {
            if (!item->isVisible()) continue;
            const QPointF p = item->scenePos();
            if (test.Touches(p.x(), p.y(), item->GetRadius())) item->setSelected(true);
        }
        // The few other selectable items go through Qt's own shape test.
        for (ClusterNodeItem* node : m_nodeItems) {
            if (node->isVisible() && node->collidesWithPath(node->mapFromScene(path))) node->setSelected(true);
            if (ClusterSummaryItem* summary = node->GetClusterSummaryItem())
                if (summary->isVisible() && summary->collidesWithPath(summary->mapFromScene(path)))
                    summary->setSelected(true);
        }
    }
    m_selectedCountDirty = true;
    emit selectionChanged();
    update();
}

// ---- colourings --------------------------------------------------------------------------

void ProjectedViewScene::m_changePointItemColor(xmlColorMap* colorMap, std::vector<float>* pointValues, float min,
                                                float max)
{
    if (!colorMap || !pointValues) return;
    const size_t n = std::min(m_pointItems.size(), pointValues->size());
    const double low = min, range = static_cast<double>(max) - min;
    for (size_t i = 0; i < n; ++i)
        m_pointItems[i]->SetColor(ColorFor(*colorMap, ((*pointValues)[i] - low) / range));
    update();
}

bool ProjectedViewScene::SetDimDataColorMap(xmlColorMap* colorMap, int dimension)
{
    if (!colorMap || !m_embedding || !m_embedding->pointSet) return false;
    HDpointSet<float>& points = *m_embedding->pointSet;
    // The mask's size is the dimension count the point set itself goes by.
    const int64_t D = static_cast<int64_t>(points.m_dimMask.size());
    if (dimension < 0 || dimension >= D || static_cast<size_t>(dimension) >= points.m_dimMin.size() ||
        static_cast<size_t>(dimension) >= points.m_dimMax.size())
        return false;
    const double lo = points.m_dimMin[dimension], hi = points.m_dimMax[dimension];
    if (m_colorMapHUD) m_colorMapHUD->SetMinMaxValue(static_cast<float>(lo), static_cast<float>(hi));
    const std::vector<float>& values = points.m_values;
    for (size_t i = 0; i < m_pointItems.size(); ++i) {
        const int row = m_pointSetRows[i];
        if (row < 0) continue;
        const size_t at = static_cast<size_t>(row) * D + dimension;
        if (at >= values.size()) continue;
        const double v = values[at];
        const double t = lo != hi ? (v - lo) / (hi - lo) : (hi != 0 ? v / hi : v);
        m_pointItems[i]->SetColor(ColorFor(*colorMap, t));
    }
    update();
    return true;
}

void ProjectedViewScene::UpdateCostRange(std::vector<float>* values, float& min, float& max)
{
    if (!values || values->empty()) return;
    m_valueRange(*values, min, max);
    if (m_statisticHUD) {
        m_statisticHUD->RemoveAllFloatEntry();
        m_statisticHUD->SetFloatEntry("Cost Total: ", m_costTotal, "cost");
        m_statisticHUD->SetFloatEntry("Cost Min:", min, "cost");
        m_statisticHUD->SetFloatEntry("Cost Max:", max, "cost");
    }
    Log::Printf("the cost range: %f - %f \n", min, max);
}

void ProjectedViewScene::UpdateDistortionRange(std::vector<float>* values, float& min, float& max)
{
    if (!values || values->empty()) return;
    m_valueRange(*values, min, max);
    if (m_statisticHUD) {
        m_statisticHUD->RemoveAllFloatEntry();
        m_statisticHUD->SetFloatEntry(m_distortionName + " Total: ", m_distortionTotal, "distortion");
        m_statisticHUD->SetFloatEntry(m_distortionName + " Min:", min, "distortion");
        m_statisticHUD->SetFloatEntry(m_distortionName + " Max:", max, "distortion");
    }
    Log::Printf("the stress range: %f - %f \n", min, max);
}

void ProjectedViewScene::m_valueRange(const std::vector<float>& values, float& min, float& max) const
{
    // Over the shown points only: a deleted point's value says nothing about the rest.
    bool first = true;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i < m_pointSetRows.size() && m_pointSetRows[i] < 0) continue;
        const float v = values[i];
        if (first || v < min) min = v;
        if (first || v > max) max = v;
        first = false;
    }
    if (first) min = max = 0;
}

bool ProjectedViewScene::InitCostColorMap(xmlColorMap* colorMap, float rangePercentage)
{
    std::vector<float>* values = m_embedding ? m_embedding->GetPerPointCost(m_costTotal) : nullptr;
    if (!values) return false;
    m_costMode = true;
    m_costColorMap = colorMap;
    float min = 0, max = 0;
    UpdateCostRange(values, min, max);
    m_costLow = min;
    m_costHigh = static_cast<float>((1.0 / rangePercentage) * max);
    if (m_colorMapHUD) m_colorMapHUD->SetMinMaxValue(m_costLow, m_costHigh);
    if (m_statisticHUD) m_statisticHUD->AddHorizontalBar("Cost Max:", m_costHigh);
    m_changePointItemColor(colorMap, values, m_costLow, m_costHigh);
    return true;
}

bool ProjectedViewScene::InitDistortionColorMap(xmlColorMap* colorMap, std::string name, float rangePercentage,
                                                float bandwidth, int neighbourCount)
{
    if (!m_embedding) return false;
    const float shownBandwidth = m_embedding->kdeBandWidth;
    const int shownNeighbourCount = m_embedding->corankK;
    m_embedding->kdeBandWidth = bandwidth;
    m_embedding->corankK = neighbourCount;
    std::vector<float>* values = m_distortionValues(name);
    if (!values) {
        m_embedding->kdeBandWidth = shownBandwidth;
        m_embedding->corankK = shownNeighbourCount;
        return false;
    }
    m_costMode = false;
    m_distortionColorMap = colorMap;
    m_distortionName = name;
    float min = 0, max = 0;
    UpdateDistortionRange(values, min, max);
    m_distortionHigh = static_cast<float>((1.0 / rangePercentage) * max);
    m_distortionLow = min;
    if (m_colorMapHUD) m_colorMapHUD->SetMinMaxValue(m_distortionLow, m_distortionHigh);
    if (m_statisticHUD) m_statisticHUD->AddHorizontalBar(name + " Max:", m_distortionHigh);
    m_changePointItemColor(colorMap, values, m_distortionLow, m_distortionHigh);
    return true;
}

void ProjectedViewScene::UpdateDistortionColorMap()
{
    if (!m_embedding) return;
    std::vector<float>* values = m_distortionValues(m_distortionName);
    if (!values) return;
    float min = 0, max = 0;
    UpdateDistortionRange(values, min, max);
    m_changePointItemColor(m_distortionColorMap, values, m_distortionLow, m_distortionHigh);
}

std::vector<float>* ProjectedViewScene::m_distortionValues(const std::string& name)
{
    // The measures are O(n^2): a new colour range or the same mode chosen again reuses them.
    DistortionMeasure& last = m_lastDistortion;
    const HDpointSet<float>* points = m_embedding->pointSet;
    if (last.embedding == m_embedding && last.name == name && last.bandwidth == m_embedding->kdeBandWidth &&
        last.neighbourCount == m_embedding->corankK && last.positions == m_positionsVersion && points &&
        last.numbering == points->GetNumbering() && last.mask == points->m_dimMask &&
        last.state == static_cast<int>(points->m_state)) {
        m_distortionTotal = last.total;
        return &last.values;
    }
    std::vector<float>* values = m_embedding->GetPerPointDistortion(m_distortionTotal, name);
    if (!values) {
        last = DistortionMeasure();
        return nullptr;
    }
    last.embedding = m_embedding;
    last.numbering = points ? points->GetNumbering() : 0;
    last.mask = points ? points->m_dimMask : std::vector<bool>();
    last.state = points ? static_cast<int>(points->m_state) : -1;
    last.name = name;
    last.bandwidth = m_embedding->kdeBandWidth;
    last.neighbourCount = m_embedding->corankK;
    last.positions = m_positionsVersion;
    last.values = *values;
    last.total = m_distortionTotal;
    return &last.values;
}

bool ProjectedViewScene::HighlightSelectedPointNeighbor(xmlColorMap* colorMap)
{
    if (!colorMap || !m_embedding) return false;
    // The embedding's neighbour lists are numbered by embedding row.
    std::vector<int> selected;
    for (QGraphicsItem* item : selectedItems())
        if (item->type() == PointGraphicsItem::Type)
            selected.push_back(static_cast<PointGraphicsItem*>(item)->GetPointIndex());
    std::vector<float>* values = m_embedding->GetSelectedPointNeighborHood(selected);
    if (!values) return false;
    if (m_colorMapHUD) m_colorMapHUD->SetMinMaxValue(0, 1);
    const size_t n = std::min(m_pointItems.size(), values->size());
    for (size_t i = 0; i < n; ++i) m_pointItems[i]->SetColor(ColorFor(*colorMap, (*values)[i]));
    update();
    return true;
}

void ProjectedViewScene::SetClusteringColoring(bool on)
{
    if (!on) return;
    for (PointGraphicsItem* item : m_pointItems) {
        QGraphicsItem* parent = item->parentItem();
        if (parent && parent->type() == ClusterNodeItem::Type)
            item->SetColor(static_cast<ClusterNodeItem*>(parent)->GetColor());
    }
    update();
}

void ProjectedViewScene::UpdateEmbeddingPosition()
{
    if (!m_embedding) return;
    const size_t n = m_pointItems.size();
    std::vector<float> places(n * 2);
    for (size_t i = 0; i < n; ++i) {
        const QPointF p = m_pointItems[i]->scenePos();
        places[2 * i] = static_cast<float>(p.x());
        places[2 * i + 1] = static_cast<float>(p.y());
    }
    // Nothing moved: the measures would come out the same.
    if (places == m_writtenPositions) return;
    const int dim = m_embedding->dim;
    if (dim < 2 || m_embedding->originalPositions.size() != n * dim) return;
    std::vector<float> positions = m_embedding->modifiedPositions.size() == n * dim
                                       ? m_embedding->modifiedPositions
                                       : m_embedding->originalPositions;
    for (size_t i = 0; i < n; ++i) {
        positions[i * dim] = places[2 * i];
        positions[i * dim + 1] = places[2 * i + 1];
    }
    m_embedding->SetModifiedEmbeddedPosition(positions);
    m_writtenPositions = std::move(places);
    ++m_positionsVersion;

    if (m_costMode && m_costLow != m_costHigh) {
        std::vector<float>* values = m_embedding->GetPerPointCost(m_costTotal);
        float min = 0, max = 0;
        UpdateCostRange(values, min, max);
        m_changePointItemColor(m_costColorMap, values, m_costLow, m_costHigh);
    } else if (!m_costMode && m_distortionLow != m_distortionHigh) {
        UpdateDistortionColorMap();
    }
}

}  // namespace Zelvo
