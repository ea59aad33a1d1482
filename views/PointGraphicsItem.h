#pragma once

#include "Embedding2DPoint.h"
#include "ItemTypes.h"

#include <QColor>
#include <QGraphicsItem>

namespace Zelvo {

// One disc per data point: movable and selectable. While two or more items of the scene are
// selected, an unselected point is drawn faint (alpha 50).
//
// Points have no contents of their own for the graphics view: their parent (the root item or a
// cluster node) draws all its point children in one pass from cached disc sprites, which keeps
// a frame of 100,000 points at a few tens of milliseconds.
class PointGraphicsItem : public QGraphicsItem {
public:
    enum { Type = PointGraphicsItemType };

    // record is not owned and must outlive the item.
    PointGraphicsItem(Embedding2DPoint* record, QGraphicsItem* parent);
    ~PointGraphicsItem() override;

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Stores the colour; the caller updates the scene once after recolouring many points.
    void SetColor(QColor color) { m_color = color; }
    const QColor& GetColor() const { return m_color; }
    // Radius factor (the point-size slider).
    void SetScale(float scale);
    float GetScale() const { return m_scale; }
    float GetRadius() const { return m_size * m_scale; }
    Embedding2DPoint* GetRecord() const { return m_record; }
    // The embedding row shown.
    int GetPointIndex() const { return m_record->pointIndex; }

    // Draws every visible point child of parent (in the parent's coordinates, child order).
    static void PaintPointChildren(QPainter* painter, const QGraphicsItem* parent);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    // The colour drawn: grey until the first SetColor.
    QRgb m_drawColor(bool faint) const;

    QColor m_color;
    Embedding2DPoint* m_record;
    float m_size;
    float m_scale = 1.0f;
};

}  // namespace Zelvo
