#include "AppMainFrame.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"
#include "ZelvoApplication.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <fstream>

using Zelvo::AppMainFrame;
using TestSupport::CaptureStdout;
using TestSupport::TempDir;

namespace {

QAction* FindAction(AppMainFrame& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>(Qt::FindDirectChildrenOnly)) {
        if (action->text() == text) return action;
    }
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
}

QStringList EntryTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions) texts << (action->isSeparator() ? QString("---") : action->text());
    return texts;
}

// Runs a slot that answers with a bool (private slots are reachable through the meta-object).
bool InvokeBoolSlot(AppMainFrame& window, const char* slot)
{
    bool result = false;
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection, Q_RETURN_ARG(bool, result)));
    return result;
}

bool FileExists(const std::string& path)
{
    return std::ifstream(path).good();
}

const QString kXmlFilter = "XML (*.XML *.xml)";

}  // namespace

TEST(AppMainFrame, StartsMaximisedWithTitleAndMenus)
{
    std::unique_ptr<AppMainFrame> window = Zelvo::ZelvoApplication::CreateMainWindow();
    EXPECT_EQ(window->windowTitle(), "Tolvemark v0.1");
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(window->isVisible());
    const QList<QAction*> menus = window->menuBar()->actions();
    EXPECT_EQ(EntryTexts(menus), (QStringList{"&File", "&View", "&Help"}));

    // The subspace import exists but no menu shows it.
    QAction* subspace = FindAction(*window, "&Import Subspace Clustering ...");
    for (QAction* menu : menus) EXPECT_FALSE(menu->menu()->actions().contains(subspace));
}

TEST(AppMainFrame, ClosingAsksFirstAndOnlyYesCloses)
{
    ScriptedDialogService dialogs;
    std::unique_ptr<AppMainFrame> window = Zelvo::ZelvoApplication::CreateMainWindow();
    QWidget* widget = window.get();

    dialogs.AnswerWarning(QMessageBox::No);
    EXPECT_FALSE(widget->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    const auto& question = dialogs.Calls()[0];
    EXPECT_EQ(question.kind, "warning");
    EXPECT_EQ(question.parent, widget);
    EXPECT_EQ(question.caption, "Tolvemark v0.1");
    EXPECT_EQ(question.text, "Do you want to quit Tolvemark 0.1v ?");
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.defaultButton, QMessageBox::NoButton);

    dialogs.AnswerWarning(QMessageBox::NoButton);  // box dismissed
    EXPECT_FALSE(widget->close());
    EXPECT_TRUE(window->isVisible());

    dialogs.AnswerWarning(QMessageBox::Yes);
    EXPECT_TRUE(widget->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(dialogs.Calls().size(), 3u);
}

TEST(AppMainFrame, QuitEndsTheEventLoopWithoutAsking)
{
    ScriptedDialogService dialogs;
    std::unique_ptr<AppMainFrame> window = Zelvo::ZelvoApplication::CreateMainWindow();
    QAction* quit = FindAction(*window, "&Quit");
    ASSERT_NE(quit, nullptr);

    QTimer trigger;
    trigger.setSingleShot(true);
    QObject::connect(&trigger, &QTimer::timeout, quit, &QAction::trigger);
    QTimer watchdog;  // ends the loop with another code when quitting does not
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    trigger.start(0);
    watchdog.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_TRUE(window->isVisible());
}

TEST(AppMainFrame, NewAsksForANameAndAppendsXmlOnlyWithoutAnyDot)
{
    ScriptedDialogService dialogs;
    TempDir dir;
    std::unique_ptr<AppMainFrame> window = Zelvo::ZelvoApplication::CreateMainWindow();
    QAction* newAct = FindAction(*window, "&New ...");
    ASSERT_NE(newAct, nullptr);
    Zelvo::HDfileIO& io = window->GetHDfileIO();

    dialogs.AnswerFileName("");  // cancelled
    newAct->trigger();
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].kind, "save");
    EXPECT_EQ(dialogs.Calls()[0].parent, window.get());
    EXPECT_EQ(dialogs.Calls()[0].caption, "Create new XML HDdataSet file");
    EXPECT_EQ(dialogs.Calls()[0].directory, "./");
    EXPECT_EQ(dialogs.Calls()[0].filter, kXmlFilter);
    EXPECT_FALSE(io.IsOpened());
    EXPECT_EQ(io.GetFullPath(), "");

    // The temporary folder's own path may hold a dot, so the names without any are relative
    // to it.
    const TestSupport::InFolder inDir(dir.path());
    for (const std::string plain : {"set", "data/set"}) {
        dialogs.AnswerFileName(QString::fromStdString(plain));
        newAct->trigger();
        EXPECT_TRUE(io.IsOpened());
        EXPECT_TRUE(io.IsNewDataSet());
        EXPECT_EQ(io.GetFullPath(), plain + ".xml");
    }
    EXPECT_FALSE(FileExists("set.xml")) << "New writes nothing";

    // A dot anywhere, a folder's name included, keeps the name as it is.
    for (const std::string& name : {dir.path() + "v1.2/set", dir.path() + "set.XML", dir.path() + "set."}) {
        dialogs.AnswerFileName(QString::fromStdString(name));
        newAct->trigger();
        EXPECT_EQ(io.GetFullPath(), name);
    }
    EXPECT_TRUE(dialogs.ScriptUsedUp());
}

TEST(AppMainFrame, SaveNeedsADataSetAndReportsTheWrite)
{
    ScriptedDialogService dialogs;
    TempDir dir;
    std::unique_ptr<AppMainFrame> window = Zelvo::ZelvoApplication::CreateMainWindow();
    Zelvo::HDfileIO& io = window->GetHDfileIO();

    EXPECT_FALSE(InvokeBoolSlot(*window, "save"));
    EXPECT_FALSE(InvokeBoolSlot(*window, "saveAs"));
    EXPECT_TRUE(dialogs.Calls().empty()) << "no dialog without a data set";

    const std::string path = dir.file("made.xml");
    dialogs.AnswerFileName(QString::fromStdString(path));
    FindAction(*window, "&New ...")->trigger();
    EXPECT_TRUE(InvokeBoolSlot(*window, "save"));
    EXPECT_NE(TestSupport::ReadFile(path).find("<DataDescription>"), std::string::npos);

    // Save As: cancelling writes nothing; a name gets a copy and the data set keeps its path.
    dialogs.AnswerFileName("");
    EXPECT_FALSE(InvokeBoolSlot(*window, "saveAs"));
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[1].kind, "save");
    EXPECT_EQ(dialogs.Calls()[1].caption, "SaveAs XML HDdataSet file");
    EXPECT_EQ(dialogs.Calls()[1].directory, "./");
    EXPECT_EQ(dialogs.Calls()[1].filter, kXmlFilter);
    const std::string copy = dir.file("copy");  // Save As appends nothing
    dialogs.AnswerFileName(QString::fromStdString(copy));
    EXPECT_TRUE(InvokeBoolSlot(*window, "saveAs"));
    EXPECT_NE(TestSupport::ReadFile(copy).find("<DataDescription>"), std::string::npos);
    EXPECT_EQ(io.GetFullPath(), path);

    // Closing keeps the data set, so it can still be saved.
    FindAction(*window, "&Close")->trigger();
    EXPECT_TRUE(io.IsOpened());
    std::remove(path.c_str());
    EXPECT_TRUE(InvokeBoolSlot(*window, "save"));
    EXPECT_TRUE(FileExists(path));

    // A write that fails is reported as failed, with its reason.
    dialogs.AnswerFileName(QString::fromStdString(dir.path() + "missing/dir.d/set.xml"));
    FindAction(*window, "&New ...")->trigger();
    std::string out = CaptureStdout([&] { EXPECT_FALSE(InvokeBoolSlot(*window, "save")); });
    EXPECT_EQ(out, "Error in saving: " + dir.path() + "missing/dir.d/set.xml file (No such file or directory)\n");
    dialogs.AnswerFileName(QString::fromStdString(dir.path() + "missing/other.xml"));
    out = CaptureStdout([&] { EXPECT_FALSE(InvokeBoolSlot(*window, "saveAs")); });
    EXPECT_EQ(out, "Error in saving: " + dir.path() + "missing/other.xml file (No such file or directory)\n");
    EXPECT_TRUE(dialogs.ScriptUsedUp());
}

TEST(AppMainFrame, OpenLoadsADescriptionAndAFailureChangesNothing)
{
    ScriptedDialogService dialogs;
    TempDir dir;
    std::unique_ptr<AppMainFrame> window = Zelvo::ZelvoApplication::CreateMainWindow();
    Zelvo::HDfileIO& io = window->GetHDfileIO();
    QAction* open = FindAction(*window, "&Open...");
    ASSERT_NE(open, nullptr);

    // A description made with New and Save opens again.
    const std::string path = dir.file("roundtrip.xml");
    dialogs.AnswerFileName(QString::fromStdString(path));
    FindAction(*window, "&New ...")->trigger();
    ASSERT_TRUE(InvokeBoolSlot(*window, "save"));

    dialogs.AnswerFileName("");
    open->trigger();
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[1].kind, "open");
    EXPECT_EQ(dialogs.Calls()[1].parent, window.get());
    EXPECT_EQ(dialogs.Calls()[1].caption, "Open XML HDdataSet file");
    EXPECT_EQ(dialogs.Calls()[1].directory, "./");
    EXPECT_EQ(dialogs.Calls()[1].filter, kXmlFilter);
    EXPECT_TRUE(io.IsNewDataSet()) << "cancelled Open changed the data set";

    dialogs.AnswerFileName(QString::fromStdString(path));
    std::string out = CaptureStdout([&] { open->trigger(); });
    EXPECT_EQ(out.rfind("Opened the file ... \n", 0), 0u) << out;
    EXPECT_TRUE(io.IsOpened());
    EXPECT_FALSE(io.IsNewDataSet());
    EXPECT_EQ(io.GetFullPath(), path);

    const std::string broken = dir.file("broken.xml");
    std::ofstream(broken) << "<DataDescription><MetaInfo>";
    dialogs.AnswerFileName(QString::fromStdString(broken));
    out = CaptureStdout([&] { open->trigger(); });
    EXPECT_EQ(out, "Error in opening: " + broken + " file\n");
    EXPECT_EQ(io.GetFullPath(), path);
    EXPECT_TRUE(io.IsOpened());
    EXPECT_TRUE(dialogs.ScriptUsedUp());
}
