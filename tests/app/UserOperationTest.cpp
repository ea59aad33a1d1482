// The boundary of a user operation: which lines reach the warning, exceptions, nesting.
#include "Log.h"
#include "ScriptedDialogService.h"
#include "TestSupport.h"
#include "UserOperation.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>

using Zelvo::Log;
using Zelvo::UserOperation;

namespace {

TEST(UserOperation, ReportsFailuresAndNotableLinesInOneWarning)
{
    QWidget window;
    window.setWindowTitle("Tolvemark v0.1");
    QWidget panel(&window);
    struct Case {
        std::function<bool()> work;
        QString warning;  // "" for none
        bool recovered;
    };
    const Case cases[] = {
        {[] { Log::Puts("progress"); return true; }, "", false},
        {[] { Log::Puts("Cycle 3 Error 12.5 Movement 0.1"); Log::Puts("error diff: 0.1"); return true; }, "", false},
        {[] { Log::Puts("LE: tau"); Log::Puts("Warning: joined"); return true; }, "Warning: joined", false},
        {[] { Log::Puts("step"); Log::Printf("Label loading Error\n!!!!"); return false; }, "Label loading Error",
         false},
        {[] { Log::Puts("only this"); Log::Puts(" "); return false; }, "only this", false},
        {[] { return false; }, "Apply failed.", false},
        {[] () -> bool { throw std::bad_alloc(); }, "Error: Apply: not enough memory", true},
        {[] () -> bool { throw std::runtime_error("broken"); }, "Error: Apply: broken", true},
        {[] () -> bool { throw 3; }, "Error: Apply: unexpected failure", true},
        {[] {  // an inner operation only collects and catches: the outer one reports
             UserOperation::Run(nullptr, "Inner", [] () -> bool { throw std::bad_alloc(); });
             return true;
         }, "Error: Inner: not enough memory", false},
        {[] {  // the first and the last lines: an operation ends with its cause
             for (int i = 0; i < 14; ++i) Log::Printf("Error: %c\n", 'a' + i);
             return true;
         }, "Error: a\nError: b\nError: c\nError: d\nError: e\nError: f\n... and 2 more lines on standard output\n"
            "Error: i\nError: j\nError: k\nError: l\nError: m\nError: n", false},
        {[] {  // data that holds the words is no report
             Log::Puts("Loading file: /d/Warnings/Error.csv");
             for (int i = 0; i < 13; ++i) Log::Printf("missingData: Error,,Warning %d\n", i);
             Log::Puts("Warning: 13 rows of /d/Warnings/Error.csv have missing data and were skipped");
             Log::Puts("Error: No data to import from /d/Warnings/Error.csv: no row of data below the header was kept");
             return false;
         }, "Warning: 13 rows of /d/Warnings/Error.csv have missing data and were skipped\n"
            "Error: No data to import from /d/Warnings/Error.csv: no row of data below the header was kept", false},
        {[] {
             for (int i = 0; i < 12; ++i) Log::Printf("Error: %c\n", 'a' + i);
             return true;
         }, "Error: a\nError: b\nError: c\nError: d\nError: e\nError: f\nError: g\nError: h\nError: i\nError: j\n"
            "Error: k\nError: l", false},
        {[] { Log::Puts("Cycle 4 Error -0.5 Warning +2 Movement .1"); return true; }, "", false},
        {[] { Log::Puts("Error: " + std::string(400, 'x')); return true; },
         QString::fromStdString("Error: " + std::string(293, 'x')) + " ...", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning.toStdString());
        ScriptedDialogService dialogs;
        bool recovered = false;
        bool succeeded = false;
        TestSupport::CaptureStdout([&] {
            succeeded = UserOperation::Run(&panel, "Apply", c.work, [&] { recovered = true; });
        });
        EXPECT_EQ(recovered, c.recovered);
        if (c.recovered) {
            EXPECT_FALSE(succeeded);
        }
        if (c.warning.isEmpty()) {
            EXPECT_TRUE(dialogs.Calls().empty());
            continue;
        }
        ASSERT_EQ(dialogs.Calls().size(), 1u);
        EXPECT_EQ(dialogs.Calls()[0].text, c.warning);
        EXPECT_EQ(dialogs.Calls()[0].caption, "Tolvemark v0.1");
        EXPECT_EQ(dialogs.Calls()[0].parent, &panel);
    }

    // A guard shows nothing: its lines go on to the listeners.
    ScriptedDialogService dialogs;
    bool recovered = false;
    TestSupport::CaptureStdout([&] {
        EXPECT_FALSE(
            UserOperation::Guard("Save", [] () -> bool { throw std::bad_alloc(); }, [&] { recovered = true; }));
    });
    EXPECT_TRUE(recovered);
    EXPECT_TRUE(dialogs.Calls().empty());
}

// A line is notable by the program's own marker where it starts, never by a word in the data it
// echoes. The notable lines are the forms the program prints its failures in.
TEST(UserOperation, OnlyTheProgramsOwnMarkerMakesALineNotable)
{
    const char* const notable[] = {
        "Error: No data to import from /d/Warnings/a.csv: the file is empty",
        "Error in reading: /d/a.csv",
        "Error in opening: /d/a.xml file",
        "Error kmeans: not enough memory",
        "Error LinearProjection targetDim 3 don't match the basisDim 2",
        "Error",
        "Warning: Entry already existed, replace the existing entry",
        "ReadHDPointSet::Error Can't Open the BinrayFile",
        "[DataProfile] Error: No data-set file object",
        "[DataProfile] Warning: Embedding is doesn't existed",
        "Label loading Error",
    };
    const char* const data[] = {
        "Loading file: /d/Warnings/Error.csv",
        "  Error rate, Warning: level, ",
        "missingData: Error,,3",
        "columnCountMismatch: Warning: 1,2",
        " dimensionMask:1 dim:Error",
        "Errors, Warnings, ",
        "Error=>set_Error.bin",
        "Cycle 3 Error 12.5 Movement 0.1",
        "error diff: 0.1",
        "Catch!!! eigenDecomposition error",
        "[Data Profile] Error: spaced",
        "::Error x",
        "Label loading Error!",
        "Warnings/a.csv",
        "",
    };
    for (const char* line : notable) EXPECT_TRUE(UserOperation::IsNotable(line)) << line;
    for (const char* line : data) EXPECT_FALSE(UserOperation::IsNotable(line)) << line;
}

}  // namespace
