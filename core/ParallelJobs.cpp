#include "ParallelJobs.h"

#include <sched.h>

#include <algorithm>

namespace Zelvo {

ParallelJobs::ParallelJobs(int count)
{
    if (count <= 0) count = AvailableProcessors();
    for (int worker = 1; worker < count; ++worker) {
        try {
            m_threads.emplace_back(&ParallelJobs::Loop, this, worker);
        } catch (const std::exception&) {
            break;  // the threads started so far do the work
        }
    }
}

ParallelJobs::~ParallelJobs()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

int ParallelJobs::AvailableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}

void ParallelJobs::Run(int jobs, const std::function<void(int, int)>& job, int threads)
{
    if (jobs <= 0) return;
    const int active = std::min({threads > 0 ? threads : Count(), Count(), jobs});
    if (active <= 1) {
        for (int index = 0; index < jobs; ++index) job(index, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = &job;
        m_jobCount = jobs;
        m_next = 0;
        m_active = active;
        m_busy = static_cast<int>(m_threads.size());
        m_failure = nullptr;
        ++m_batch;
    }
    m_wake.notify_all();
    TakeJobs(0);
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_busy == 0; });
        m_job = nullptr;
        failure = m_failure;
        m_failure = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void ParallelJobs::TakeJobs(int worker)
{
    for (;;) {
        int index = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_next >= m_jobCount) return;
            index = m_next++;
        }
        try {
            (*m_job)(index, worker);
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_failure) m_failure = std::current_exception();
            m_next = m_jobCount;
        }
    }
}

void ParallelJobs::Loop(int worker)
{
    unsigned seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_batch != seen; });
            if (m_stop) return;
            seen = m_batch;
        }
        if (worker < m_active) TakeJobs(worker);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_busy == 0) m_done.notify_one();
        }
    }
}

}  // namespace Zelvo
