#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Zelvo {

// A few threads that run numbered jobs together with the calling thread, for the quadratic
// loops of the distortion measures. Which thread runs a job is left to chance, so jobs must
// write disjoint data; each is told the number of the thread running it, so that it can use
// that thread's scratch. The first exception a job throws is thrown again by Run once every
// running job has ended; the jobs not yet started are skipped.
class ParallelJobs {
public:
    // count threads in all, the caller included (0: one per processor the process may run
    // on); fewer when threads cannot be started.
    explicit ParallelJobs(int count = 0);
    ~ParallelJobs();
    ParallelJobs(const ParallelJobs&) = delete;
    ParallelJobs& operator=(const ParallelJobs&) = delete;

    int Count() const { return static_cast<int>(m_threads.size()) + 1; }

    // Runs job(index, worker) for every index below jobs on at most `threads` threads at once
    // (0: all), worker < Count(). Not to be called from inside a job.
    void Run(int jobs, const std::function<void(int index, int worker)>& job, int threads = 0);

    static int AvailableProcessors();

private:
    void Loop(int worker);
    void TakeJobs(int worker);

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int, int)>* m_job = nullptr;
    int m_jobCount = 0;
    int m_next = 0;
    int m_active = 0;      // threads taking part in the current batch
    int m_busy = 0;        // helper threads still in the current batch
    unsigned m_batch = 0;  // counts batches, so a thread takes part once in each
    bool m_stop = false;
    std::exception_ptr m_failure;
};

}  // namespace Zelvo
