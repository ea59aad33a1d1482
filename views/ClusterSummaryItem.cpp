#include "ClusterSummaryItem.h"

#include "ClusterStatistics.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Zelvo {

ClusterSummaryItem::ClusterSummaryItem(ClusterStatistics* statistics, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_statistics(statistics)
{
    setFlags(ItemIsMovable | ItemSendsGeometryChanges | ItemIsSelectable | ItemIgnoresTransformations);
    m_font.setFamily("Helvetica");
    m_font.setPixelSize(11);
    const QFontMetrics metrics(m_font);
    int widest = 0;
    if (m_statistics) {
        for (const std::string& label : m_statistics->dimensionLabels)
            widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(label)));
    }
    m_labelShare = (widest + 4) / (m_width * 0.9f);
    if (m_labelShare < 0.15f && widest > 0) m_width = widest / 0.13f;
    m_height = m_rowCount() * 1.5f * m_rowHeight + 0.5f * m_rowHeight;
    setZValue(50);
}

ClusterSummaryItem::~ClusterSummaryItem() = default;

int ClusterSummaryItem::m_rowCount() const
{
    if (!m_statistics) return 0;
    const ClusterStatistics& s = *m_statistics;
    return static_cast<int>(std::min({s.dimensionLabels.size(), s.memberMean.size(), s.memberMin.size(),
                                      s.memberMax.size(), s.pointSetMin.size(), s.pointSetMax.size()}));
}

QRectF ClusterSummaryItem::boundingRect() const
{
    // The coloured border is 4 pixels wide and half of it lies outside the box.
    return QRectF(static_cast<int>(m_x) - 2, static_cast<int>(m_y) - 2, static_cast<int>(m_width) + 4,
                  static_cast<int>(m_height) + 4);
}

void ClusterSummaryItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const int n = m_rowCount();
    const QRectF box(m_x, m_y, m_width, 1.5 * m_rowHeight * n + 0.5 * m_rowHeight);
    QPen pen(QColor(m_color.red(), m_color.green(), m_color.blue(), 250), 4, Qt::SolidLine);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(QBrush(QColor(200, 200, 200, 200), Qt::SolidPattern));
    painter->drawRect(box);
    pen.setColor(Qt::black);
    pen.setWidth(1);
    painter->setPen(pen);
    painter->drawRect(box);

    float offset = 0.5f * m_rowHeight;
    for (int i = 0; i < n; ++i) {
        const ClusterStatistics& s = *m_statistics;
        const float range = s.pointSetMax[i] - s.pointSetMin[i];
        const float none = std::numeric_limits<float>::quiet_NaN();
        const float lo = range != 0 ? (s.memberMin[i] - s.pointSetMin[i]) / range : none;
        const float hi = range != 0 ? (s.memberMax[i] - s.pointSetMin[i]) / range : none;
        const float mean = range != 0 ? (s.memberMean[i] - s.pointSetMin[i]) / range : none;
        drawMinMaxMeanBar(painter, s.dimensionLabels[i], lo, hi, mean, m_x + 2.0f, m_y + offset, m_labelShare);
        offset += 0.5f * m_rowHeight + m_rowHeight;
    }
}

void ClusterSummaryItem::drawMinMaxMeanBar(QPainter* painter, const std::string& label, float lo, float hi,
                                           float mean, float bx, float by, float share)
{
    painter->setFont(m_font);
    painter->setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter->drawText(QRectF(bx, by, m_width * share, m_rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                      QString::fromStdString(label));
    const float labelWidth = (share + 0.03f) * m_width;
    const float barWidth = m_width - labelWidth - 0.03f * m_width;
    const float barX = bx + labelWidth;
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter->drawRect(QRectF(barX, by, barWidth, m_rowHeight));
    // A zero data range has no finite place for the cluster's range or mean.
    if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(mean)) return;
    painter->setBrush(QBrush(Qt::yellow, Qt::SolidPattern));
    painter->drawRect(QRectF(barX + lo * barWidth, by, std::fabs(hi - lo) * barWidth, m_rowHeight));
    painter->setBrush(QBrush(Qt::red, Qt::SolidPattern));
    painter->drawRect(QRectF(barX + (mean - 0.025f) * barWidth, by, 0.05f * barWidth, m_rowHeight));
}

}  // namespace Zelvo
