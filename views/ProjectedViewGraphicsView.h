#pragma once

#include <QGraphicsPolygonItem>
#include <QGraphicsView>
#include <QPointF>
#include <QPolygonF>

#include <string>

namespace Zelvo {

class ProjectedViewScene;

// The canvas of the projected view: lasso selection on empty space, zoom about the mouse with
// the wheel, a kept centre on resize, a node's statistics box on press, refinement of a node on
// double-click, write-back of dragged positions in the cost and distortion modes and the report
// of selection changes. Its scene is a ProjectedViewScene.
class ProjectedViewGraphicsView : public QGraphicsView {
    Q_OBJECT

public:
    explicit ProjectedViewGraphicsView(QWidget* parent = nullptr);
    ~ProjectedViewGraphicsView() override;

    // Centres on p, kept inside the scene rectangle shrunk by half the visible size on each side.
    void SetCenter(const QPointF& p);
    QPointF GetCenter() const { return m_center; }
    // True between a press on empty space and its release, unless the scene deleted its items
    // (a rebuild) in between, which ends the lasso.
    bool IsLassoActive() const { return m_lassoActive; }

    // Written by the widget: "DimensionValue", "Cost", "Distortion", "Clusteirng" or
    // "HighlightNeighbor".
    std::string colorMode;

signals:
    void clickedNodeItem();
    void movedNodeItem();
    void updateSelectedNode();
    void RefineCurrentNode();
    void UpdateColorMap();

protected:
    // Passes the statistics overlay's mouse presses, releases and moves on to the canvas.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;

private:
    ProjectedViewScene* m_scene() const;
    QRectF m_visibleSceneRect() const;
    // Removes and deletes the lasso item, if any, and forgets the lasso.
    void m_endLasso();

    QPointF m_center;
    bool m_lassoEnabled = true;
    bool m_lassoActive = false;
    QPolygonF m_lassoPoints;
    // Owned by the scene it is drawn in, so that a scene deleting its items takes it along;
    // it clears this pointer when it goes.
    QGraphicsPolygonItem* m_lassoItem = nullptr;
};

}  // namespace Zelvo
