#pragma once

#include <QBrush>
#include <QPen>
#include <QWidget>

#include <string>

class QMenu;
class xmlColorMap;

namespace Zelvo {

// The colour bar over the projected view: 40 bands of the colour map and, once a range is
// given, its two ends. Its context menu loads another colour map into the same map object.
class ColorMapHUD : public QWidget {
    Q_OBJECT

public:
    // map is not owned (the data profile owns it).
    ColorMapHUD(xmlColorMap* map, QWidget* parent);
    ~ColorMapHUD() override;

    void SetSizeAndPosition(int width, int height, int x, int y);
    void SetMinMaxValue(float min, float max);
    bool HasRange() const { return m_hasRange; }
    float GetMinimum() const { return m_minimum; }
    float GetMaximum() const { return m_maximum; }
    QMenu* GetContextMenu() const { return m_contextMenu; }
    // The texts shown for the range ends.
    static QString FormatValue(float value);

signals:
    void ColorMapChanged();

public slots:
    void createContextMenu(const QPoint& pos);
    void loadNewColorMap();
    void loadColorMap(std::string filename);
    void loadHazeColorMap();
    void loadHotColorMap();
    void loadBlueGreenRedColorMap();
    void loadSpectralColorMap();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawColorMapHUD(QPainter* painter);

    xmlColorMap* m_colorMap;
    int m_width = 0, m_height = 0, m_x = 0, m_y = 0;
    int m_barTop = 13;
    QBrush m_bandBrush;
    QPen m_bandPen;
    QPen m_textPen;
    int m_bandCount = 40;
    bool m_hasRange = false;
    float m_maximum = 0;
    float m_minimum = 0;
    QMenu* m_contextMenu;
};

}  // namespace Zelvo
