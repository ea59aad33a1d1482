#include "CoordinateAxisItem.h"
#include "DataProfile.h"
#include "LineRasterizer.h"
#include "ParallelCoordinateWidget.h"
#include "ScatterPlotWidget.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

using Zelvo::CoordinateAxisItem;
using Zelvo::DataProfile;
using Zelvo::ParallelCoordinateWidget;

namespace {

// Exposes how many slots listen to a signal, to see that connections do not pile up.
class ProbeProfile : public DataProfile {
public:
    using QObject::receivers;
};

// A shown panel following a profile of the given rows (d values each, labels "d0", "d1", ...).
struct Panel {
    ProbeProfile profile;
    ParallelCoordinateWidget widget;
    std::vector<QColor> colours;

    Panel(const std::vector<float>& values, int d, std::vector<bool> mask = {})
    {
        auto& set = profile.GetPointSet();
        set.m_dimension = d;
        set.m_dimMask = mask.empty() ? std::vector<bool>(d, true) : mask;
        for (int k = 0; k < d; ++k) set.m_dimLabels.push_back("d" + std::to_string(k));
        set.m_values = values;
        set.UpdateDimensionMinMaxMeanVariance();
        widget.resize(700, 260);
        widget.show();
        widget.SetDataProfile(&profile);
    }
    const std::vector<std::unique_ptr<CoordinateAxisItem>>& Axes() { return widget.GetAxisItems(); }
    QWidget* Viewport() { return widget.gView_ParallelCoordinate->viewport(); }
    QImage Frame() { return Viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32); }
    void SetColours(std::vector<QColor> c)
    {
        colours = std::move(c);
        profile.SetPointColors(&colours);
        emit profile.PointColorChanged();
    }
    // Viewport pixel on the line of a point halfway between axes 0 and 1, at height mapped value m
    // on both axes (so the line is level there).
    QRgb LevelLinePixel(const QImage& frame, float mapped)
    {
        const CoordinateAxisItem& a = *Axes()[0];
        const QPointF scene((a.x() + Axes()[1]->x()) / 2, (1 - mapped) * widget.GetScene().height());
        const QPoint at = widget.gView_ParallelCoordinate->mapFromScene(scene);
        return frame.pixel(at.x(), at.y());
    }
    int Renders()
    {
        int total = 0;
        for (const auto& axis : Axes()) total += axis->GetLineRenderCount();
        return total;
    }
};

// The grey value of colour c with alpha a drawn over white.
int OverWhite(int c, int a)
{
    return (c * a + 255 * (255 - a) + 127) / 255;
}

}  // namespace

TEST(ParallelCoordinateTest, OneAxisPerSelectedDimensionChainedLeftToRight)
{
    Panel panel({1, 2, 3, 4, 5, 6}, 3, {true, false, true});
    ASSERT_EQ(panel.Axes().size(), 2u);
    EXPECT_EQ(panel.Axes()[0]->GetDimension(), 0);
    EXPECT_EQ(panel.Axes()[1]->GetDimension(), 2);
    EXPECT_EQ(panel.Axes()[1]->GetName(), "d2");
    EXPECT_EQ(panel.Axes()[0]->GetNextAxisItem(), panel.Axes()[1].get());
    EXPECT_EQ(panel.Axes()[1]->GetNextAxisItem(), nullptr);
    EXPECT_LT(panel.Axes()[0]->x(), panel.Axes()[1]->x());

    // Bursts of point-set changes (one per dimension of a mask change) rebuild once, later.
    const CoordinateAxisItem* before = panel.Axes()[0].get();
    panel.profile.GetPointSet().m_dimMask = {false, false, false};
    for (int k = 0; k < 3; ++k) emit panel.profile.PointSetChanged();
    EXPECT_EQ(panel.Axes()[0].get(), before);
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel.Axes().empty());

    // A single axis draws no lines: the frame is plain background.
    panel.profile.GetPointSet().m_dimMask = {false, true, false};
    panel.widget.SetAxisData();
    ASSERT_EQ(panel.Axes().size(), 1u);
    const QImage frame = panel.Frame();
    EXPECT_EQ(frame.pixel(frame.width() / 4, frame.height() / 2), qRgb(255, 255, 255));

    // Setting the same profile again (one per opened data set) keeps one connection each.
    panel.widget.SetDataProfile(&panel.profile);
    panel.widget.SetDataProfile(&panel.profile);
    EXPECT_EQ(panel.profile.receivers(SIGNAL(PointSetChanged())), 1);
    EXPECT_EQ(panel.profile.receivers(SIGNAL(PointColorChanged())), 1);
    // A new profile replaces the old one as the only one followed.
    ProbeProfile next;
    panel.widget.SetDataProfile(&next);
    EXPECT_EQ(panel.profile.receivers(SIGNAL(PointSetChanged())), 0);
    EXPECT_EQ(panel.profile.receivers(SIGNAL(PointColorChanged())), 0);
    EXPECT_TRUE(panel.Axes().empty());
}

TEST(ParallelCoordinateTest, MappingOwnAndFullRangeWithoutNotANumber)
{
    // Columns: a plain range, a constant 0, a constant 4.
    Panel panel({0, 0, 4,  //
                 5, 0, 4,  //
                 10, 0, 4},
                3);
    const std::vector<std::vector<float>> own = {{0, 0.5f, 1}, {0, 0, 0}, {1, 1, 1}};
    for (int a = 0; a < 3; ++a) EXPECT_EQ(panel.Axes()[a]->GetMappedValues(), own[a]) << a;

    panel.widget.checkBox_useFullDataRange->setChecked(true);
    const std::vector<std::vector<float>> full = {{0, 0.5f, 1}, {0, 0, 0}, {0.4f, 0.4f, 0.4f}};
    for (int a = 0; a < 3; ++a) EXPECT_EQ(panel.Axes()[a]->GetMappedValues(), full[a]) << a;

    // A full range of zero width (every selected value the same).
    Panel flat({3, 3, 3, 3}, 2);
    flat.widget.checkBox_useFullDataRange->setChecked(true);
    for (const auto& axis : flat.Axes())
        for (float m : axis->GetMappedValues()) EXPECT_EQ(m, 0.0f);
}

TEST(ParallelCoordinateTest, FullAndFaintPensFromRenderedPixels)
{
    // Two points with level lines at mapped 0.25 and 0.75, a third between them.
    Panel panel({0, 0, 1, 1, 0.25f, 0.25f, 0.75f, 0.75f}, 2);
    auto low = [&](const QImage& f) { return panel.LevelLinePixel(f, 0.25f); };
    auto high = [&](const QImage& f) { return panel.LevelLinePixel(f, 0.75f); };

    // No colours yet: the highlight pen's (60, 60, 60, 150).
    EXPECT_NEAR(qGreen(low(panel.Frame())), OverWhite(60, 150), 3);

    // A colour list shorter than the points: the missing ones keep the initial pens.
    panel.SetColours({Qt::red, Qt::red, Qt::blue});
    QImage frame = panel.Frame();
    EXPECT_EQ(low(frame), qRgb(0, 0, 255));
    EXPECT_NEAR(qGreen(high(frame)), OverWhite(60, 150), 3);

    // Selecting point 3 leaves point 2 faint (its colour at alpha 10) and point 3 full.
    panel.SetColours({Qt::red, Qt::red, Qt::blue, Qt::green});
    std::vector<int> selection = {3, 99, -1};  // rows outside the set are ignored
    panel.widget.UpdatePointSelection(&selection);
    frame = panel.Frame();
    EXPECT_EQ(high(frame), qRgb(0, 255, 0));
    EXPECT_NEAR(qRed(low(frame)), OverWhite(0, 10), 2);
    EXPECT_NEAR(qBlue(low(frame)), 255, 1);

    // Before any colours, a selection draws the others in the faint pen's opaque grey.
    Panel plain({0, 0, 1, 1, 0.25f, 0.25f, 0.75f, 0.75f}, 2);
    plain.widget.UpdatePointSelection(&selection);
    EXPECT_EQ(plain.LevelLinePixel(plain.Frame(), 0.25f), qRgb(100, 100, 100));
}

TEST(ParallelCoordinateTest, RepaintsRedrawOnlyWhatChanged)
{
    std::vector<float> values;
    for (int p = 0; p < 200; ++p)
        for (int d = 0; d < 4; ++d) values.push_back(static_cast<float>((p * 7 + d * 13) % 50));
    Panel panel(values, 4);
    panel.Frame();
    const int first = panel.Renders();
    EXPECT_EQ(first, 3);
    panel.Frame();
    panel.widget.checkBox_showAxis->setChecked(true);
    panel.Frame();
    EXPECT_EQ(panel.Renders(), first);

    std::vector<QColor> colours(200, Qt::darkCyan);
    panel.SetColours(colours);
    panel.Frame();
    EXPECT_EQ(panel.Renders(), first + 3);
    panel.SetColours(colours);  // the same colours again
    panel.Frame();
    EXPECT_EQ(panel.Renders(), first + 3);
}

TEST(ParallelCoordinateTest, SelectionsReuseTheFaintLayerAndShowWhatAFreshPanelShows)
{
    // Oracle: after any sequence of changes the frame equals that of a new panel given the end
    // state at once; a new selection draws only its lines over the kept faint layer.
    std::vector<float> values;
    for (int p = 0; p < 300; ++p)
        for (int d = 0; d < 3; ++d) values.push_back(static_cast<float>((p * 31 + d * 17) % 97));
    auto colours = [](int shift) {
        std::vector<QColor> c;
        for (int p = 0; p < 300; ++p) c.push_back(QColor::fromHsv((p * 7 + shift) % 360, 220, 200));
        return c;
    };
    auto rows = [](int first) {
        std::vector<int> r;
        for (int p = first; p < 300; p += 10) r.push_back(p);
        return r;
    };
    auto faintRenders = [](Panel& panel) {
        int total = 0;
        for (const auto& axis : panel.Axes()) total += axis->GetFaintRenderCount();
        return total;
    };
    std::vector<int> a = rows(0), b = rows(3), none;

    Panel panel(values, 3);
    panel.SetColours(colours(0));
    panel.widget.UpdatePointSelection(&a);
    panel.Frame();
    EXPECT_EQ(faintRenders(panel), 2);
    panel.widget.UpdatePointSelection(&b);
    const QImage afterSelections = panel.Frame();
    panel.widget.UpdatePointSelection(&none);
    panel.Frame();
    panel.widget.UpdatePointSelection(&b);
    EXPECT_EQ(panel.Frame(), afterSelections);
    EXPECT_EQ(faintRenders(panel), 2);

    Panel fresh(values, 3);
    fresh.SetColours(colours(0));
    fresh.widget.UpdatePointSelection(&b);
    EXPECT_EQ(fresh.Frame(), afterSelections);

    // New colours and a new mapping renew the faint layer under the kept selection.
    panel.SetColours(colours(90));
    panel.widget.checkBox_useFullDataRange->setChecked(true);
    const QImage afterChanges = panel.Frame();
    EXPECT_EQ(faintRenders(panel), 4);
    Panel freshChanged(values, 3);
    freshChanged.widget.checkBox_useFullDataRange->setChecked(true);
    freshChanged.SetColours(colours(90));
    freshChanged.widget.UpdatePointSelection(&b);
    EXPECT_EQ(freshChanged.Frame(), afterChanges);
}

TEST(ParallelCoordinateTest, SelectedLineOverItsFaintCopyLooksAsAlone)
{
    // A selected line is drawn over its own faint copy (alpha 10): over white, that copy may show
    // only in the antialiased fringe and by no more than a few levels.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(2, 46);
    std::uniform_int_distribution<int> channel(0, 255);
    int worst = 0;
    for (int k = 0; k < 40; ++k) {
        const float x0 = coordinate(random), y0 = coordinate(random), x1 = coordinate(random), y1 = coordinate(random);
        const QRgb colour = qRgb(channel(random), channel(random), channel(random));
        const QRgb faint = qPremultiply(qRgba(qRed(colour), qGreen(colour), qBlue(colour), 10));
        QImage alone(48, 48, QImage::Format_ARGB32_Premultiplied), layered = alone;
        alone.fill(Qt::white);
        layered.fill(Qt::white);
        Zelvo::LineRasterizer(alone, 2.0f).DrawLine(x0, y0, x1, y1, colour);
        Zelvo::LineRasterizer over(layered, 2.0f);
        over.DrawLine(x0, y0, x1, y1, faint);
        over.DrawLine(x0, y0, x1, y1, colour);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                const QRgb u = alone.pixel(x, y), v = layered.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(u) - qRed(v)), std::abs(qGreen(u) - qGreen(v)),
                                  std::abs(qBlue(u) - qBlue(v))});
            }
    }
    EXPECT_LE(worst, 3);
}

TEST(ParallelCoordinateTest, AxesDragSidewaysOnlyAndTheirLinesFollow)
{
    Panel panel({0, 0, 0, 1, 1, 1}, 3);
    panel.widget.checkBox_showAxis->setChecked(true);
    CoordinateAxisItem& middle = *panel.Axes()[1];
    QGraphicsView* view = panel.widget.gView_ParallelCoordinate;
    const QPoint from = view->mapFromScene(middle.pos() + QPointF(0, 100));
    const QPoint to = from + QPoint(60, 40);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), view->viewport()->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    const QPointF moved = middle.pos();
    EXPECT_EQ(moved.y(), 0.0);
    EXPECT_NEAR(moved.x(), view->mapToScene(to).x(), 1.0);

    // The left neighbour's lines now end at the new place, inside its bounding rectangle.
    const CoordinateAxisItem& left = *panel.Axes()[0];
    EXPECT_GE(left.mapRectToScene(left.boundingRect()).right(), moved.x());
    const QImage frame = panel.Frame();
    const QPoint onLine = view->mapFromScene(QPointF(moved.x() - 10, panel.widget.GetScene().height() - 1));
    EXPECT_LT(qGreen(frame.pixel(onLine)), 200);
}

TEST(ParallelCoordinateTest, RasterizerMatchesQPainterCoverage)
{
    // Oracle: QPainter's antialiased 2-px solid line with flat ends, on the same random lines.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(4, 60);
    for (int k = 0; k < 20; ++k) {
        const float x0 = coordinate(random), y0 = coordinate(random), x1 = coordinate(random), y1 = coordinate(random);
        if (std::hypot(x1 - x0, y1 - y0) < 3) continue;
        QImage ours(64, 64, QImage::Format_ARGB32_Premultiplied), theirs = ours;
        ours.fill(Qt::transparent);
        theirs.fill(Qt::transparent);
        Zelvo::LineRasterizer(ours, 2.0f).DrawLine(x0, y0, x1, y1, qRgba(0, 0, 0, 255));
        QPainter painter(&theirs);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 2.0, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(x0, y0), QPointF(x1, y1));
        painter.end();
        double sumOurs = 0, sumTheirs = 0;
        int worst = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const int a = qAlpha(ours.pixel(x, y)), b = qAlpha(theirs.pixel(x, y));
                sumOurs += a;
                sumTheirs += b;
                worst = std::max(worst, std::abs(a - b));
            }
        EXPECT_NEAR(sumOurs / sumTheirs, 1.0, 0.02) << k;
        EXPECT_LT(worst, 128) << k;  // sampling differs at the ends, never by half
    }
    // Lines with non-finite or far-away ends are skipped or clipped, never written out of bounds.
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    Zelvo::LineRasterizer raster(image, 2.0f);
    raster.DrawLine(0, NAN, 5, 5, 0xff000000u);
    raster.DrawLine(-1e30f, 4, 1e30f, 4, 0xff000000u);
    EXPECT_EQ(qAlpha(image.pixel(3, 3)), 255);
    EXPECT_EQ(qAlpha(image.pixel(3, 1)), 0);
}

TEST(ParallelCoordinateTest, RebuiltAxesKeepColoursAndSelection)
{
    // Point p lies at the same height on every axis, so its line is level; each has its own
    // colour. The selected line shows in full colour, the others faintly over white.
    const int n = 9, d = 4;
    std::vector<float> values;
    for (int p = 0; p < n; ++p)
        for (int k = 0; k < d; ++k) values.push_back(static_cast<float>(p));
    auto colourOf = [](int p) { return QColor::fromHsv(p * 40, 255, 220); };
    // Every pair of neighbouring axes shows the first, a middle and the last line in its colour,
    // full when selected (or nothing is), faint otherwise.
    auto expectLines = [&](Panel& panel, const std::vector<int>& ids, const std::vector<int>& selected,
                           const std::function<QColor(int)>& colour, const char* when) {
        const QImage frame = panel.Frame();
        const auto& axes = panel.Axes();
        const int count = static_cast<int>(ids.size());
        for (size_t a = 0; a + 1 < axes.size(); ++a)
            for (int row : {0, count / 2, count - 1}) {
                // The scene is the viewport: the pixel row around the line's centre.
                const double y = (1 - ids[row] / double(n - 1)) * panel.widget.GetScene().height();
                const QRgb pixel = frame.pixel(static_cast<int>((axes[a]->x() + axes[a + 1]->x()) / 2),
                                               std::min(static_cast<int>(y), frame.height() - 1));
                const QColor c = colour(ids[row]);
                const bool full = selected.empty() || std::count(selected.begin(), selected.end(), row);
                const int alpha = full ? c.alpha() : 10;
                EXPECT_NEAR(qRed(pixel), OverWhite(c.red(), alpha), 3) << when << " pair " << a << " row " << row;
                EXPECT_NEAR(qBlue(pixel), OverWhite(c.blue(), alpha), 3) << when << " pair " << a << " row " << row;
            }
    };

    Panel panel(values, d);
    std::vector<QColor> colours;
    for (int p = 0; p < n; ++p) colours.push_back(colourOf(p));
    panel.SetColours(colours);
    std::vector<int> selection = {2, 4, 8};
    panel.widget.UpdatePointSelection(&selection);

    // Deleting points 2 and 4 as the projected view does: the colours of the kept points in their
    // new rows first, then the deletion, the colour signal and the new selection (row 6, once 8).
    std::vector<int> ids = {0, 1, 3, 5, 6, 7, 8};
    panel.colours.clear();
    for (int id : ids) panel.colours.push_back(colourOf(id));
    std::vector<int> deleted = {2, 4};
    panel.profile.DeletePointByIndex(deleted);
    emit panel.profile.PointColorChanged();
    std::vector<int> kept = {6};
    panel.widget.UpdatePointSelection(&kept);
    QCoreApplication::processEvents();
    expectLines(panel, ids, kept, colourOf, "after the deletion");

    // A dimension-mask change rebuilds the axes too; rows out of range are dropped.
    std::vector<int> wide = {0, 6, 7, -1};
    panel.widget.UpdatePointSelection(&wide);
    panel.profile.SetDimMask(1, false);
    QCoreApplication::processEvents();
    ASSERT_EQ(panel.Axes().size(), 3u);
    expectLines(panel, ids, {0, 6}, colourOf, "after the mask change");

    // Points deleted with no selection relayed after: the old rows number other points now, so
    // the selection is dropped.
    ids.erase(ids.begin() + 1);
    panel.colours.erase(panel.colours.begin() + 1);
    std::vector<int> second = {1};
    panel.profile.DeletePointByIndex(second);
    emit panel.profile.PointColorChanged();
    QCoreApplication::processEvents();
    expectLines(panel, ids, {}, colourOf, "after a deletion without a new selection");

    // A colour list of another length is not taken: the lines fall back to the initial pen.
    panel.colours.pop_back();
    std::vector<int> none;
    panel.widget.UpdatePointSelection(&none);
    panel.profile.SetDimMask(1, true);
    QCoreApplication::processEvents();
    expectLines(panel, ids, {}, [](int) { return QColor(60, 60, 60, 150); }, "with too few colours");
}

TEST(ParallelCoordinateTest, AxisLabelsHaveABandOfTheirOwn)
{
    // A point at every axis's maximum draws a level line along the top; with the labels shown no
    // pixel of that line may fall into the labels' band (the title rectangle, 20 units high).
    Panel panel({0, 0, 0, 1, 1, 1}, 3);
    panel.SetColours({Qt::green, Qt::green});
    panel.widget.checkBox_showLabel->setChecked(true);
    panel.widget.ResizeAxiesItems();
    const QImage frame = panel.Frame();
    const QPoint bandEnd = panel.widget.gView_ParallelCoordinate->mapFromScene(QPointF(0, 20));
    int lineInBand = 0, lineBelow = 0;
    for (int y = 0; y < bandEnd.y() + 6 && y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb pixel = frame.pixel(x, y);
            const bool line = qGreen(pixel) > qRed(pixel) + 40;
            (y < bandEnd.y() ? lineInBand : lineBelow) += line;
        }
    EXPECT_EQ(lineInBand, 0);
    EXPECT_GT(lineBelow, 0);
}

TEST(ParallelCoordinateTest, FastKernelAndBandsGiveThePlainKernelsPixels)
{
    // Oracle: the plain per-pixel kernel. The fast one, and any drawing in bands of rows, must
    // give the very same bytes for lines of every slope, width and length, inside and across the
    // edges of images both tiny and large, in colours of every alpha.
    using Kernel = Zelvo::LineRasterizer::Kernel;
    std::mt19937 random(23);
    const QSize sizes[] = {{70, 195}, {195, 70}, {3, 40}, {40, 3}, {5, 5}, {33, 17}};
    const float widths[] = {2.0f, 0.7f, 3.0f, 4.5f};
    for (const QSize size : sizes) {
        for (float width : widths) {
            std::uniform_real_distribution<float> x(-8, size.width() + 8), y(-8, size.height() + 8);
            std::uniform_int_distribution<int> byte(0, 255), length(0, 3);
            struct Segment {
                float x0, y0, x1, y1;
                unsigned colour;
            };
            std::vector<Segment> segments;
            for (int k = 0; k < 300; ++k) {
                Segment s{x(random), y(random), 0, 0, 0};
                // Short, level and upright segments as well as long ones.
                const int kind = length(random);
                s.x1 = kind == 1 ? s.x0 + 1.5f : kind == 2 ? s.x0 : x(random);
                s.y1 = kind == 2 ? s.y0 + 2.5f : kind == 1 ? s.y0 + 0.25f : y(random);
                s.colour = qPremultiply(qRgba(byte(random), byte(random), byte(random), k % 3 ? byte(random) : 255));
                segments.push_back(s);
            }
            QImage background(size, QImage::Format_ARGB32_Premultiplied);
            background.fill(qRgba(30, 60, 90, 120));
            auto draw = [&](Kernel kernel, int bands) {
                QImage image = background.copy();
                for (int b = 0; b < bands; ++b) {
                    Zelvo::LineRasterizer raster(image, width, kernel);
                    if (bands > 1) raster.SetRows(size.height() * b / bands, size.height() * (b + 1) / bands - 1);
                    for (const Segment& s : segments) raster.DrawLine(s.x0, s.y0, s.x1, s.y1, s.colour);
                }
                return image;
            };
            const QImage plain = draw(Kernel::Plain, 1);
            ASSERT_NE(plain, background);
            EXPECT_EQ(draw(Kernel::Fast, 1), plain) << size.width() << "x" << size.height() << " width " << width;
            EXPECT_EQ(draw(Kernel::Fast, 3), plain) << size.width() << "x" << size.height() << " width " << width;
            EXPECT_EQ(draw(Kernel::Plain, 2), plain) << size.width() << "x" << size.height() << " width " << width;
        }
    }
}

TEST(ScatterPlotTest, FormStandsAndIgnoresSelections)
{
    Zelvo::ScatterPlotWidget widget;
    EXPECT_EQ(widget.objectName(), "ScatterPlotUI");
    EXPECT_EQ(widget.label_Y->text(), "X Axis");
    EXPECT_EQ(widget.gridLayout->itemAtPosition(0, 1)->widget(), widget.comboBox_YAxis);
    EXPECT_EQ(widget.gView_ScatterPlot->scene(), nullptr);
    QSignalSpy resized(widget.gView_ScatterPlot, &Zelvo::ScatterPlotGraphicsView::reszieSignal);
    widget.resize(600, 400);
    widget.show();
    EXPECT_GE(resized.count(), 1);
    widget.UpdatePointSelection(nullptr);
}

namespace {

// Two points that cross between the first two axes (0 -> 1 and 1 -> 0) and meet in the middle of
// the third.
std::vector<float> Crossing()
{
    return {0, 1, 0.5f, 1, 0, 0.5f};
}

// Pixels inside a line drawn over white (the initial pen's grey or darker).
bool OnLine(QRgb pixel)
{
    return qGreen(pixel) < 230;
}

}  // namespace

// Positions by where they must be: axis i of n stands at width x (i + 1) / (n + 1) after every
// resize, its bar centred on it, and each line runs from its point's height on one axis to its
// height on the next, in the cached images and when drawn directly (a stretched painter).
TEST(ParallelCoordinateTest, AxesStandWhereTheyMustAndLinesReachTheNextAxisHeight)
{
    Panel panel(Crossing(), 3);
    panel.widget.checkBox_showAxis->setChecked(true);
    for (const QSize size : {QSize(700, 260), QSize(900, 320), QSize(520, 200)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        panel.widget.resize(size);
        QCoreApplication::processEvents();
        const QGraphicsScene& scene = panel.widget.GetScene();
        ASSERT_EQ(scene.width(), panel.Viewport()->width());
        const double w = scene.width(), h = scene.height();
        const QImage frame = panel.Frame();
        QGraphicsView* view = panel.widget.gView_ParallelCoordinate;
        for (int i = 0; i < 3; ++i) {
            const double x = w * (i + 1) / 4;
            EXPECT_NEAR(panel.Axes()[i]->x(), x, 1e-9) << i;
            // The bar is 5 units wide around the axis, clear of the lines at 30 % of the height.
            const QPoint at = view->mapFromScene(QPointF(x, 0.3 * h));
            for (int dx : {-1, 0, 1}) EXPECT_NEAR(qGreen(frame.pixel(at.x() + dx, at.y())), 219, 6) << i << " " << dx;
            for (int dx : {-4, 4}) EXPECT_EQ(frame.pixel(at.x() + dx, at.y()), qRgb(255, 255, 255)) << i << " " << dx;
        }
        // Stretched twice in x: the painter cannot use the cached images.
        QImage stretched(2 * static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
        stretched.fill(Qt::white);
        QPainter painter(&stretched);
        const_cast<QGraphicsScene&>(scene).render(&painter, QRectF(0, 0, 2 * w, h), scene.sceneRect(),
                                                  Qt::IgnoreAspectRatio);
        painter.end();
        const double a0 = panel.Axes()[0]->x(), a1 = panel.Axes()[1]->x();
        for (double f : {0.25, 0.75}) {
            for (double start : {0.0, 1.0}) {  // the mapped value on axis 0; the other end on axis 1
                const double y = (1 - (start + f * ((1 - start) - start))) * h;
                const QPoint on = view->mapFromScene(QPointF(a0 + f * (a1 - a0), y));
                EXPECT_TRUE(OnLine(frame.pixel(on))) << f << " " << start;
                EXPECT_TRUE(OnLine(stretched.pixel(static_cast<int>(2 * (a0 + f * (a1 - a0))), static_cast<int>(y))))
                    << f << " " << start;
            }
        }
    }
}

TEST(ParallelCoordinateTest, FullRangeSpansEverySelectedDimension)
{
    // Dimension ranges: [0, 1], [2, 10], [-4, 40].
    const std::vector<float> values = {0, 2, -4, 1, 10, 40};
    const struct {
        std::vector<bool> mask;
        std::vector<std::vector<float>> mapped;  // per axis
    } rows[] = {
        {{true, true, true}, {{4 / 44.f, 5 / 44.f}, {6 / 44.f, 14 / 44.f}, {0, 1}}},
        {{true, true, false}, {{0, 0.1f}, {0.2f, 1}}},
        {{false, true, true}, {{6 / 44.f, 14 / 44.f}, {0, 1}}},
        {{true, false, true}, {{4 / 44.f, 5 / 44.f}, {0, 1}}},
    };
    for (const auto& row : rows) {
        Panel panel(values, 3, row.mask);
        panel.widget.checkBox_useFullDataRange->setChecked(true);
        ASSERT_EQ(panel.Axes().size(), row.mapped.size());
        for (size_t a = 0; a < row.mapped.size(); ++a)
            for (size_t p = 0; p < 2; ++p) EXPECT_NEAR(panel.Axes()[a]->GetMappedValues()[p], row.mapped[a][p], 1e-6);
    }
}

// Each check box holds for the axes of a rebuild: the frame is the same before and after.
TEST(ParallelCoordinateTest, RebuiltAxesShowWhatEachBoxSays)
{
    Panel panel(Crossing(), 3);
    for (QCheckBox* box :
         {panel.widget.checkBox_showAxis, panel.widget.checkBox_showLabel, panel.widget.checkBox_useFullDataRange}) {
        SCOPED_TRACE(box->text().toStdString());
        box->setChecked(true);
        panel.widget.ResizeAxiesItems();
        const QImage before = panel.Frame();
        panel.widget.SetAxisData();
        EXPECT_EQ(panel.Frame(), before);
        box->setChecked(false);
    }
}

// Oracle: the same line drawn unclipped into an image 200 pixels larger on every side.
TEST(ParallelCoordinateTest, ClippedLinesLieWhereTheWholeLineLies)
{
    using Kernel = Zelvo::LineRasterizer::Kernel;
    std::mt19937 random(31);
    std::uniform_real_distribution<float> far(-150, 190);
    for (const Kernel kernel : {Kernel::Plain, Kernel::Fast}) {
        int worst = 0, drawn = 0;
        for (int k = 0; k < 80; ++k) {
            const float x0 = far(random), y0 = far(random), x1 = far(random), y1 = far(random);
            QImage small(40, 40, QImage::Format_ARGB32_Premultiplied), big(440, 440, QImage::Format_ARGB32_Premultiplied);
            small.fill(Qt::transparent);
            big.fill(Qt::transparent);
            Zelvo::LineRasterizer(small, 2.0f, kernel).DrawLine(x0, y0, x1, y1, 0xff000000u);
            Zelvo::LineRasterizer(big, 2.0f, kernel).DrawLine(x0 + 200, y0 + 200, x1 + 200, y1 + 200, 0xff000000u);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x) {
                    const int a = qAlpha(small.pixel(x, y)), b = qAlpha(big.pixel(x + 200, y + 200));
                    worst = std::max(worst, std::abs(a - b));
                    drawn += b > 0;
                }
        }
        EXPECT_LE(worst, 2);
        EXPECT_GT(drawn, 200);  // enough lines cross the small image
    }
}
