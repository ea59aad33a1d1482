#include "KmWorkers.h"

#include <sched.h>
#include <exception>

KmWorkers::KmWorkers(int count)
{
    for (int worker = 1; worker < count; ++worker) {
        try {
            m_threads.emplace_back(&KmWorkers::Loop, this, worker);
        } catch (const std::exception&) {
            break;  // the threads started so far do the work
        }
    }
}

KmWorkers::~KmWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

void KmWorkers::Run(int jobs, Job job)
{
    if (m_threads.empty() || jobs < 2) {
        for (int index = 0; index < jobs; ++index) job(index, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = &job;
        m_jobCount = jobs;
        m_next = 0;
        m_busy = static_cast<int>(m_threads.size());
        ++m_generation;
    }
    m_wake.notify_all();
    TakeJobs(0);
    for (int look = 0; look < kLooks && m_busy > 0; ++look) std::this_thread::yield();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_busy == 0; });
    m_job = nullptr;
}

int KmWorkers::AvailableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}

void KmWorkers::Loop(int worker)
{
    unsigned seen = 0;
    for (;;) {
        // A batch seen while looking needs no lock: the caller set it up before counting it.
        for (int look = 0; look < kLooks && m_generation == seen && !m_stop; ++look) std::this_thread::yield();
        if (m_generation == seen && !m_stop) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
        }
        if (m_stop) return;
        seen = m_generation;
        TakeJobs(worker);
        // The last thread to finish wakes the caller, under the lock so that the call cannot
        // miss it between its test and its wait.
        if (--m_busy == 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done.notify_one();
        }
    }
}

void KmWorkers::TakeJobs(int worker)
{
    for (;;) {
        const int index = m_next.fetch_add(1);
        if (index >= m_jobCount) return;
        (*m_job)(index, worker);
    }
}
