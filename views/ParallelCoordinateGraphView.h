#pragma once

#include <QGraphicsView>

namespace Zelvo {

// The drawing area of the parallel coordinates; tells the panel when it was resized.
class ParallelCoordinateGraphView : public QGraphicsView {
    Q_OBJECT

public:
    explicit ParallelCoordinateGraphView(QWidget* parent = nullptr);

signals:
    void reszieSignal();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace Zelvo
