#include "NodeGraphItem.h"

#include "ClusterNodeItem.h"

#include <QPainter>

namespace Zelvo {

NodeGraphItem::NodeGraphItem(std::vector<ClusterNodeItem*>* nodeItems, std::unique_ptr<GraphModel<float>> graph)
    : m_nodeItems(nodeItems), m_graph(std::move(graph)), m_pen(QColor(70, 70, 70, 130)),
      m_brush(QColor(100, 100, 100, 250), Qt::SolidPattern)
{
    m_pen.setStyle(Qt::SolidLine);
    m_pen.setWidthF(5.0);
    m_pen.setCosmetic(true);
    m_pen.setJoinStyle(Qt::RoundJoin);
    m_pen.setCapStyle(Qt::RoundCap);
    setZValue(10);
}

NodeGraphItem::~NodeGraphItem() = default;

template <typename F>
void NodeGraphItem::m_forEachLine(F&& f) const
{
    if (!m_graph || !m_nodeItems) return;
    const long count = static_cast<long>(m_nodeItems->size());
    for (const std::pair<int, int>& edge : m_graph->edges) {
        if (edge.first < 0 || edge.second < 0 || edge.first >= count || edge.second >= count) continue;
        const ClusterNodeItem* a = (*m_nodeItems)[edge.first];
        const ClusterNodeItem* b = (*m_nodeItems)[edge.second];
        if (a && b) f(a->pos(), b->pos());
    }
}

QRectF NodeGraphItem::boundingRect() const
{
    QRectF bounds;
    m_forEachLine([&bounds](const QPointF& a, const QPointF& b) {
        bounds |= QRectF(a, b).normalized().adjusted(-1e-3, -1e-3, 1e-3, 1e-3);
    });
    return bounds;
}

void NodeGraphItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setPen(m_pen);
    painter->setBrush(m_brush);
    m_forEachLine([painter](const QPointF& a, const QPointF& b) { painter->drawLine(a, b); });
}

}  // namespace Zelvo
