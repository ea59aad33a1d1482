#include "CoordinateAxisItem.h"

#include "LineRasterizer.h"
#include "ParallelJobs.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Zelvo {

namespace {

const QColor kInitialHighlight(60, 60, 60, 150);
const QColor kInitialFaint(100, 100, 100, 255);
// The title has a band of its own at the top: the lines start below it, clear of it by half the
// pen's width, so no line runs under a title.
const QRectF kTitleRect(-100, 0, 200, 20);
const float kLabelOffset = 21.0f;
const qreal kLineMargin = 2.0;  // beyond the line ends and the axis height, for the pen width
const int kFaintAlpha = 10;     // the faint pen's alpha once points have colours

std::shared_ptr<const CoordinateAxisItem::LineColors> BuildLineColors(const std::vector<QRgb>* source, size_t points)
{
    auto colors = std::make_shared<CoordinateAxisItem::LineColors>();
    if (source) {
        colors->given = true;
        colors->source = *source;
    }
    colors->full.resize(points);
    colors->faint.resize(points);
    const QRgb initialHighlight = kInitialHighlight.rgba(), initialFaint = kInitialFaint.rgba();
    bool layerable = true;
    for (size_t p = 0; p < points; ++p) {
        QRgb highlight = initialHighlight, faint = initialFaint;
        if (p < colors->source.size()) {
            highlight = colors->source[p];
            faint = qRgba(qRed(highlight), qGreen(highlight), qBlue(highlight), kFaintAlpha);
        }
        layerable = layerable && qAlpha(highlight) == 255 && qAlpha(faint) <= kFaintAlpha;
        colors->full[p] = qPremultiply(highlight);
        colors->faint[p] = qPremultiply(faint);
    }
    colors->layerable = layerable;
    return colors;
}

// The initial pens' colours for a number of points: the same for every new axis of a panel,
// so the axes built together share one (axes are made on the GUI thread only).
std::shared_ptr<const CoordinateAxisItem::LineColors> InitialLineColors(size_t points)
{
    static std::weak_ptr<const CoordinateAxisItem::LineColors> last;
    std::shared_ptr<const CoordinateAxisItem::LineColors> colors = last.lock();
    if (!colors || colors->full.size() != points) {
        colors = BuildLineColors(nullptr, points);
        last = colors;
    }
    return colors;
}

}  // namespace

CoordinateAxisItem::CoordinateAxisItem(std::string& name, int dimension, HDpointSet<float>* set,
                                       AxisMappingType type, bool showAxis, bool showLabel)
    : m_name(name),
      m_dimension(dimension),
      m_pointSet(set),
      m_labelOffset(showLabel ? kLabelOffset : 0.0f),
      m_showAxis(showAxis),
      m_showLabel(showLabel),
      m_hoverBrush(QColor(100, 100, 100, 200), Qt::SolidPattern),
      m_normalBrush(QColor(100, 100, 100, 60), Qt::SolidPattern),
      m_outlinePen(Qt::NoPen),
      m_highlightPen(kInitialHighlight, 2.0),
      m_faintPen(kInitialFaint, 2.0),
      m_colors(InitialLineColors(0))
{
    m_font.setFamily("Helvetica");
    m_font.setPixelSize(15);
    setFlag(ItemIsMovable);
    setFlag(ItemIsSelectable);
    setFlag(ItemSendsGeometryChanges);
    setAcceptHoverEvents(true);
    UpdateMappingType(type);
    m_bounds = boundingRect();
}

CoordinateAxisItem::~CoordinateAxisItem()
{
    if (m_previousAxis && m_previousAxis->m_nextAxis == this) m_previousAxis->m_nextAxis = nullptr;
    if (m_nextAxis && m_nextAxis->m_previousAxis == this) m_nextAxis->m_previousAxis = nullptr;
}

QRectF CoordinateAxisItem::m_linesRect() const
{
    if (!m_nextAxis) return QRectF();
    const qreal x2 = m_nextAxis->x() - x();
    const qreal usable = m_axisRect.height() - m_labelOffset;
    return QRectF(QPointF(std::min<qreal>(0, x2) - kLineMargin, m_labelOffset - kLineMargin),
                  QPointF(std::max<qreal>(0, x2) + kLineMargin, m_labelOffset + std::max<qreal>(0, usable) + kLineMargin));
}

QRectF CoordinateAxisItem::boundingRect() const
{
    // The title is drawn centred over the axis, wider than the bar.
    return m_axisRect.united(kTitleRect).united(m_linesRect());
}

QPainterPath CoordinateAxisItem::shape() const
{
    QPainterPath path;
    path.addRect(m_axisRect);
    return path;
}

void CoordinateAxisItem::m_updateGeometry()
{
    const QRectF bounds = boundingRect();
    if (bounds != m_bounds) {
        prepareGeometryChange();
        m_bounds = bounds;
    }
    update();
}

void CoordinateAxisItem::m_invalidateLines()
{
    m_faintValid = false;
    m_invalidateSelection();
}

void CoordinateAxisItem::m_invalidateSelection()
{
    m_linesValid = false;
    update();
}

void CoordinateAxisItem::UpdateMappingType(AxisMappingType type)
{
    if (!m_pointSet) return;
    HDpointSet<float>& set = *m_pointSet;
    const size_t D = set.m_dimMask.size();
    if (D == 0 || m_dimension < 0 || static_cast<size_t>(m_dimension) >= D) return;
    const size_t N = set.m_values.size() / D;
    if (set.m_dimMin.size() != D || set.m_dimMax.size() != D) set.UpdateDimensionMinMaxMeanVariance();

    float lo = 0, hi = 0;
    bool constantMapsToValueOverMax = false;
    if (type == AxisMappingOwnRange) {
        lo = set.m_dimMin[m_dimension];
        hi = set.m_dimMax[m_dimension];
        constantMapsToValueOverMax = lo == hi;
    } else if (type == AxisMappingFullRange) {
        bool any = false;
        for (size_t d = 0; d < D; ++d) {
            if (!set.m_dimMask[d]) continue;
            lo = any ? std::min(lo, set.m_dimMin[d]) : set.m_dimMin[d];
            hi = any ? std::max(hi, set.m_dimMax[d]) : set.m_dimMax[d];
            any = true;
        }
        if (!any) {
            lo = set.m_dimMin[m_dimension];
            hi = set.m_dimMax[m_dimension];
        }
    } else {
        return;
    }

    m_mappedValues.resize(N);
    const float* values = set.m_values.data() + m_dimension;
    for (size_t p = 0; p < N; ++p) {
        const float v = values[p * D];
        float mapped;
        if (constantMapsToValueOverMax)
            mapped = hi != 0 ? v / hi : 0.0f;  // a constant dimension sits at the top, or at 0 when it is 0
        else
            mapped = hi != lo ? (v - lo) / (hi - lo) : 0.0f;  // a zero-width range maps to the bottom
        m_mappedValues[p] = mapped;
    }
    m_fitToPointCount();
    m_invalidateLines();
    if (m_previousAxis) m_previousAxis->m_invalidateLines();
}

void CoordinateAxisItem::SetSelectedPoint(std::vector<int>* indices)
{
    const size_t n = m_mappedValues.size();
    std::vector<char> selected(n, 0);
    if (indices) {
        for (int index : *indices)
            if (index >= 0 && static_cast<size_t>(index) < n) selected[index] = 1;
    }
    if (selected == m_selected) return;
    m_selected = std::move(selected);
    m_selectedRows.clear();
    for (size_t p = 0; p < n; ++p)
        if (m_selected[p]) m_selectedRows.push_back(static_cast<int>(p));
    m_selectedCount = static_cast<int>(m_selectedRows.size());
    m_invalidateSelection();
}

std::shared_ptr<const CoordinateAxisItem::LineColors> CoordinateAxisItem::MakeLineColors(
    const std::vector<QColor>* colors, size_t points)
{
    if (!colors) return InitialLineColors(points);
    std::vector<QRgb> source;
    source.reserve(colors->size());
    for (const QColor& c : *colors) source.push_back(c.rgba());
    return BuildLineColors(&source, points);
}

void CoordinateAxisItem::SetPointColors(std::vector<QColor>* colors)
{
    SetLineColors(MakeLineColors(colors, m_mappedValues.size()));
}

void CoordinateAxisItem::SetLineColors(std::shared_ptr<const LineColors> colors)
{
    if (!colors || colors == m_colors) return;
    if (colors->full.size() != m_mappedValues.size())
        colors = colors->given ? BuildLineColors(&colors->source, m_mappedValues.size())
                               : InitialLineColors(m_mappedValues.size());
    const bool sameLines = m_colors && m_colors->full == colors->full && m_colors->faint == colors->faint;
    const bool sameLayering = m_colors && m_colors->layerable == colors->layerable;
    m_colors = std::move(colors);
    // The layering decides how a selection is drawn.
    if (!sameLines || (!sameLayering && m_selectedCount > 0)) m_invalidateLines();
}

void CoordinateAxisItem::m_fitToPointCount()
{
    const size_t n = m_mappedValues.size();
    if (m_selected.size() != n) {
        m_selected.assign(n, 0);
        m_selectedRows.clear();
        m_selectedCount = 0;
    }
    if (m_colors->full.size() == n) return;
    m_colors = m_colors->given ? BuildLineColors(&m_colors->source, n) : InitialLineColors(n);
}

void CoordinateAxisItem::SetNextAxisItem(CoordinateAxisItem* next)
{
    if (m_nextAxis && m_nextAxis->m_previousAxis == this) m_nextAxis->m_previousAxis = nullptr;
    m_nextAxis = next;
    if (next) next->m_previousAxis = this;
    m_invalidateLines();
    m_updateGeometry();
}

void CoordinateAxisItem::SetAxisVisibility(bool visible)
{
    m_showAxis = visible;
    update();
}

void CoordinateAxisItem::SetLabelVisibility(bool visible)
{
    m_showLabel = visible;
    // The lines follow at once; the bar keeps its rectangle until the next resize.
    m_labelOffset = visible ? kLabelOffset : 0.0f;
    m_updateGeometry();
}

void CoordinateAxisItem::UpdateAxisBoundingBox()
{
    const qreal sceneHeight = scene() ? scene()->sceneRect().height() : 0.0;
    m_axisRect = QRectF(-0.5 * m_axisWidth, m_labelOffset, m_axisWidth, sceneHeight - m_labelOffset);
    m_updateGeometry();
}

void CoordinateAxisItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (m_showAxis) {
        painter->setPen(m_outlinePen);
        painter->setBrush(m_hovered ? m_hoverBrush : m_normalBrush);
        painter->drawRect(m_axisRect);
    }
    if (m_nextAxis && !m_mappedValues.empty()) m_drawLines(painter);
    if ((m_hovered && m_showAxis) || m_showLabel) {
        painter->setFont(m_font);
        painter->setPen(m_textPen);
        painter->drawText(kTitleRect, Qt::AlignCenter, QString::fromStdString(m_name));
    }
}

bool CoordinateAxisItem::m_planLines(const QTransform& device, LinePlan& plan) const
{
    if (!m_nextAxis || m_mappedValues.empty() || m_nextAxis->m_mappedValues.size() != m_mappedValues.size())
        return false;
    plan.usable = static_cast<float>(m_axisRect.height()) - m_labelOffset;
    if (plan.usable <= 0) return false;
    plan.scale = device.m11();
    // The image sits on whole device pixels; its content depends on the item's sub-pixel offset.
    plan.origin = device.map(QPointF(0, 0));
    const QRectF lines = m_linesRect();
    plan.left = static_cast<int>(std::floor(plan.origin.x() + lines.left() * plan.scale));
    plan.top = static_cast<int>(std::floor(plan.origin.y() + lines.top() * plan.scale));
    const int right = static_cast<int>(std::ceil(plan.origin.x() + lines.right() * plan.scale));
    const int bottom = static_cast<int>(std::ceil(plan.origin.y() + lines.bottom() * plan.scale));
    plan.size = QSize(right - plan.left, bottom - plan.top);
    if (plan.size.isEmpty()) return false;
    plan.key.x2 = static_cast<float>(m_nextAxis->x() - x());
    plan.key.top = m_labelOffset;
    plan.key.height = plan.usable;
    plan.key.scale = plan.scale;
    plan.key.fracX = plan.origin.x() - std::floor(plan.origin.x());
    plan.key.fracY = plan.origin.y() - std::floor(plan.origin.y());
    return true;
}

bool CoordinateAxisItem::m_linesCurrent(const LinePlan& plan) const
{
    return m_linesValid && plan.key == m_lineImageKey && m_lineImage.size() == plan.size;
}

CoordinateAxisItem::LineBuffers CoordinateAxisItem::m_prepareLines(const LinePlan& plan)
{
    LineBuffers buffers;
    if (m_lineImage.size() != plan.size) m_lineImage = QImage(plan.size, QImage::Format_ARGB32_Premultiplied);
    m_lineImage.setDevicePixelRatio(1.0);
    buffers.lines = m_lineImage.bits();
    if (!m_drawsLayered()) return buffers;
    buffers.faintToo = !m_faintValid || !(m_faintKey == plan.key) || m_faintImage.size() != plan.size;
    if (m_faintImage.size() != plan.size) m_faintImage = QImage(plan.size, QImage::Format_ARGB32_Premultiplied);
    buffers.faint = m_faintImage.bits();
    return buffers;
}

void CoordinateAxisItem::m_renderLines(const LinePlan& plan, const LineBuffers& buffers, int firstRow, int lastRow)
{
    const float ax = static_cast<float>(plan.origin.x() - plan.left);
    const float ay = static_cast<float>(plan.origin.y() - plan.top);
    const float s = static_cast<float>(plan.scale);
    const float x2 = plan.key.x2, top = plan.key.top, usable = plan.usable;
    const float* here = m_mappedValues.data();
    const float* there = m_nextAxis->m_mappedValues.data();
    const float width = static_cast<float>(m_highlightPen.widthF() * plan.scale);
    auto draw = [&](LineRasterizer& raster, size_t p, unsigned colour) {
        const float y1 = top + (1.0f - here[p]) * usable;
        const float y2 = top + (1.0f - there[p]) * usable;
        raster.DrawLine(ax, ay + y1 * s, ax + x2 * s, ay + y2 * s, colour);
    };
    // Both images have plan's size and format, so the same layout in memory.
    const size_t line = static_cast<size_t>(m_lineImage.bytesPerLine());
    const size_t offset = line * static_cast<size_t>(firstRow), length = line * static_cast<size_t>(lastRow - firstRow + 1);
    auto rasterizer = [&](uchar* bits) {
        LineRasterizer raster(bits, plan.size, m_lineImage.bytesPerLine(), width);
        raster.SetRows(firstRow, lastRow);
        return raster;
    };
    const size_t n = m_mappedValues.size();

    if (m_drawsLayered()) {
        if (buffers.faintToo) {
            std::memset(buffers.faint + offset, 0, length);
            LineRasterizer faint = rasterizer(buffers.faint);
            for (size_t p = 0; p < n; ++p) draw(faint, p, m_colors->faint[p]);
        }
        std::memcpy(buffers.lines + offset, buffers.faint + offset, length);
        LineRasterizer raster = rasterizer(buffers.lines);
        for (int p : m_selectedRows) draw(raster, static_cast<size_t>(p), m_colors->full[p]);
    } else {
        std::memset(buffers.lines + offset, 0, length);
        LineRasterizer raster = rasterizer(buffers.lines);
        const bool all = m_selectedCount == 0;
        for (size_t p = 0; p < n; ++p) draw(raster, p, all || m_selected[p] ? m_colors->full[p] : m_colors->faint[p]);
    }
}

void CoordinateAxisItem::m_finishLines(const LinePlan& plan, const LineBuffers& buffers)
{
    if (buffers.faintToo) {
        m_faintKey = plan.key;
        m_faintValid = true;
        ++m_faintRenderCount;
    }
    m_lineImageKey = plan.key;
    m_linesValid = true;
    ++m_lineRenderCount;
    m_lineImage.setDevicePixelRatio(plan.scale);
}

void CoordinateAxisItem::m_drawLines(QPainter* painter)
{
    const QTransform device = painter->deviceTransform();
    if (device.type() > QTransform::TxScale || device.m11() != device.m22() || device.m11() <= 0) {
        m_drawLinesDirect(painter);
        return;
    }
    LinePlan own;
    if (!m_planLines(device, own)) return;
    if (!m_linesCurrent(own)) {
        // The axes to the right paint next in this frame: their stale images are drawn now too,
        // all at once on several threads. Each image is cut into bands of rows when there are
        // fewer images than threads can share; a job writes only its own band.
        struct Stale {
            CoordinateAxisItem* axis;
            LinePlan plan;
            LineBuffers buffers;
        };
        std::vector<Stale> stale;
        for (CoordinateAxisItem* axis = this; axis; axis = axis->m_nextAxis) {
            LinePlan plan = own;
            if (axis != this) {
                const QTransform moved = QTransform(device).translate(axis->x() - x(), axis->y() - y());
                if (!axis->m_planLines(moved, plan) || axis->m_linesCurrent(plan)) continue;
            }
            stale.push_back({axis, plan, axis->m_prepareLines(plan)});
        }
        ParallelJobs workers;
        const size_t threads = static_cast<size_t>(workers.Count());
        const int bands = static_cast<int>(std::max<size_t>(1, (2 * threads + stale.size() / 2) / stale.size()));
        struct Job {
            const Stale* image;
            int firstRow, lastRow;
        };
        std::vector<Job> jobs;
        for (const Stale& entry : stale) {
            const int height = entry.plan.size.height();
            const int count = std::max(1, std::min(bands, height / 8));
            for (int b = 0; b < count; ++b) jobs.push_back({&entry, height * b / count, height * (b + 1) / count - 1});
        }
        workers.Run(static_cast<int>(jobs.size()), [&jobs](int k, int) {
            const Job& job = jobs[static_cast<size_t>(k)];
            job.image->axis->m_renderLines(job.image->plan, job.image->buffers, job.firstRow, job.lastRow);
        });
        for (const Stale& entry : stale) entry.axis->m_finishLines(entry.plan, entry.buffers);
    }
    painter->drawImage(QPointF((own.left - own.origin.x()) / own.scale, (own.top - own.origin.y()) / own.scale),
                       m_lineImage);
}

void CoordinateAxisItem::m_drawLinesDirect(QPainter* painter)
{
    if (!m_nextAxis || m_nextAxis->m_mappedValues.size() != m_mappedValues.size()) return;
    const float x2 = static_cast<float>(m_nextAxis->x() - x());
    const float usable = static_cast<float>(m_axisRect.height()) - m_labelOffset;
    painter->save();
    QPen pen = m_highlightPen;
    auto draw = [&](size_t p, unsigned colour) {
        const float y1 = m_labelOffset + (1.0f - m_mappedValues[p]) * usable;
        const float y2 = m_labelOffset + (1.0f - m_nextAxis->m_mappedValues[p]) * usable;
        if (!std::isfinite(y1) || !std::isfinite(y2)) return;
        pen.setColor(QColor::fromRgba(qUnpremultiply(colour)));
        painter->setPen(pen);
        painter->drawLine(QPointF(0, y1), QPointF(x2, y2));
    };
    // The same order as the cached image: in layers when it is drawn so.
    const size_t n = m_mappedValues.size();
    const bool layered = m_drawsLayered();
    for (size_t p = 0; p < n; ++p) {
        if (layered || (m_selectedCount > 0 && !m_selected[p]))
            draw(p, m_colors->faint[p]);
        else
            draw(p, m_colors->full[p]);
    }
    if (layered)
        for (int p : m_selectedRows) draw(static_cast<size_t>(p), m_colors->full[p]);
    painter->restore();
}

void CoordinateAxisItem::hoverEnterEvent(QGraphicsSceneHoverEvent*)
{
    m_hovered = true;
    update();
}

void CoordinateAxisItem::hoverLeaveEvent(QGraphicsSceneHoverEvent*)
{
    m_hovered = false;
    update();
}

QVariant CoordinateAxisItem::itemChange(GraphicsItemChange change, const QVariant& value)
{
    if (change == ItemPositionChange && scene()) return QPointF(value.toPointF().x(), y());
    if (change == ItemPositionHasChanged) {
        m_updateGeometry();
        if (m_previousAxis) m_previousAxis->m_updateGeometry();
    }
    return QGraphicsItem::itemChange(change, value);
}

}  // namespace Zelvo
