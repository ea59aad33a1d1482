// The mark a data set that failed to load leaves (nothing of it is saved or stored) lasts only
// until the next data set: New or a good Open lifts it. And the status line shows what no
// warning shows, never what one already said.
#include "AppMainFrame.h"
#include "Log.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTest>

#include <cstdio>
#include <functional>
#include <string>

using TestSupport::CaptureStdout;

namespace {

class FailedLoadAndStatusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(1400, 900);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void Trigger(const QString& text, const std::string& name = "")
    {
        if (!name.empty()) dialogs.AnswerFileName(QString::fromStdString(name));
        QAction* action = nullptr;
        for (QAction* a : window.findChildren<QAction*>())
            if (a->text() == text) action = a;
        ASSERT_NE(action, nullptr) << text.toStdString();
        CaptureStdout([&] { action->trigger(); });
        QCoreApplication::processEvents();
    }
    bool Save()
    {
        bool saved = false;
        CaptureStdout([&] { QMetaObject::invokeMethod(&window, "save", Q_RETURN_ARG(bool, saved)); });
        return saved;
    }
    // The warnings shown since the call count from, joined.
    std::string WarningsSince(size_t from) const
    {
        std::string texts;
        for (size_t i = from; i < dialogs.Calls().size(); ++i)
            if (dialogs.Calls()[i].kind == "warning") texts += dialogs.Calls()[i].text.toStdString() + "|";
        return texts;
    }
    std::string Status()
    {
        QCoreApplication::processEvents();
        return window.GetStatusLine()->text().toStdString();
    }

    TestSupport::InSourceTree inSourceTree;  // first in, last out
    ScriptedDialogService dialogs;
    TestSupport::TempDir dir;
    Zelvo::AppMainFrame window;
};

}  // namespace

TEST_F(FailedLoadAndStatusTest, NewOrAGoodOpenAfterAFailedOpenLiftsTheFailedLoadMark)
{
    const std::string xml = dir.file("x.xml"), bin = dir.file("x.bin"), csv = dir.file("x.csv");
    ASSERT_TRUE(TestSupport::WriteFile(csv, "a,b\n1,2\n3,4\n5,6\n"));
    ASSERT_TRUE(TestSupport::WriteFile(dir.file("tree.txt"), "+(N)+(N)+(L0)-+(L1)--(N)+(N)+(L2)--(N)"));
    Trigger("&New ...", xml);
    Trigger("&Import CSV...", csv);
    const std::string points = TestSupport::ReadFile(bin);
    ASSERT_EQ(points.size(), 6u * 4);

    const struct {
        const char* what;
        std::function<void()> next;
        std::string saved;  // the description Save writes
    } cases[] = {
        {"New", [&] { Trigger("&New ...", dir.file("y.xml")); }, dir.file("y.xml")},
        {"a good Open",
         [&] {
             TestSupport::WriteFile(bin, points);
             Trigger("&Open...", xml);
         },
         xml},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(bin.c_str());
        size_t before = dialogs.Calls().size();
        Trigger("&Open...", xml);
        ASSERT_NE(WarningsSince(before).find("ReadHDPointSet::Error"), std::string::npos) << WarningsSince(before);
        ASSERT_FALSE(Save()) << "the failed data set is not saved";

        c.next();
        std::remove(c.saved.c_str());
        before = dialogs.Calls().size();
        EXPECT_TRUE(Save());
        EXPECT_EQ(WarningsSince(before), "");
        EXPECT_NE(TestSupport::ReadFile(c.saved).find("<DataDescription>"), std::string::npos);
        // Nor is a clustering import of the new data set refused for the old one's failure.
        before = dialogs.Calls().size();
        Trigger("&Import Cluster Hierarchy...", dir.file("tree.txt"));
        EXPECT_EQ(WarningsSince(before).find("did not load"), std::string::npos) << WarningsSince(before);
        TestSupport::WriteFile(bin, points);
    }
}

// A line printed outside an operation stays in the status bar until the next operation starts;
// an operation's own lines are in its warning and never in the status bar, whether it failed
// or succeeded with a warning.
TEST_F(FailedLoadAndStatusTest, TheStatusLineShowsOnlyWhatNoWarningShowed)
{
    const std::string notXml = dir.file("notes.xml"), csv = dir.file("skip.csv");
    ASSERT_TRUE(TestSupport::WriteFile(notXml, "plain text\n"));
    ASSERT_TRUE(TestSupport::WriteFile(csv, "a,b\n1,2\n3\n5,6\n"));
    const struct {
        const char* what;
        std::function<void()> run;
        bool warns;
        std::string status;
    } steps[] = {
        {"a line outside", [] { CaptureStdout([] { Zelvo::Log::Puts("Warning: printed outside"); }); }, false,
         "Warning: printed outside"},
        {"a failed Open", [&] { Trigger("&Open...", notXml); }, true, ""},
        {"another line outside", [] { CaptureStdout([] { Zelvo::Log::Puts("Error: printed outside"); }); }, false,
         "Error: printed outside"},
        {"New", [&] { Trigger("&New ...", dir.file("s.xml")); }, false, "Error: printed outside"},
        {"an import that skips a row", [&] { Trigger("&Import CSV...", csv); }, true, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const size_t before = dialogs.Calls().size();
        step.run();
        EXPECT_EQ(!WarningsSince(before).empty(), step.warns) << WarningsSince(before);
        EXPECT_EQ(Status(), step.status);
    }
}
