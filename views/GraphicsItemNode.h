#pragma once

#include "ItemTypes.h"

#include <QGraphicsItem>

namespace Zelvo {

// The invisible parent of every point item that no cluster node holds. It draws its point
// children itself in one pass (they have no contents of their own), so it reports their extent
// as its bounding rectangle while it can never be hit.
class GraphicsItemNode : public QGraphicsItem {
public:
    enum { Type = GraphicsItemNodeType };

    GraphicsItemNode();
    ~GraphicsItemNode() override;

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    bool contains(const QPointF& point) const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Tells the scene that the extent of the children changed.
    void ChildrenMoved() { prepareGeometryChange(); }
};

}  // namespace Zelvo
