#include "Log.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(Log, LinesAreWrittenAndFlushedInOrder)
{
    const std::string out = TestSupport::CaptureStdout([] {
        Zelvo::Log::Printf("value %d\n", 7);
        Zelvo::Log::Puts("line");
        Zelvo::Log::Write("tail");
    });
    EXPECT_EQ(out, "value 7\nline\ntail");
}
