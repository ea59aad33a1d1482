#pragma once

#include "ItemTypes.h"

#include <QColor>
#include <QFont>
#include <QGraphicsItem>

#include <string>

namespace Zelvo {

class ClusterStatistics;

// A box of per-dimension bars beside a cluster node: the data range of each dimension in
// white, the cluster's range in yellow and its mean in red. It keeps its pixel size when the
// view zooms. Rows of a dimension without a finite position (zero data range) show only the
// white bar.
class ClusterSummaryItem : public QGraphicsItem {
public:
    enum { Type = ClusterSummaryItemType };

    // statistics is not owned (the cluster owns it); null draws an empty box.
    ClusterSummaryItem(ClusterStatistics* statistics, QGraphicsItem* parent);
    ~ClusterSummaryItem() override;

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    void SetColor(const QColor& color) { m_color = color; }
    const QColor& GetColor() const { return m_color; }
    float GetWidth() const { return m_width; }

private:
    // Number of rows: one per dimension that every statistics list covers.
    int m_rowCount() const;
    void drawMinMaxMeanBar(QPainter* painter, const std::string& label, float lo, float hi, float mean, float bx,
                           float by, float share);

    float m_x = 5;
    float m_y = 15;
    float m_width = 260;
    float m_height = 120;
    float m_rowHeight = 12;
    float m_labelShare = 0;
    ClusterStatistics* m_statistics;
    QColor m_color;
    QFont m_font;
};

}  // namespace Zelvo
