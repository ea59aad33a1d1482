#pragma once

#include "AxisMappingType.h"
#include "ui_ParallelCoordinateUI.h"

#include <QGraphicsScene>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

namespace Zelvo {

class CoordinateAxisItem;
class DataProfile;

// The parallel-coordinates panel: one axis per selected dimension, every point a polyline across
// them, coloured like the projected view, with the projected view's selection in full colour.
class ParallelCoordinateWidget : public QWidget, public Ui_ParallelCoordinateUI {
    Q_OBJECT

public:
    explicit ParallelCoordinateWidget(QWidget* parent = nullptr);
    ~ParallelCoordinateWidget() override;

    // Follows profile from now on (the previous profile, if any, is no longer followed); null
    // shows nothing. The new axes start without colours and selection.
    void SetDataProfile(DataProfile* profile);
    // Selected point-set rows; null keeps the selection as it is. Axes rebuilt later (points
    // deleted, dimensions masked) keep it.
    void UpdatePointSelection(std::vector<int>* indices);

    const std::vector<std::unique_ptr<CoordinateAxisItem>>& GetAxisItems() const { return m_axes; }
    QGraphicsScene& GetScene() { return m_scene; }

public slots:
    void ResizeAxiesItems();
    void UpdatePointColor();
    void UpdateAxiesRangeMapping();
    void ToggleLabelVisibility(bool visible);
    void ToggleAxisVisibility(bool visible);
    void SetAxisData();

private:
    void m_readCheckBoxes();
    // Hands the colour list to every axis.
    void m_giveColors(std::vector<QColor>* colors);
    // Gives rebuilt axes the colours and the selection the old ones had.
    void m_restoreColorsAndSelection();

    QGraphicsScene m_scene;
    std::vector<std::unique_ptr<CoordinateAxisItem>> m_axes;
    QPointer<DataProfile> m_profile;
    AxisMappingType m_mappingType = AxisMappingOwnRange;
    bool m_showLabel = false;
    bool m_showAxis = false;
    // Point-set changes often come in bursts (one per dimension of a mask change): the axes are
    // rebuilt once, when the event loop next runs. Colours and selections that arrive meanwhile
    // are for the rebuilt axes (the old ones are not drawn again).
    QTimer m_rebuildTimer;
    // The profile's colour list as last handed over (null before), and the last selection given
    // with the point count it was given for.
    std::vector<QColor>* m_colorSource = nullptr;
    std::vector<int> m_selection;
    int m_selectionPointCount = 0;
};

}  // namespace Zelvo
