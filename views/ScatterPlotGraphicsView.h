#pragma once

#include <QGraphicsView>

namespace Zelvo {

// The drawing area of the scatter-plot panel; announces resizes (nothing listens yet).
class ScatterPlotGraphicsView : public QGraphicsView {
    Q_OBJECT

public:
    explicit ScatterPlotGraphicsView(QWidget* parent = nullptr);

signals:
    void reszieSignal();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace Zelvo
