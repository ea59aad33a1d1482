#include "ShowStatisticHUD.h"

#include "ColorMapHUD.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace Zelvo {

ShowStatisticHUD::ShowStatisticHUD(QWidget* parent)
    : QWidget(parent), m_textPen(Qt::SolidLine), m_barBrush(Qt::red, Qt::SolidPattern)
{
}

ShowStatisticHUD::~ShowStatisticHUD() = default;

void ShowStatisticHUD::SetSizeAndPosition(int width, int height, int x, int y)
{
    resize(width, height);
    move(x, y);
    m_width = width;
    m_split = width * 0.5f;
}

void ShowStatisticHUD::SetFloatEntry(std::string name, float value, std::string group)
{
    m_entries[name] = value;
    m_groups[name] = group;
}

void ShowStatisticHUD::SetFloatEntry(std::string name, float value)
{
    m_entries[name] = value;
}

void ShowStatisticHUD::AddHorizontalBar(std::string name, float value)
{
    m_newBar = true;
    m_bars.clear();
    m_bars[name] = value;
}

void ShowStatisticHUD::RemoveAllFloatEntry()
{
    m_entries.clear();
}

void ShowStatisticHUD::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}

void ShowStatisticHUD::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    drawStatisticHUD(&painter);
    painter.end();
    QWidget::paintEvent(event);
}

void ShowStatisticHUD::drawStatisticHUD(QPainter* painter)
{
    QFont font("Helvetica");
    font.setPixelSize(12);
    painter->setFont(font);
    painter->setPen(m_textPen);
    for (const auto& bar : m_bars) {
        const float value = m_entries[bar.first];
        const float fraction = bar.second != 0 ? value / bar.second : 0.0f;
        drawHorizontalBar(painter, 0, 0, std::isfinite(fraction) ? fraction : 0.0f);
    }
    float y = 0;
    for (const auto& entry : m_entries) {
        y += m_rowHeight;
        painter->setPen(m_textPen);
        painter->drawText(QRectF(0, y, m_split, m_rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                          QString::fromStdString(entry.first));
        painter->drawText(QRectF(m_width - m_split, y, m_split, m_rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                          ColorMapHUD::FormatValue(entry.second));
    }
}

void ShowStatisticHUD::drawHorizontalBar(QPainter* painter, float x, float y, float fraction)
{
    if (m_newBar) {
        m_barReference = fraction;
        m_newBar = false;
    }
    painter->setPen(Qt::NoPen);
    m_barBrush.setColor(Qt::gray);
    painter->setBrush(m_barBrush);
    painter->drawRect(QRectF(x, y + 0.375f * m_rowHeight, 2 * m_split, 0.25f * m_rowHeight));
    painter->drawRect(QRectF(x, y, fraction * 2 * m_split, m_rowHeight));
    m_barBrush.setColor(Qt::black);
    painter->setBrush(m_barBrush);
    painter->drawRect(QRectF(m_barReference * 2 * m_split - 2, y, 4, m_rowHeight));
}

}  // namespace Zelvo
