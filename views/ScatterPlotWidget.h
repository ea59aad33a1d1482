#pragma once

#include "ui_ScatterPlotUI.h"

#include <QGraphicsScene>
#include <QWidget>

#include <vector>

namespace Zelvo {

// The scatter-plot panel: its controls and an empty scene of its own; it shows no data yet.
class ScatterPlotWidget : public QWidget, public Ui_ScatterPlotUI {
public:
    explicit ScatterPlotWidget(QWidget* parent = nullptr);

    // The projected view's selection; the panel does not use it yet.
    void UpdatePointSelection(std::vector<int>* indices);

private:
    QGraphicsScene m_scene;
};

}  // namespace Zelvo
