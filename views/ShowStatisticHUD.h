#pragma once

#include <QBrush>
#include <QPen>
#include <QWidget>

#include <map>
#include <string>

namespace Zelvo {

// A panel of named numbers over the projected view (drawn in name order) with at most one
// horizontal bar, whose marker stays where the bar ended when first drawn. It does not repaint
// itself when values change; it is repainted with the view. Mouse moves over it are dropped
// here (the canvas receives them through its event filter).
class ShowStatisticHUD : public QWidget {
    Q_OBJECT

public:
    explicit ShowStatisticHUD(QWidget* parent);
    ~ShowStatisticHUD() override;

    void SetSizeAndPosition(int width, int height, int x, int y);
    void SetFloatEntry(std::string name, float value, std::string group);
    void SetFloatEntry(std::string name, float value);
    void AddHorizontalBar(std::string name, float value);
    void RemoveAllFloatEntry();

    const std::map<std::string, float>& GetEntries() const { return m_entries; }
    const std::map<std::string, std::string>& GetGroups() const { return m_groups; }
    const std::map<std::string, float>& GetBars() const { return m_bars; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawStatisticHUD(QPainter* painter);
    void drawHorizontalBar(QPainter* painter, float x, float y, float fraction);

    std::map<std::string, float> m_entries;
    std::map<std::string, std::string> m_groups;
    bool m_newBar = false;
    float m_barReference = 0;
    std::map<std::string, float> m_bars;
    float m_width = 200;
    float m_rowHeight = 15;
    float m_split = 60;
    QPen m_textPen;
    QBrush m_barBrush;
};

}  // namespace Zelvo
