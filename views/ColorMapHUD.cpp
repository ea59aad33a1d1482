#include "ColorMapHUD.h"

#include "DialogService.h"
#include "xmlColorMap.h"

#include <QMenu>
#include <QPainter>

namespace Zelvo {

ColorMapHUD::ColorMapHUD(xmlColorMap* map, QWidget* parent)
    : QWidget(parent), m_colorMap(map), m_bandBrush(Qt::SolidPattern), m_bandPen(Qt::NoPen),
      m_textPen(Qt::SolidLine), m_contextMenu(new QMenu(this))
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &ColorMapHUD::createContextMenu);
    m_contextMenu->addAction(tr("Load another XML colorMap ... "), this, &ColorMapHUD::loadNewColorMap);
    m_contextMenu->addAction("haze", this, &ColorMapHUD::loadHazeColorMap);
    m_contextMenu->addAction("hot", this, &ColorMapHUD::loadHotColorMap);
    m_contextMenu->addAction("blueGreenRed", this, &ColorMapHUD::loadBlueGreenRedColorMap);
    m_contextMenu->addAction("spectral", this, &ColorMapHUD::loadSpectralColorMap);
}

ColorMapHUD::~ColorMapHUD() = default;

void ColorMapHUD::SetSizeAndPosition(int width, int height, int x, int y)
{
    m_width = width;
    m_height = height;
    m_x = x;
    m_y = y;
    m_bandCount = 40;
    resize(width, height);
    move(x, y);
}

void ColorMapHUD::SetMinMaxValue(float min, float max)
{
    m_minimum = min;
    m_maximum = max;
    m_hasRange = true;
    repaint();
}

QString ColorMapHUD::FormatValue(float value)
{
    return QString::number(value, 'g', 6);
}

void ColorMapHUD::createContextMenu(const QPoint& pos)
{
    m_contextMenu->exec(mapToGlobal(pos));
}

void ColorMapHUD::loadNewColorMap()
{
    const QString name = DialogService::Current().GetOpenFileName(this, tr("Load another XML colorMap ... "), "./",
                                                                  tr("XML (*.XML *.xml)"));
    if (name.isEmpty() || !m_colorMap) return;
    m_colorMap->loadColorMap(name.toLocal8Bit().constData());
    update();
    emit ColorMapChanged();
}

void ColorMapHUD::loadColorMap(std::string filename)
{
    if (filename.empty() || !m_colorMap) return;
    m_colorMap->loadColorMap((m_colorMap->GetDirectory() + filename).c_str());
    update();
    emit ColorMapChanged();
}

void ColorMapHUD::loadHazeColorMap() { loadColorMap("haze.xml"); }
void ColorMapHUD::loadHotColorMap() { loadColorMap("hot.xml"); }
void ColorMapHUD::loadBlueGreenRedColorMap() { loadColorMap("blueGreenRed.xml"); }
void ColorMapHUD::loadSpectralColorMap() { loadColorMap("spectralColorMap.xml"); }

void ColorMapHUD::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    drawColorMapHUD(&painter);
    painter.end();
    QWidget::paintEvent(event);
}

void ColorMapHUD::drawColorMapHUD(QPainter* painter)
{
    const int w = width();
    const int h = height();
    if (m_colorMap) {
        for (int i = 0; i < m_bandCount; ++i) {
            const float t0 = static_cast<float>(i) / m_bandCount;
            const float t1 = static_cast<float>(i + 1) / m_bandCount;
            const RgbColorf c = m_colorMap->getColorf((t0 + t1) / 2);
            QColor color;
            color.setRgbF(c.r, c.g, c.b, 1.0f);
            m_bandBrush.setColor(color);
            painter->setPen(m_bandPen);
            painter->setBrush(m_bandBrush);
            // Both corners included.
            const int left = static_cast<int>(t0 * w);
            const int right = static_cast<int>(t1 * w);
            painter->drawRect(QRect(QPoint(left, m_barTop), QPoint(right, h)));
        }
    }
    if (!m_hasRange) return;
    QFont font("Helvetica");
    font.setPixelSize(11);
    painter->setFont(font);
    painter->setPen(m_textPen);
    painter->drawText(QRect(0, 0, w / 2, m_barTop), Qt::AlignLeft | Qt::AlignVCenter, FormatValue(m_minimum));
    painter->drawText(QRect(w - w / 2, 0, w / 2, m_barTop), Qt::AlignRight | Qt::AlignVCenter,
                      FormatValue(m_maximum));
}

}  // namespace Zelvo
