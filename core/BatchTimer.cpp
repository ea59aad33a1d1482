#include "BatchTimer.h"

#include "Log.h"

namespace Zelvo {

BatchTimer& BatchTimer::GetInstance()
{
    static BatchTimer instance;
    return instance;
}

PortableTimer* BatchTimer::m_find(const char* name) const
{
    if (!name)
        return nullptr;
    // Transparent lookup: no string is built for a start or a stop.
    const auto it = m_timers.find(name);
    return it == m_timers.end() ? nullptr : it->second.get();
}

void BatchTimer::StartTimer(const char* name)
{
    if (PortableTimer* timer = m_find(name))
        timer->Start();
}

void BatchTimer::StopTimer(const char* name)
{
    if (PortableTimer* timer = m_find(name))
        timer->Stop();
}

bool BatchTimer::RegisterTimer(const char* name)
{
    if (!name || !*name)
        return false;
    auto& slot = m_timers[name];
    if (!slot)
        slot = std::make_unique<PortableTimer>();
    return true;
}

void BatchTimer::Clear()
{
    m_timers.clear();
}

const PortableTimer* BatchTimer::GetTimer(const char* name) const
{
    return m_find(name);
}

void BatchTimer::PrintReport() const
{
    for (const auto& [name, timer] : m_timers)
        Log::Printf("Timer %s: %f s in %d calls\n", name.c_str(), timer->GetAccumulatedSeconds(),
                    timer->GetCallCount());
}

}  // namespace Zelvo
