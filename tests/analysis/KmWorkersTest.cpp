#include "KmWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

TEST(KmWorkers, EveryJobRunsOnceOnANamedThreadAndRunWaitsForAll)
{
    for (const int count : {1, 2, 5}) {
        SCOPED_TRACE("threads " + std::to_string(count));
        KmWorkers workers(count);
        ASSERT_EQ(workers.Count(), count);
        // Many short batches one after another, with more and fewer jobs than threads.
        for (int batch = 0; batch < 300; ++batch) {
            const int jobs = batch % 11;
            std::vector<std::atomic<int>> runs(static_cast<std::size_t>(jobs));
            for (auto& r : runs) r = 0;
            std::atomic<bool> badWorker{false};
            workers.Run(jobs, [&](int index, int worker) {
                if (worker < 0 || worker >= count || index < 0 || index >= jobs) {
                    badWorker = true;  // a job outside the batch must never be run
                    return;
                }
                runs[static_cast<std::size_t>(index)] += 1;
            });
            ASSERT_FALSE(badWorker) << "batch " << batch;
            for (int i = 0; i < jobs; ++i) ASSERT_EQ(runs[static_cast<std::size_t>(i)].load(), 1) << "batch " << batch << " job " << i;
        }
    }
}

TEST(KmWorkers, JobsOfOneBatchRunAtTheSameTime)
{
    // Each of four jobs waits until all four have started: only threads running together see
    // that within the time allowed. One thread alone runs its jobs in turn.
    KmWorkers workers(4);
    std::atomic<int> started{0};
    std::atomic<int> sawAll{0};
    std::set<int> seen;
    std::vector<int> workerOf(4, -1);
    workers.Run(4, [&](int index, int worker) {
        started += 1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (started.load() < 4 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        if (started.load() == 4) sawAll += 1;
        workerOf[static_cast<std::size_t>(index)] = worker;
    });
    EXPECT_EQ(sawAll.load(), 4);
    seen.insert(workerOf.begin(), workerOf.end());
    EXPECT_EQ(seen.size(), 4u);

    KmWorkers alone(1);
    std::vector<int> order;
    alone.Run(3, [&](int index, int worker) {
        EXPECT_EQ(worker, 0);
        order.push_back(index);
    });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(KmWorkers::AvailableProcessors(), 1);
}
