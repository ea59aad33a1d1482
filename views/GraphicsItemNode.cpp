#include "GraphicsItemNode.h"

#include "PointGraphicsItem.h"

#include <QPainterPath>

namespace Zelvo {

GraphicsItemNode::GraphicsItemNode() = default;

GraphicsItemNode::~GraphicsItemNode() = default;

QRectF GraphicsItemNode::boundingRect() const
{
    return childrenBoundingRect();
}

QPainterPath GraphicsItemNode::shape() const
{
    return QPainterPath();
}

bool GraphicsItemNode::contains(const QPointF&) const
{
    return false;
}

void GraphicsItemNode::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    PointGraphicsItem::PaintPointChildren(painter, this);
}

}  // namespace Zelvo
