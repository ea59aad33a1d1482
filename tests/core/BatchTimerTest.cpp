#include "BatchTimer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using Zelvo::BatchTimer;

TEST(BatchTimer, RegisteredTimersAccumulateOthersAreIgnored)
{
    BatchTimer& timers = BatchTimer::GetInstance();
    timers.Clear();
    timers.StartTimer("Stress");
    timers.StopTimer("Stress");
    timers.StartTimer(nullptr);
    timers.StopTimer(nullptr);
    EXPECT_EQ(timers.GetTimerCount(), 0u);
    EXPECT_FALSE(timers.RegisterTimer(nullptr));
    EXPECT_FALSE(timers.RegisterTimer(""));

    ASSERT_TRUE(timers.RegisterTimer("Stress"));
    for (int i = 0; i < 2; ++i) {
        timers.StartTimer("Stress");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        timers.StopTimer("Stress");
    }
    const PortableTimer* stress = timers.GetTimer("Stress");
    ASSERT_NE(stress, nullptr);
    EXPECT_EQ(stress->GetCallCount(), 2);
    EXPECT_GE(stress->GetAccumulatedSeconds(), 0.039);
    EXPECT_LT(stress->GetAccumulatedSeconds(), 5.0);
    // Registering again keeps the record and what it measured.
    EXPECT_TRUE(timers.RegisterTimer("Stress"));
    EXPECT_EQ(timers.GetTimer("Stress"), stress);
    EXPECT_EQ(stress->GetCallCount(), 2);
    const std::string report = TestSupport::CaptureStdout([&] { timers.PrintReport(); });
    EXPECT_NE(report.find(" s in 2 calls\n"), std::string::npos) << report;
    timers.Clear();
    EXPECT_EQ(timers.GetTimerCount(), 0u);
}

TEST(PortableTimer, ElapsedSecondsBorrowsAcrossSeconds)
{
    EXPECT_DOUBLE_EQ(PortableTimer::ElapsedSeconds({10, 900000}, {11, 100000}), 0.2);
    EXPECT_DOUBLE_EQ(PortableTimer::ElapsedSeconds({5, 0}, {5, 250}), 0.00025);
    EXPECT_DOUBLE_EQ(PortableTimer::ElapsedSeconds({7, 5}, {9, 5}), 2.0);
}
