#include "ProjectedViewGraphicsView.h"

#include "ClusterNodeItem.h"
#include "Log.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewScene.h"
#include "UserOperation.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <utility>

namespace Zelvo {

namespace {

const double kZoomStep = 1.15;

// The lasso's polygon, told apart from its view's life: whoever deletes it (the view, or the
// scene clearing its items) lets the view know.
class LassoItem : public QGraphicsPolygonItem {
public:
    explicit LassoItem(std::function<void()> gone) : m_gone(std::move(gone))
    {
        QPen pen(Qt::red, 2, Qt::DashDotLine);
        pen.setCosmetic(true);
        setPen(pen);
    }
    ~LassoItem() override
    {
        if (m_gone) m_gone();
    }
    void Forget() { m_gone = nullptr; }

private:
    std::function<void()> m_gone;
};

}  // namespace

ProjectedViewGraphicsView::ProjectedViewGraphicsView(QWidget* parent) : QGraphicsView(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    viewport()->setAttribute(Qt::WA_MouseTracking);
    // Repainting the whole viewport is cheaper than Qt's per-item dirty regions here.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setRenderHint(QPainter::Antialiasing);
}

ProjectedViewGraphicsView::~ProjectedViewGraphicsView()
{
    m_endLasso();
}

void ProjectedViewGraphicsView::m_endLasso()
{
    if (auto* lasso = static_cast<LassoItem*>(m_lassoItem)) {
        lasso->Forget();
        delete lasso;  // leaves its scene
    }
    m_lassoItem = nullptr;
    m_lassoActive = false;
    m_lassoPoints.clear();
}

ProjectedViewScene* ProjectedViewGraphicsView::m_scene() const
{
    return qobject_cast<ProjectedViewScene*>(scene());
}

QRectF ProjectedViewGraphicsView::m_visibleSceneRect() const
{
    return mapToScene(viewport()->rect()).boundingRect();
}

void ProjectedViewGraphicsView::SetCenter(const QPointF& p)
{
    const QRectF visible = m_visibleSceneRect();
    const QRectF s = sceneRect();
    // Admissible centres: the scene rectangle shrunk by half the visible size on each side.
    // Along an axis where the whole scene is visible, the scene's middle.
    const auto axis = [](double value, double sceneLow, double sceneSize, double visibleSize) {
        if (sceneSize <= visibleSize) return sceneLow + sceneSize / 2;
        return std::clamp(value, sceneLow + visibleSize / 2, sceneLow + sceneSize - visibleSize / 2);
    };
    m_center = QPointF(axis(p.x(), s.left(), s.width(), visible.width()),
                       axis(p.y(), s.top(), s.height(), visible.height()));
    centerOn(m_center);
}

void ProjectedViewGraphicsView::mousePressEvent(QMouseEvent* event)
{
    viewport()->setCursor(Qt::ClosedHandCursor);
    QGraphicsItem* item = itemAt(event->pos());
    if (!item) {
        if (m_lassoEnabled && scene()) {
            m_endLasso();  // a lasso whose release never came
            m_lassoItem = new LassoItem([this] {
                m_lassoItem = nullptr;  // already going: only the lasso's state is left to forget
                m_endLasso();
            });
            scene()->addItem(m_lassoItem);
            m_lassoActive = true;
        }
    } else if (item->type() == ClusterNodeItem::Type) {
        if (ProjectedViewScene* s = m_scene()) s->AddNodeStatistic(static_cast<ClusterNodeItem*>(item));
    }
    QGraphicsView::mousePressEvent(event);
}

void ProjectedViewGraphicsView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_lassoActive && m_lassoItem) {
        m_lassoPoints << mapToScene(event->pos());
        m_lassoItem->setPolygon(m_lassoPoints);
        if (scene()) scene()->update();
    }
    QGraphicsView::mouseMoveEvent(event);
}

void ProjectedViewGraphicsView::mouseReleaseEvent(QMouseEvent* event)
{
    viewport()->setCursor(Qt::OpenHandCursor);
    ProjectedViewScene* s = m_scene();
    QGraphicsItem* item = itemAt(event->pos());
    if (s && item && (colorMode == "Distortion" || colorMode == "Cost") &&
        (item->type() == PointGraphicsItem::Type || item->type() == ClusterNodeItem::Type)) {
        // A measure that refuses here was reported when its colour mode was chosen.
        UserOperation::Guard("Moving points", [s] {
            s->UpdateEmbeddingPosition();
            return true;
        });
    }
    if (colorMode == "HighlightNeighbor" && s && s->SelectedItemCount() > 0) emit UpdateColorMap();

    if (m_lassoActive) {
        if (s) s->SelectByPolygon(m_lassoPoints);
        m_endLasso();
        if (scene()) scene()->update();
        viewport()->update();
        if (colorMode == "HighlightNeighbor") emit UpdateColorMap();
    }

    QGraphicsView::mouseReleaseEvent(event);
    // Reported whenever the selected points changed, a single point included.
    if (s && s->TakeSelectionChange()) emit s->UpdateSelection();
}

void ProjectedViewGraphicsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!scene()) return;
    scene()->clearSelection();
    QGraphicsItem* item = itemAt(event->pos());
    if (!item) return;
    item->setSelected(true);
    if (item->type() == ClusterNodeItem::Type) {
        Log::Printf("double clicked %s\n", "Zelvo::ClusterNodeItem");
        emit RefineCurrentNode();
    }
}

void ProjectedViewGraphicsView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (delta == 0) return;
    const QPoint at = event->position().toPoint();
    const QPointF before = mapToScene(at);
    // The centre shown now, so a pan by the scroll bars is kept.
    const QPointF old = m_visibleSceneRect().center();
    const double factor = delta > 0 ? kZoomStep : 1.0 / kZoomStep;
    scale(factor, factor);
    const QPointF after = mapToScene(at);
    SetCenter(old + (before - after));
}

void ProjectedViewGraphicsView::resizeEvent(QResizeEvent* event)
{
    SetCenter(m_visibleSceneRect().center());
    QGraphicsView::resizeEvent(event);
}

void ProjectedViewGraphicsView::dragMoveEvent(QDragMoveEvent* event)
{
    QGraphicsView::dragMoveEvent(event);
}

bool ProjectedViewGraphicsView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseMove)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    // The overlay lies over the canvas: the same place in the viewport's coordinates.
    const QPointF global = widget->mapToGlobal(mouse->position());
    const QPointF local = viewport()->mapFromGlobal(global);
    QMouseEvent forwarded(type, local, global, mouse->button(), mouse->buttons(), mouse->modifiers());
    if (type == QEvent::MouseButtonPress)
        mousePressEvent(&forwarded);
    else if (type == QEvent::MouseButtonRelease)
        mouseReleaseEvent(&forwarded);
    else
        mouseMoveEvent(&forwarded);
    return false;
}

}  // namespace Zelvo
