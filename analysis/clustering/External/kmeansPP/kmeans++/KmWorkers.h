#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

// A fixed set of threads that run numbered jobs together with the calling thread. Which
// thread runs a job is left to chance, so jobs must write disjoint data; each is told the
// number of the thread running it, so that it can use that thread's scratch.
class KmWorkers {
public:
    // The job function of one batch, held by reference so that handing it over allocates
    // nothing; the callable must outlive the call to Run, as a temporary argument does.
    class Job {
    public:
        template <typename F, typename = std::enable_if_t<!std::is_same<std::decay_t<F>, Job>::value>>
        Job(const F& function)  // NOLINT: made from any callable on purpose
            : m_function(&function), m_call([](const void* f, int index, int worker) {
                  (*static_cast<const F*>(f))(index, worker);
              })
        {
        }
        void operator()(int index, int worker) const { m_call(m_function, index, worker); }

    private:
        const void* m_function;
        void (*m_call)(const void*, int, int);
    };

    // count threads in all, the caller included; fewer when threads cannot be started.
    explicit KmWorkers(int count);
    ~KmWorkers();
    KmWorkers(const KmWorkers&) = delete;
    KmWorkers& operator=(const KmWorkers&) = delete;

    int Count() const { return static_cast<int>(m_threads.size()) + 1; }

    // Runs job(index, worker) for every index below jobs, worker < Count(), and returns
    // when all have ended. Not to be called from inside a job.
    void Run(int jobs, Job job);

    // Processors this process may run on.
    static int AvailableProcessors();

private:
    void Loop(int worker);
    void TakeJobs(int worker);

    // Batches often follow each other closely: a thread looks for the next one (or the end of
    // this one) this many times, giving way between looks, before it sleeps.
    static constexpr int kLooks = 256;

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const Job* m_job = nullptr;
    int m_jobCount = 0;
    std::atomic<int> m_next{0};
    std::atomic<int> m_busy{0};              // threads still working on the current batch
    std::atomic<unsigned> m_generation{0};   // counts batches, so a thread takes part once in each
    std::atomic<bool> m_stop{false};
};
