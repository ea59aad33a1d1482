// Selections that must not outlive what they were made in: the parallel coordinates of a second
// data set with as many points show nothing of the first's selection, and a press that starts a
// lasso while another is still drawn leaves one lasso, selecting only what the second encloses.
#include "SceneFixture.h"

#include "CoordinateAxisItem.h"
#include "DataProfile.h"
#include "ParallelCoordinateWidget.h"
#include "PointGraphicsItem.h"

#include <QGraphicsPolygonItem>

#include <algorithm>
#include <functional>

namespace {

void Fill(Zelvo::DataProfile& profile, const std::vector<float>& values)
{
    Zelvo::HDpointSet<float>& set = profile.GetPointSet();
    set.m_dimMask.assign(3, true);
    set.m_dimLabels = {"a", "b", "c"};
    set.m_values = values;
    set.UpdateDimensionMinMaxMeanVariance();
}

// Point-set rows that the first axis shows selected.
std::vector<int> Selected(const Zelvo::ParallelCoordinateWidget& widget)
{
    std::vector<int> rows;
    if (widget.GetAxisItems().empty()) return rows;
    const std::vector<char>& flags = widget.GetAxisItems().front()->GetSelectedFlags();
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i]) rows.push_back(static_cast<int>(i));
    return rows;
}

}  // namespace

TEST(SelectionEdges, ASecondDataSetOfTheSameSizeShowsNoneOfTheFirstsSelection)
{
    const std::vector<float> first = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    std::vector<float> second(first.rbegin(), first.rend());
    Zelvo::DataProfile one, other;
    Fill(one, first);
    Fill(other, second);
    // The main window reloads its one profile in place; another profile may follow too.
    const struct {
        const char* what;
        std::function<Zelvo::DataProfile*()> next;
    } cases[] = {
        {"the same profile, new points", [&] { Fill(one, second); return &one; }},
        {"another profile", [&] { return &other; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fill(one, first);
        Zelvo::ParallelCoordinateWidget widget;
        widget.resize(600, 240);
        widget.show();
        widget.SetDataProfile(&one);
        std::vector<int> selection = {1, 4};
        widget.UpdatePointSelection(&selection);
        QCoreApplication::processEvents();
        ASSERT_EQ(Selected(widget), selection);
        widget.SetDataProfile(c.next());
        QCoreApplication::processEvents();
        ASSERT_EQ(widget.GetAxisItems().size(), 3u);
        EXPECT_TRUE(Selected(widget).empty()) << ::testing::PrintToString(Selected(widget));
        // A selection made in the new data set shows as usual.
        std::vector<int> later = {5};
        widget.UpdatePointSelection(&later);
        EXPECT_EQ(Selected(widget), later);
    }
}

class LassoTest : public SceneFixture {
protected:
    int Lassos() const
    {
        const QList<QGraphicsItem*> items = scene.items();
        return static_cast<int>(std::count_if(items.begin(), items.end(), [](const QGraphicsItem* item) {
            return item->type() == QGraphicsPolygonItem::Type;
        }));
    }
    // Presses at the first scene corner (no release) and drags through the others and back.
    void Draw(const std::vector<QPointF>& corners)
    {
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, ViewPoint(corners.front()));
        for (size_t k = 1; k <= corners.size(); ++k) {
            const QPointF a = corners[k - 1], b = corners[k % corners.size()];
            for (int s = 1; s <= 4; ++s) QTest::mouseMove(view.viewport(), ViewPoint(a + (b - a) * s / 4.0));
        }
    }
    // Half a grid step around the block of columns and rows from..to of the 10 x 10 grid.
    std::vector<QPointF> Around(int from, int to) const
    {
        const QPointF tl = ItemOf(from * 10 + from)->scenePos() - QPointF(5, 5);
        const QPointF br = ItemOf(to * 10 + to)->scenePos() + QPointF(5, 5);
        return {tl, QPointF(br.x(), tl.y()), br, QPointF(tl.x(), br.y())};
    }
};

TEST_F(LassoTest, ASecondPressDuringALassoStartsTheOnlyLasso)
{
    MakeGrid(10, 10);
    Show();
    const std::vector<QPointF> firstArea = Around(1, 3), secondArea = Around(6, 8);
    ASSERT_EQ(view.itemAt(ViewPoint(firstArea.front())), nullptr);
    ASSERT_EQ(view.itemAt(ViewPoint(secondArea.front())), nullptr);
    Draw(firstArea);
    ASSERT_EQ(Lassos(), 1);
    // The release of the first never came (the button left the window, say).
    Draw(secondArea);
    EXPECT_EQ(Lassos(), 1);
    EXPECT_TRUE(view.IsLassoActive());
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, ViewPoint(secondArea.front()));
    EXPECT_EQ(Lassos(), 0);
    EXPECT_FALSE(view.IsLassoActive());
    std::vector<int> expected;
    for (int j = 6; j <= 8; ++j)
        for (int i = 6; i <= 8; ++i) expected.push_back(j * 10 + i);
    std::vector<int> selected = *scene.GetSelectedPointIndex();
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, expected);
}
