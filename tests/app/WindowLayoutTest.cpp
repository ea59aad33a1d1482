// The main window on a laptop screen and on a desktop one, with the parallel coordinates open
// below so that the forms get the least height: every button of the projected view's form and of
// the data-operation panel can be reached and clicked, and no text is cut off.
#include "AppMainFrame.h"
#include "DataPropertyWidget.h"
#include "ProjectedViewWidget.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include <cstdlib>
#include <set>

using TestSupport::CaptureStdout;

namespace {

// Every scroll area around w scrolls until w shows, the innermost first.
void ScrollIntoView(QWidget* w)
{
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(p)) area->ensureWidgetVisible(w);
}

// True when no ancestor up to the window cuts off any of the rectangle (in w's coordinates).
bool WhollyShown(const QWidget* w, const QRect& part)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (!p->rect().contains(QRect(w->mapTo(p, part.topLeft()), part.size()))) return false;
    return true;
}

// Where a user clicks: the indicator of a radio button or check box, the middle of other buttons.
QPoint ClickPoint(QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    if (qobject_cast<QRadioButton*>(button))
        return button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button).center();
    if (qobject_cast<QCheckBox*>(button))
        return button->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, button).center();
    return button->rect().center();
}

// Parts of a table (its corner button, buttons in its cells) scroll with the table.
bool InTable(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(p)) return true;
    return false;
}

class WindowLayoutTest : public ::testing::Test {
protected:
    // The window at the given size showing iris by PCA and k-means, the parallel coordinates open.
    void Show(const QSize& size)
    {
        window = std::make_unique<Zelvo::AppMainFrame>();
        window->resize(size);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        Trigger("&New ...", dir.file("layout.xml"));
        Trigger("&Import CSV...", TestSupport::DataPath("iris.csv"));
        Trigger("Parallel Coordinate");
        CaptureStdout([&] {
            Panel().tabWidget->setCurrentIndex(2);
            Panel().pbApply->click();  // PCA
            Panel().tabWidget->setCurrentIndex(1);
            Panel().toolBoxClustering->setCurrentIndex(1);
            Panel().spinBox_kmeansClusterNumber->setValue(3);
            Panel().pbApply->click();
        });
        Panel().tabWidget->setCurrentIndex(0);
        Panel().toolBoxClustering->setCurrentIndex(0);
        ASSERT_TRUE(View().groupBox_VisualControl->isEnabled());
        // TOLVEMARK_SCREENSHOTS=dir keeps a picture of the window to look at.
        if (const char* shots = std::getenv("TOLVEMARK_SCREENSHOTS"))
            window->grab().save(QString("%1/window-%2x%3.png").arg(shots).arg(size.width()).arg(size.height()));
    }
    void Trigger(const QString& text, const std::string& name = "")
    {
        if (!name.empty()) dialogs.AnswerFileName(QString::fromStdString(name));
        for (QAction* action : window->findChildren<QAction*>())
            if (action->text() == text) CaptureStdout([&] { action->trigger(); });
    }

    // Scrolls to every button of form that is on a shown page and clicks it where a user would.
    void ClickEveryButton(QWidget* form)
    {
        for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
            if (!button->isVisibleTo(window.get()) || InTable(button)) continue;  // on a page not shown
            SCOPED_TRACE((button->objectName() + " \"" + button->text() + "\"").toStdString());
            reached.insert(button);
            ScrollIntoView(button);
            EXPECT_TRUE(WhollyShown(button, button->rect()));
            const QPoint at = button->mapTo(window.get(), ClickPoint(button));
            const QWidget* hit = window->childAt(at);
            EXPECT_TRUE(hit == button || button->isAncestorOf(hit))
                << "covered by " << (hit ? qPrintable(hit->objectName()) : "nothing");

            // "Enable Co-rank" comes before "Co-ranking Distortion" and enables it.
            const bool wasChecked = button->isChecked();
            QSignalSpy clicked(button, &QAbstractButton::clicked);
            CaptureStdout([&] { QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at); });
            EXPECT_EQ(clicked.count(), 1);
            // PCA keeps no neighbour lists: Highlight Neighbor is refused and the form goes back.
            if (button->isCheckable() && button != View().radioButton_HighlightNeighbor) {
                EXPECT_EQ(button->isChecked(), qobject_cast<QRadioButton*>(button) != nullptr || !wasChecked);
            }
            // Okay and Cancel close the panel's dock; the next button needs it open.
            Panel().parentWidget()->show();
            QCoreApplication::processEvents();
        }
    }
    // Every button of form with a text was clicked on some page.
    void ExpectEveryButtonReached(QWidget* form)
    {
        for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
            if (!button->text().isEmpty() && !InTable(button)) {
                EXPECT_TRUE(reached.count(button)) << button->text().toStdString();
            }
        }
    }

    // Each label and button of form on a shown page is as wide as its text needs and shows that
    // text whole without scrolling; so does each combo box for every one of its entries.
    void ExpectNothingCut(QWidget* form)
    {
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(window.get()) || InTable(w)) continue;
            SCOPED_TRACE(w->objectName().toStdString());
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                QStyleOptionComboBox option;
                option.initFrom(combo);
                const int room = combo->style()
                                     ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                                     .width();
                for (int i = 0; i < combo->count(); ++i)
                    EXPECT_LE(combo->fontMetrics().horizontalAdvance(combo->itemText(i)), room)
                        << combo->itemText(i).toStdString();
                EXPECT_TRUE(WhollyShown(w, w->rect()));
                continue;
            }
            const auto* label = qobject_cast<QLabel*>(w);
            const bool pushed = qobject_cast<QPushButton*>(w) != nullptr;
            if (!label && !qobject_cast<QAbstractButton*>(w)) continue;
            EXPECT_LE(w->sizeHint().width(), w->width());
            const Qt::Alignment alignment =
                label ? label->alignment() : pushed ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter;
            EXPECT_TRUE(WhollyShown(w, QStyle::alignedRect(w->layoutDirection(), alignment,
                                                           w->sizeHint().boundedTo(w->size()), w->rect())));
        }
    }

    Zelvo::DataPropertyWidget& Panel() { return *window->GetDataOperationPanel(); }
    Zelvo::ProjectedViewWidget& View() { return *window->GetProjectedView(); }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
    std::unique_ptr<Zelvo::AppMainFrame> window;
    std::set<const QAbstractButton*> reached;
};

const QSize kLaptop(1366, 768);
const QSize kDesktop(1920, 1080);

}  // namespace

TEST_F(WindowLayoutTest, EveryButtonOfTheProjectedViewFormIsReachedAndClickedOnALaptop)
{
    Show(kLaptop);
    ClickEveryButton(&View());
    ExpectEveryButtonReached(&View());
}

TEST_F(WindowLayoutTest, EveryButtonOfEveryPanelTabIsReachedAndClickedOnALaptop)
{
    Show(kLaptop);
    // The tool boxes' page buttons come before their pages, so each page is shown in turn.
    for (int tab = 0; tab < Panel().tabWidget->count(); ++tab) {
        SCOPED_TRACE(tab);
        Panel().tabWidget->setCurrentIndex(tab);
        ClickEveryButton(&Panel());
    }
    ExpectEveryButtonReached(&Panel());
}

TEST_F(WindowLayoutTest, NoTextIsCutOnADesktop)
{
    Show(kDesktop);
    ExpectNothingCut(&View());
    for (QToolBox* pages : {Panel().toolBoxDataView, Panel().toolBoxClustering, Panel().toolBoxDimReduction}) {
        Panel().tabWidget->setCurrentWidget(pages->parentWidget());
        for (int page = 0; page < pages->count(); ++page) {
            SCOPED_TRACE(pages->itemText(page).toStdString());
            pages->setCurrentIndex(page);
            QCoreApplication::processEvents();  // the page's scroll area takes its size
            ExpectNothingCut(&Panel());
        }
    }
}
