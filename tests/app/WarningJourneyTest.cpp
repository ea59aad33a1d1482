// A warning box means that something failed: the words Error and Warning in a user's paths,
// column names and rows are data. Tried as a new user: the real main window, scripted dialogs.
#include "AppMainFrame.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

class WarningJourneyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<Zelvo::AppMainFrame>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        folder = dir.file("Warnings");
        std::filesystem::create_directory(folder);
    }

    void Trigger(const QString& text, const std::string& name = "")
    {
        if (!name.empty()) dialogs.AnswerFileName(QString::fromStdString(name));
        for (QAction* action : window->findChildren<QAction*>())
            if (action->text() == text) TestSupport::CaptureStdout([&] { action->trigger(); });
    }
    // The warnings shown by the import of csv into a new data set.
    QStringList Import(const std::string& name, const std::string& csv)
    {
        const std::string path = folder + "/" + name + ".csv";
        std::ofstream(path) << csv;
        const size_t before = dialogs.Calls().size();
        Trigger("&New ...", folder + "/" + name + ".xml");
        Trigger("&Import CSV...", path);
        return WarningsSince(before);
    }
    QStringList WarningsSince(size_t from)
    {
        QStringList texts;
        for (size_t i = from; i < dialogs.Calls().size(); ++i)
            if (dialogs.Calls()[i].kind == "warning") texts << dialogs.Calls()[i].text;
        return texts;
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
    std::unique_ptr<Zelvo::AppMainFrame> window;
    std::string folder;
};

TEST_F(WarningJourneyTest, DataThatHoldsTheWordsImportsAndOpensWithoutAWarning)
{
    EXPECT_EQ(Import("Error", "Error rate,Warning: level,Error\n1,2,3\n4,5,6\n7,8,9\n"), QStringList());
    EXPECT_EQ(window->GetDataProfile().GetPointSet().GetPointCount(), 3);
    TestSupport::CaptureStdout([&] { EXPECT_TRUE(QMetaObject::invokeMethod(window.get(), "save")); });
    Trigger("&Close");
    const size_t before = dialogs.Calls().size();
    Trigger("&Open...", folder + "/Error.xml");
    EXPECT_EQ(WarningsSince(before), QStringList());
    EXPECT_EQ(window->GetDataProfile().GetPointSet().GetPointCount(), 3);
    EXPECT_EQ(window->GetStatusLine()->text(), "");
}

// However many skipped rows hold the words, the box holds what the loader concluded: the
// summary, and on a failed import its cause.
TEST_F(WarningJourneyTest, SkippedRowsNeverPushTheSummaryOrTheCauseOutOfTheBox)
{
    std::ostringstream skipped;
    for (int i = 0; i < 13; ++i) skipped << "Error,,Warning " << i << "\nWarning: " << i << "\n";
    const std::string path = folder + "/rows";
    const QString summary = QString::fromStdString(
        "Warning: 13 rows of " + path + ".csv have missing data and were skipped; the first is line 2: "
        "\"Error,,Warning 0\"\nWarning: 13 rows of " + path + ".csv do not have 3 fields and were skipped; the "
        "first is line 3: \"Warning: 0\"");
    EXPECT_EQ(Import("rows", "a,b,c\n" + skipped.str() + "1,2,3\n"), QStringList{summary});
    EXPECT_EQ(window->GetDataProfile().GetPointSet().m_values, (std::vector<float>{1, 2, 3}));

    const QString cause = QString::fromStdString("Error: No data to import from " + path +
                                                 ".csv: no row of data below the header was kept");
    EXPECT_EQ(Import("rows", "a,b,c\n" + skipped.str()), QStringList{summary + "\n" + cause});
}

}  // namespace
