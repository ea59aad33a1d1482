#include "ClusterNodeItem.h"

#include "ClusterNode.h"
#include "ClusterSummaryItem.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewScene.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QPainterPath>

namespace Zelvo {

ClusterNodeItem::ClusterNodeItem(ClusterNode* node, float radius)
    : m_radius(radius), m_node(node), m_brush(QColor(100, 255, 100, 200), Qt::SolidPattern),
      m_dimBrush(QColor(255, 100, 100, 255), Qt::SolidPattern), m_pen(QColor(70, 70, 70, 200))
{
    m_pen.setStyle(Qt::SolidLine);
    m_pen.setWidth(5);
    m_pen.setCosmetic(true);
    if (node) m_origin = QPointF(node->GetX(), node->GetY());
    setPos(m_origin);
    setFlags(ItemIsMovable | ItemSendsGeometryChanges | ItemIsSelectable);
    setZValue(-10);
}

ClusterNodeItem::~ClusterNodeItem() = default;  // Qt deletes the summary with the other children

QRectF ClusterNodeItem::m_discRect() const
{
    const qreal r = GetRadius();
    return QRectF(-r, -r, 2 * r, 2 * r);
}

QRectF ClusterNodeItem::boundingRect() const
{
    // The member points are drawn here too.
    return m_discRect() | childrenBoundingRect();
}

QPainterPath ClusterNodeItem::shape() const
{
    QPainterPath path;
    path.addEllipse(m_discRect());
    return path;
}

void ClusterNodeItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    PointGraphicsItem::PaintPointChildren(painter, this);
    if (!m_nodeVisibility) return;
    m_dimBrush.setColor(QColor(m_color.red(), m_color.green(), m_color.blue(), 30));
    const auto* projected = qobject_cast<const ProjectedViewScene*>(scene());
    const bool faint = projected && projected->SelectedItemCount() >= 2 && !isSelected();
    painter->setPen(m_pen);
    painter->setBrush(faint ? m_dimBrush : m_brush);
    painter->drawEllipse(m_discRect());
}

void ClusterNodeItem::SetColor(QColor color)
{
    m_color = QColor(color.red(), color.green(), color.blue(), 250);
    m_brush.setColor(m_color);
    update();
}

std::vector<int>* ClusterNodeItem::GetAllChildrenPointIndex()
{
    return m_node ? m_node->GetAllPointIndex() : nullptr;
}

void ClusterNodeItem::SetClusterSummaryItem(ClusterSummaryItem* summary)
{
    if (m_summary == summary) return;
    delete m_summary;
    m_summary = summary;
}

void ClusterNodeItem::SetNodeVisibility(bool visible)
{
    m_nodeVisibility = visible;
    update();
}

void ClusterNodeItem::SetScale(float scale)
{
    if (scale == m_scale) return;
    prepareGeometryChange();
    m_scale = scale;
}

void ClusterNodeItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mousePressEvent(event);
}

void ClusterNodeItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mouseMoveEvent(event);
    // The graph lines follow the node; they are drawn by another item.
    if (scene()) scene()->update();
}

void ClusterNodeItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mouseReleaseEvent(event);
}

}  // namespace Zelvo
