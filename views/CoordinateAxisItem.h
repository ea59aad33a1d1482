#pragma once

#include "AxisMappingType.h"
#include "HDpointSet.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QImage>
#include <QPen>

#include <memory>
#include <string>
#include <vector>

namespace Zelvo {

// One vertical axis of the parallel coordinates. It draws its bar, its title, and the line of
// every point from itself to the next axis on its right. Those lines are kept in an image that is
// drawn again only when something they show changes (values, colours, selection, the distance to
// the next axis, the height); any other repaint is a blit. While points are selected, the lines of
// all points in their faint pens are kept as a layer of their own, which changes only with values,
// colours and geometry: a new selection copies it and draws just the selected lines on top.
class CoordinateAxisItem : public QGraphicsItem {
public:
    CoordinateAxisItem(std::string& name, int dimension, HDpointSet<float>* set, AxisMappingType type,
                       bool showAxis, bool showLabel);
    ~CoordinateAxisItem() override;
    CoordinateAxisItem(const CoordinateAxisItem&) = delete;
    CoordinateAxisItem& operator=(const CoordinateAxisItem&) = delete;

    // Covers the bar, the title and the lines to the next axis.
    QRectF boundingRect() const override;
    // Only the bar takes hover and mouse presses; the lines belong to no axis for the mouse.
    QPainterPath shape() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    void UpdateMappingType(AxisMappingType type);
    // Selected point indices (point-set rows); indices outside the point set are ignored.
    void SetSelectedPoint(std::vector<int>* indices);
    void SetNextAxisItem(CoordinateAxisItem* next);
    void SetAxisVisibility(bool visible);
    void SetLabelVisibility(bool visible);
    // The colour of each point's line, premultiplied, when the point is selected (or nothing is)
    // and when it is not. Every axis draws with the same, so a panel makes it once for all.
    struct LineColors {
        bool given = false;       // false: nothing handed over yet, every line in the initial pens
        std::vector<QRgb> source; // what was handed over, as it was then
        std::vector<unsigned> full, faint;
        // Every full colour opaque and every faint one nearly transparent, so a selected line
        // drawn over its own faint copy looks as it does alone (the copy shows at most a couple
        // of levels in the antialiased fringe). Otherwise (the initial pens) a selection is drawn
        // in one pass in point order.
        bool layerable = true;
    };
    // The colours of points 0 .. points - 1 from a colour list (read now; null or points beyond
    // the list keep the initial pens).
    static std::shared_ptr<const LineColors> MakeLineColors(const std::vector<QColor>* colors, size_t points);
    void SetLineColors(std::shared_ptr<const LineColors> colors);
    // The profile's per-point colours (read now; points beyond the list keep the initial pens).
    void SetPointColors(std::vector<QColor>* colors);
    void UpdateAxisBoundingBox();

    const std::string& GetName() const { return m_name; }
    int GetDimension() const { return m_dimension; }
    const std::vector<float>& GetMappedValues() const { return m_mappedValues; }
    // One flag per point: set while the point is selected.
    const std::vector<char>& GetSelectedFlags() const { return m_selected; }
    CoordinateAxisItem* GetNextAxisItem() const { return m_nextAxis; }
    // How often the lines were drawn into the cache, and how often their faint layer (for tests
    // and benchmarks).
    int GetLineRenderCount() const { return m_lineRenderCount; }
    int GetFaintRenderCount() const { return m_faintRenderCount; }

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    // Fits the selection flags and the colours to the number of mapped values.
    void m_fitToPointCount();
    // The lines' extent changed (own or next axis moved, new height or label offset).
    void m_updateGeometry();
    // Values or colours changed: the faint layer too.
    void m_invalidateLines();
    // Only the selection changed: the faint layer stays.
    void m_invalidateSelection();
    // Whether a selection is drawn as the faint layer with the selected lines on top.
    bool m_drawsLayered() const { return m_selectedCount > 0 && m_colors->layerable; }
    void m_drawLines(QPainter* painter);
    // The slow path for painters that rotate or shear: every line through QPainter.
    void m_drawLinesDirect(QPainter* painter);
    QRectF m_linesRect() const;

    std::string m_name;
    int m_dimension;
    CoordinateAxisItem* m_nextAxis = nullptr;
    CoordinateAxisItem* m_previousAxis = nullptr;
    std::vector<float> m_mappedValues;
    HDpointSet<float>* m_pointSet;
    QRectF m_axisRect;
    float m_axisWidth = 5.0f;
    float m_labelOffset = 0.0f;
    bool m_showAxis;
    bool m_showLabel;
    bool m_hovered = false;
    QBrush m_hoverBrush;
    QBrush m_normalBrush;
    QPen m_outlinePen;
    QPen m_textPen;
    QPen m_highlightPen;
    QPen m_faintPen;
    std::vector<char> m_selected;      // one flag per point
    int m_selectedCount = 0;
    QFont m_font;

    std::shared_ptr<const LineColors> m_colors;  // never null
    std::vector<int> m_selectedRows;  // the set flags' indices, ascending
    // The cached lines and what they were drawn for.
    struct LineImageKey {
        float x2 = 0, top = 0, height = 0;
        double scale = 0, fracX = 0, fracY = 0;
        bool operator==(const LineImageKey& o) const
        {
            return x2 == o.x2 && top == o.top && height == o.height && scale == o.scale && fracX == o.fracX &&
                   fracY == o.fracY;
        }
    };
    // Where and how the lines land on the device for one paint.
    struct LinePlan {
        LineImageKey key;
        QPointF origin;  // device position of the item's origin
        double scale = 1;
        float usable = 0;
        int left = 0, top = 0;  // device pixel of the image's top-left corner
        QSize size;
    };
    bool m_planLines(const QTransform& device, LinePlan& plan) const;
    bool m_linesCurrent(const LinePlan& plan) const;
    // The pixels of the images about to be drawn, and whether the faint layer is drawn again too.
    struct LineBuffers {
        uchar* lines = nullptr;
        uchar* faint = nullptr;  // null unless the lines are drawn in layers
        bool faintToo = false;
    };
    // Sizes the images for plan (on the GUI thread: it may detach them).
    LineBuffers m_prepareLines(const LinePlan& plan);
    // Draws the rows firstRow .. lastRow of the lines (and of the faint layer when due) through
    // the prepared pixels; touches nothing else, so bands of one image may be drawn at once.
    void m_renderLines(const LinePlan& plan, const LineBuffers& buffers, int firstRow, int lastRow);
    // Records what the images now show.
    void m_finishLines(const LinePlan& plan, const LineBuffers& buffers);

    QImage m_lineImage;
    LineImageKey m_lineImageKey;
    bool m_linesValid = false;
    int m_lineRenderCount = 0;
    QImage m_faintImage;
    LineImageKey m_faintKey;
    bool m_faintValid = false;
    int m_faintRenderCount = 0;
    QRectF m_bounds;
};

}  // namespace Zelvo
