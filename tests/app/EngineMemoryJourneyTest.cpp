// An engine refused for want of memory, as a user meets it: one warning in its own words, and
// the view, the colours and the profile's results as they were.
#include "AppMainFrame.h"
#include "DataPropertyWidget.h"
#include "MemoryBudget.h"
#include "PointGraphicsItem.h"
#include "ProjectedViewWidget.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"
#include "classicMDSEmbeddingResult.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <fstream>
#include <tuple>

using TestSupport::CaptureStdout;

namespace {

using TestSupport::AvailableScope;

TEST(EngineMemoryJourney, ARefusedEngineWarnsOnceAndChangesNothingShown)
{
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
    const int rows = 300;
    const std::vector<float> values = TestSupport::Blobs(rows, 3, 4, 2.0f, 5);
    std::ofstream csv(dir.file("set.csv"));
    csv << "a,b,c\n";
    for (int r = 0; r < rows; ++r) csv << values[3 * r] << ',' << values[3 * r + 1] << ',' << values[3 * r + 2] << '\n';
    csv.close();

    Zelvo::AppMainFrame window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto trigger = [&](const QString& text, const std::string& name) {
        dialogs.AnswerFileName(QString::fromStdString(name));
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == text) CaptureStdout([&] { action->trigger(); });
    };
    Zelvo::DataPropertyWidget& panel = *window.GetDataOperationPanel();
    const auto apply = [&](int tab, int page) {
        panel.tabWidget->setCurrentIndex(tab);
        QToolBox* boxes[] = {panel.toolBoxDataView, panel.toolBoxClustering, panel.toolBoxDimReduction};
        boxes[tab]->setCurrentIndex(page);
        const size_t before = dialogs.Calls().size();
        CaptureStdout([&] { panel.pbApply->click(); });
        QStringList warnings;
        for (size_t i = before; i < dialogs.Calls().size(); ++i)
            if (dialogs.Calls()[i].kind == "warning") warnings << dialogs.Calls()[i].text;
        return warnings;
    };
    trigger("&New ...", dir.file("set.xml"));
    trigger("&Import CSV...", dir.file("set.csv"));
    Zelvo::DataProfile& profile = window.GetDataProfile();
    ASSERT_TRUE(apply(2, 0).isEmpty());  // PCA
    panel.comboBox_kmeansType->setCurrentIndex(1);
    ASSERT_TRUE(apply(1, 1).isEmpty());  // k-means
    const auto shown = [&] {
        std::vector<QPointF> places;
        for (const Zelvo::PointGraphicsItem* item : window.GetProjectedView()->GetScene().GetPointItems())
            places.push_back(item->scenePos());
        return std::make_tuple(profile.GetCurrentEmbeddingResult(), profile.GetCurrentClusteringResult(),
                               *profile.GetPointColors(), places);
    };
    const auto before = shown();

    {
        AvailableScope scope(64 << 10);
        const struct {
            int tab, page;
            const char* engine;
        } pages[] = {{2, 1, "MDS"},
                     {2, 2, "Isomap"},
                     {1, 0, "Hierarchical clustering"},
                     {1, 3, "Spectral clustering"},
                     {1, 4, "Subspace clustering"}};
        for (const auto& page : pages) {
            SCOPED_TRACE(page.engine);
            const QStringList warnings = apply(page.tab, page.page);
            ASSERT_EQ(warnings.size(), 1);
            // The profile may add its own line about the missing clustering.
            const QString refusal = warnings[0].section('\n', 0, 0);
            EXPECT_TRUE(refusal.startsWith(QString("Error: %1 needs ").arg(page.engine))) << refusal.toStdString();
            EXPECT_TRUE(refusal.endsWith(" MB of memory, more than the 0.1 MB available")) << refusal.toStdString();
            EXPECT_TRUE(shown() == before);
        }
    }
    // With the memory there, the same page runs.
    EXPECT_TRUE(apply(2, 1).isEmpty());
    EXPECT_NE(dynamic_cast<Zelvo::classicMDSEmbeddingResult*>(profile.GetCurrentEmbeddingResult()), nullptr);
}

}  // namespace
