#pragma once

#include "ItemTypes.h"

#include <QBrush>
#include <QColor>
#include <QGraphicsItem>
#include <QPen>

#include <vector>

namespace Zelvo {

class ClusterNode;
class ClusterSummaryItem;

// One disc per cluster node, parent of its members' point items (drawn behind the disc) and of
// its statistics box. While two or more items are selected an unselected node is drawn faint.
// With node visibility off it draws only its points but stays selectable and movable.
class ClusterNodeItem : public QGraphicsItem {
public:
    enum { Type = ClusterNodeItemType };

    // node is not owned (the cluster-node model owns it).
    ClusterNodeItem(ClusterNode* node, float radius);
    ~ClusterNodeItem() override;

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    void SetColor(QColor color);
    const QColor& GetColor() const { return m_color; }
    // Point-set rows of the node's members.
    std::vector<int>* GetAllChildrenPointIndex();
    bool HasStatisticSummary() const { return m_summary != nullptr; }
    ClusterSummaryItem* GetClusterSummaryItem() const { return m_summary; }
    // Deletes the attached box, if any, and attaches summary (null detaches).
    void SetClusterSummaryItem(ClusterSummaryItem* summary);
    void SetNodeVisibility(bool visible);
    bool GetNodeVisibility() const { return m_nodeVisibility; }
    void SetScale(float scale);
    float GetRadius() const { return m_radius * m_scale; }
    ClusterNode* GetNode() const { return m_node; }
    // Where the item stood when its members were gathered; a drag moves it away from here.
    QPointF GetOrigin() const { return m_origin; }
    void SetOrigin(const QPointF& origin) { m_origin = origin; }

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QRectF m_discRect() const;

    float m_radius;
    float m_scale = 1.0f;
    bool m_nodeVisibility = true;
    ClusterNode* m_node;
    QColor m_color;
    QBrush m_brush;
    QBrush m_dimBrush;
    QPen m_pen;
    ClusterSummaryItem* m_summary = nullptr;
    QPointF m_origin;
};

}  // namespace Zelvo
