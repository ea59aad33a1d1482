// The logging layer's listeners and collectors: what a window sees of the printed lines.
#include "Log.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Zelvo::Log;

namespace {

TEST(Log, ListenersSeeCompleteLinesAndCollectorsTheLinesOfTheirOperation)
{
    std::vector<std::pair<std::string, bool>> seen;
    int starts = 0;
    std::vector<std::string> outerLines, innerLines;
    const std::string longText(700, 'x');  // beyond Printf's first buffer
    const std::string out = TestSupport::CaptureStdout([&] {
        Log::Listening listening([&](const std::string& line, bool collected) { seen.emplace_back(line, collected); },
                                 [&] { ++starts; });
        Log::Write("half ");
        Log::Puts("a line");
        {
            Log::Collector outer;
            Log::Printf("%s %d\n", longText.c_str(), 7);
            {
                Log::Collector inner;
                EXPECT_FALSE(inner.IsOutermost());
                Log::Write("inner\nno end");
                innerLines = inner.Lines();
            }
            EXPECT_TRUE(outer.IsOutermost());
            outerLines = outer.Lines();
        }
        Log::Puts(" after");
    });
    {
        Log::Collector again;  // starts clean, and no listener is left
        Log::Puts("unheard");
        EXPECT_EQ(again.Lines(), std::vector<std::string>{"unheard"});
    }
    EXPECT_EQ(out, "half a line\n" + longText + " 7\ninner\nno end after\n");
    const std::vector<std::pair<std::string, bool>> expected = {
        {"half a line", false}, {longText + " 7", true}, {"inner", true}, {"no end after", false}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(innerLines, (std::vector<std::string>{"inner", "no end"}));
    EXPECT_EQ(outerLines, (std::vector<std::string>{longText + " 7", "inner", "no end"}));
}

}  // namespace
