#include "PointGraphicsItem.h"

#include "DiscSpriteCache.h"
#include "ProjectedViewScene.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPaintDevice>

#include <cmath>

namespace Zelvo {

namespace {

const int kFaintAlpha = 50;
const float kMinDeviceRadius = 0.5f;  // a point never vanishes when zoomed far out

bool DimsUnselected(const QGraphicsItem* item)
{
    const auto* scene = qobject_cast<const ProjectedViewScene*>(item->scene());
    return scene ? scene->SelectedItemCount() >= 2 : false;
}

}  // namespace

PointGraphicsItem::PointGraphicsItem(Embedding2DPoint* record, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_record(record), m_size(record->pointSize)
{
    setFlags(ItemIsMovable | ItemStacksBehindParent | ItemIsSelectable | ItemHasNoContents);
    setPos(record->x, record->y);
    setZValue(-20);
}

PointGraphicsItem::~PointGraphicsItem() = default;

QRectF PointGraphicsItem::boundingRect() const
{
    const qreal r = GetRadius();
    return QRectF(-r, -r, 2 * r, 2 * r);
}

QPainterPath PointGraphicsItem::shape() const
{
    QPainterPath path;
    path.addEllipse(boundingRect());
    return path;
}

void PointGraphicsItem::SetScale(float scale)
{
    if (scale == m_scale) return;
    prepareGeometryChange();
    m_scale = scale;
}

QRgb PointGraphicsItem::m_drawColor(bool faint) const
{
    QRgb rgb = m_color.isValid() ? m_color.rgb() : qRgb(100, 100, 100);
    return faint ? qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), kFaintAlpha) : (rgb | 0xff000000u);
}

void PointGraphicsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const bool faint = DimsUnselected(this) && !isSelected();
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor::fromRgba(m_drawColor(faint)));
    painter->drawEllipse(boundingRect());
}

void PointGraphicsItem::PaintPointChildren(QPainter* painter, const QGraphicsItem* parent)
{
    const QList<QGraphicsItem*> children = parent->childItems();
    if (children.isEmpty()) return;
    const bool dim = DimsUnselected(parent);
    const QTransform t = painter->worldTransform();
    const qreal unit = std::sqrt(std::abs(t.determinant()));
    const bool simple = t.type() <= QTransform::TxScale;
    const QPaintDevice* device = painter->device();
    const qreal width = device ? device->width() : 1e9;
    const qreal height = device ? device->height() : 1e9;

    DiscSpriteCache& sprites = DiscSpriteCache::Shared();
    painter->save();
    painter->resetTransform();
    // Sprites are antialiased already; whole-pixel blits take the raster engine's fast path.
    painter->setRenderHint(QPainter::Antialiasing, false);
    for (QGraphicsItem* child : children) {
        if (child->type() != Type || !child->isVisible()) continue;
        const auto* point = static_cast<const PointGraphicsItem*>(child);
        const QPointF p = child->pos();
        const QPointF d = simple ? QPointF(t.m11() * p.x() + t.dx(), t.m22() * p.y() + t.dy()) : t.map(p);
        float radius = static_cast<float>(point->GetRadius() * unit);
        if (radius < kMinDeviceRadius) radius = kMinDeviceRadius;
        if (d.x() + radius < 0 || d.y() + radius < 0 || d.x() - radius > width || d.y() - radius > height)
            continue;
        const QImage& sprite = sprites.Sprite(point->m_drawColor(dim && !child->isSelected()), radius);
        const int half = sprite.width() / 2;
        painter->drawImage(QPoint(static_cast<int>(std::floor(d.x())) - half,
                                  static_cast<int>(std::floor(d.y())) - half),
                           sprite);
    }
    painter->restore();
}

void PointGraphicsItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mousePressEvent(event);
}

void PointGraphicsItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mouseMoveEvent(event);
    // Points are drawn by their parent, which the move does not mark for repainting.
    if (scene()) scene()->update();
}

void PointGraphicsItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mouseReleaseEvent(event);
}

QVariant PointGraphicsItem::itemChange(GraphicsItemChange change, const QVariant& value)
{
    return QGraphicsItem::itemChange(change, value);
}

}  // namespace Zelvo
