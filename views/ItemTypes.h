#pragma once

#include <QGraphicsItem>

namespace Zelvo {

// QGraphicsItem::type() values of the projected view's items, so that qgraphicsitem_cast can
// tell them apart.
enum ItemType {
    GraphicsItemNodeType = QGraphicsItem::UserType + 1,
    PointGraphicsItemType = QGraphicsItem::UserType + 2,
    ClusterNodeItemType = QGraphicsItem::UserType + 3,
    ClusterSummaryItemType = QGraphicsItem::UserType + 4,
    NodeGraphItemType = QGraphicsItem::UserType + 5
};

}  // namespace Zelvo
