#include "ProjectedViewGraphicsView.h"

#include "ProjectedViewScene.h"

namespace Zelvo {

ProjectedViewGraphicsView::ProjectedViewGraphicsView(QWidget* parent) : QGraphicsView(parent) {}
ProjectedViewGraphicsView::~ProjectedViewGraphicsView() = default;
void ProjectedViewGraphicsView::SetCenter(const QPointF& p) { m_center = p; }
bool ProjectedViewGraphicsView::eventFilter(QObject*, QEvent*) { return false; }
void ProjectedViewGraphicsView::mousePressEvent(QMouseEvent* e) { QGraphicsView::mousePressEvent(e); }
void ProjectedViewGraphicsView::mouseReleaseEvent(QMouseEvent* e) { QGraphicsView::mouseReleaseEvent(e); }
void ProjectedViewGraphicsView::mouseDoubleClickEvent(QMouseEvent*) {}
void ProjectedViewGraphicsView::mouseMoveEvent(QMouseEvent* e) { QGraphicsView::mouseMoveEvent(e); }
void ProjectedViewGraphicsView::wheelEvent(QWheelEvent*) {}
void ProjectedViewGraphicsView::resizeEvent(QResizeEvent* e) { QGraphicsView::resizeEvent(e); }
void ProjectedViewGraphicsView::dragMoveEvent(QDragMoveEvent* e) { QGraphicsView::dragMoveEvent(e); }
ProjectedViewScene* ProjectedViewGraphicsView::m_scene() const { return qobject_cast<ProjectedViewScene*>(scene()); }
QRectF ProjectedViewGraphicsView::m_visibleSceneRect() const { return QRectF(); }

}  // namespace Zelvo
