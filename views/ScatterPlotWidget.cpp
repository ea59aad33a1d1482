#include "ScatterPlotWidget.h"

namespace Zelvo {

ScatterPlotWidget::ScatterPlotWidget(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
}

void ScatterPlotWidget::UpdatePointSelection(std::vector<int>*) {}

}  // namespace Zelvo
