#include "ParallelCoordinateWidget.h"

#include "CoordinateAxisItem.h"
#include "DataProfile.h"

#include <QPainter>

namespace Zelvo {

ParallelCoordinateWidget::ParallelCoordinateWidget(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    checkBox_showAxis->setChecked(false);
    // A handful of axes that move while dragged: an index would only cost.
    m_scene.setItemIndexMethod(QGraphicsScene::NoIndex);
    m_rebuildTimer.setSingleShot(true);
    m_rebuildTimer.setInterval(0);
    connect(&m_rebuildTimer, &QTimer::timeout, this, &ParallelCoordinateWidget::SetAxisData);

    connect(gView_ParallelCoordinate, &ParallelCoordinateGraphView::reszieSignal, this,
            &ParallelCoordinateWidget::ResizeAxiesItems);
    connect(checkBox_useFullDataRange, &QCheckBox::toggled, this, &ParallelCoordinateWidget::UpdateAxiesRangeMapping);
    connect(checkBox_showAxis, &QCheckBox::toggled, this, &ParallelCoordinateWidget::ToggleAxisVisibility);
    connect(checkBox_showLabel, &QCheckBox::toggled, this, &ParallelCoordinateWidget::ToggleLabelVisibility);
}

ParallelCoordinateWidget::~ParallelCoordinateWidget()
{
    // The view must not paint items that are going away.
    gView_ParallelCoordinate->setScene(nullptr);
    m_axes.clear();
}

void ParallelCoordinateWidget::SetDataProfile(DataProfile* profile)
{
    if (m_profile && m_profile != profile) {
        m_profile->disconnect(this);
        m_profile->disconnect(&m_rebuildTimer);
    }
    m_profile = profile;
    m_colorSource = nullptr;
    m_selection.clear();
    if (profile) {
        connect(profile, &DataProfile::PointSetChanged, &m_rebuildTimer, qOverload<>(&QTimer::start),
                Qt::UniqueConnection);
        connect(profile, &DataProfile::PointColorChanged, this, &ParallelCoordinateWidget::UpdatePointColor,
                Qt::UniqueConnection);
    }
    gView_ParallelCoordinate->setScene(&m_scene);
    gView_ParallelCoordinate->setRenderHint(QPainter::Antialiasing);
    gView_ParallelCoordinate->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    gView_ParallelCoordinate->show();
    SetAxisData();
}

void ParallelCoordinateWidget::UpdatePointSelection(std::vector<int>* indices)
{
    if (m_profile && indices) {
        m_selection = *indices;
        m_selectionPointCount = m_profile->GetPointSet().GetPointCount();
        if (!m_rebuildTimer.isActive())
            for (auto& axis : m_axes) axis->SetSelectedPoint(indices);
    }
    m_scene.update();
    gView_ParallelCoordinate->viewport()->update();
}

void ParallelCoordinateWidget::m_readCheckBoxes()
{
    m_mappingType = checkBox_useFullDataRange->isChecked() ? AxisMappingFullRange : AxisMappingOwnRange;
    m_showAxis = checkBox_showAxis->isChecked();
    m_showLabel = checkBox_showLabel->isChecked();
}

void ParallelCoordinateWidget::SetAxisData()
{
    m_rebuildTimer.stop();
    m_readCheckBoxes();
    for (auto& axis : m_axes) m_scene.removeItem(axis.get());
    m_axes.clear();
    if (!m_profile) return;

    HDpointSet<float>& set = m_profile->GetPointSet();
    const int dimensions = static_cast<int>(set.m_dimMask.size());
    for (int d = 0; d < dimensions; ++d) {
        if (!set.m_dimMask[d]) continue;
        std::string label = set.GetDimensionLabel(d);
        auto axis = std::make_unique<CoordinateAxisItem>(label, d, &set, m_mappingType, m_showAxis, m_showLabel);
        if (!m_axes.empty()) m_axes.back()->SetNextAxisItem(axis.get());
        m_axes.push_back(std::move(axis));
    }
    for (auto& axis : m_axes) m_scene.addItem(axis.get());
    m_restoreColorsAndSelection();
    ResizeAxiesItems();
}

void ParallelCoordinateWidget::m_restoreColorsAndSelection()
{
    const int count = m_profile->GetPointSet().GetPointCount();
    // Only the list the profile still holds, and only when it has one colour per point (the
    // projected view hands over the colours of the kept points before it announces them).
    std::vector<QColor>* colors = m_profile->GetPointColors();
    if (m_colorSource && colors == m_colorSource && colors->size() == static_cast<size_t>(count))
        m_giveColors(colors);
    // A selection given for another point count numbers points that are gone.
    if (m_selection.empty() || m_selectionPointCount != count) return;
    std::vector<int> rows;
    for (int row : m_selection)
        if (row >= 0 && row < count) rows.push_back(row);
    for (auto& axis : m_axes) axis->SetSelectedPoint(&rows);
}

void ParallelCoordinateWidget::ResizeAxiesItems()
{
    if (!m_profile) return;
    const QSize size = gView_ParallelCoordinate->viewport()->size();
    m_scene.setSceneRect(0, 0, size.width(), size.height());
    if (!m_axes.empty()) {
        const qreal spacing = m_scene.width() / static_cast<qreal>(m_axes.size() + 1);
        for (size_t i = 0; i < m_axes.size(); ++i) {
            m_axes[i]->setPos(spacing * static_cast<qreal>(i + 1), 0);
            m_axes[i]->UpdateAxisBoundingBox();
        }
    }
    m_scene.update();
    gView_ParallelCoordinate->viewport()->update();
}

void ParallelCoordinateWidget::UpdatePointColor()
{
    if (!m_profile) return;
    m_colorSource = m_profile->GetPointColors();
    if (m_rebuildTimer.isActive()) return;
    m_giveColors(m_colorSource);
}

void ParallelCoordinateWidget::m_giveColors(std::vector<QColor>* colors)
{
    if (m_axes.empty()) return;
    // Made once for all axes: they draw each point in the same colours.
    const auto lineColors = CoordinateAxisItem::MakeLineColors(colors, m_axes.front()->GetMappedValues().size());
    for (auto& axis : m_axes) axis->SetLineColors(lineColors);
}

void ParallelCoordinateWidget::UpdateAxiesRangeMapping()
{
    if (!m_profile) return;
    m_readCheckBoxes();
    for (auto& axis : m_axes) axis->UpdateMappingType(m_mappingType);
    m_scene.update();
    gView_ParallelCoordinate->viewport()->update();
}

void ParallelCoordinateWidget::ToggleAxisVisibility(bool visible)
{
    if (!m_profile) return;
    m_showAxis = visible;
    for (auto& axis : m_axes) axis->SetAxisVisibility(visible);
}

void ParallelCoordinateWidget::ToggleLabelVisibility(bool visible)
{
    if (!m_profile) return;
    m_showLabel = visible;
    for (auto& axis : m_axes) axis->SetLabelVisibility(visible);
}

}  // namespace Zelvo
