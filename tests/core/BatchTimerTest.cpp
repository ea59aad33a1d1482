#include "BatchTimer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using Zelvo::BatchTimer;

namespace {

// The registry is process-wide: every test leaves it empty.
struct BatchTimerTest : testing::Test {
    void SetUp() override { BatchTimer::GetInstance().Clear(); }
    void TearDown() override { BatchTimer::GetInstance().Clear(); }
};

}  // namespace

TEST_F(BatchTimerTest, UnregisteredNamesDoNothing)
{
    BatchTimer& timers = BatchTimer::GetInstance();
    EXPECT_EQ(&timers, &BatchTimer::GetInstance());
    const std::string out = TestSupport::CaptureStdout([&] {
        for (const char* name : {"Stress", "RDD", "KDE", "Corank", "MDS", "LE", "LLE"}) {
            timers.StartTimer(name);
            timers.StopTimer(name);
        }
        timers.StartTimer(nullptr);
        timers.StopTimer(nullptr);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(timers.GetTimerCount(), 0u);
    EXPECT_EQ(timers.GetTimer("Stress"), nullptr);
    EXPECT_FALSE(timers.RegisterTimer(nullptr));
    EXPECT_FALSE(timers.RegisterTimer(""));
    EXPECT_EQ(timers.GetTimerCount(), 0u);
}

TEST_F(BatchTimerTest, RegisteredTimersAccumulate)
{
    BatchTimer& timers = BatchTimer::GetInstance();
    ASSERT_TRUE(timers.RegisterTimer("Stress"));
    ASSERT_TRUE(timers.RegisterTimer("KDE"));
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
    EXPECT_EQ(timers.GetTimer("KDE")->GetCallCount(), 0);

    // Registering again keeps the record and what it measured.
    EXPECT_TRUE(timers.RegisterTimer("Stress"));
    EXPECT_EQ(timers.GetTimer("Stress"), stress);
    EXPECT_EQ(stress->GetCallCount(), 2);
    EXPECT_EQ(timers.GetTimerCount(), 2u);

    const std::string report = TestSupport::CaptureStdout([&] { timers.PrintReport(); });
    const std::string head = "Timer KDE: 0.000000 s in 0 calls\nTimer Stress: ";
    const std::string tail = " s in 2 calls\n";
    ASSERT_GT(report.size(), head.size() + tail.size()) << report;
    EXPECT_EQ(report.substr(0, head.size()), head);
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    const double printed = std::stod(report.substr(head.size(), report.size() - head.size() - tail.size()));
    EXPECT_NEAR(printed, stress->GetAccumulatedSeconds(), 1e-6);
}

TEST(PortableTimer, ElapsedSecondsBorrowsAcrossSeconds)
{
    EXPECT_DOUBLE_EQ(PortableTimer::ElapsedSeconds({10, 900000}, {11, 100000}), 0.2);
    EXPECT_DOUBLE_EQ(PortableTimer::ElapsedSeconds({5, 0}, {5, 250}), 0.00025);
    EXPECT_DOUBLE_EQ(PortableTimer::ElapsedSeconds({7, 5}, {9, 5}), 2.0);
    PortableTimer timer;
    EXPECT_EQ(timer.GetCallCount(), 0);
    EXPECT_EQ(timer.GetAccumulatedSeconds(), 0.0);
}
