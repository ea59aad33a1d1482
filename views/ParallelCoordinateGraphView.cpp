#include "ParallelCoordinateGraphView.h"

namespace Zelvo {

ParallelCoordinateGraphView::ParallelCoordinateGraphView(QWidget* parent) : QGraphicsView(parent) {}

void ParallelCoordinateGraphView::resizeEvent(QResizeEvent* event)
{
    emit reszieSignal();
    QGraphicsView::resizeEvent(event);
}

}  // namespace Zelvo
