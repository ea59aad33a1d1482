#include "ScatterPlotGraphicsView.h"

namespace Zelvo {

ScatterPlotGraphicsView::ScatterPlotGraphicsView(QWidget* parent) : QGraphicsView(parent) {}

void ScatterPlotGraphicsView::resizeEvent(QResizeEvent* event)
{
    emit reszieSignal();
    QGraphicsView::resizeEvent(event);
}

}  // namespace Zelvo
