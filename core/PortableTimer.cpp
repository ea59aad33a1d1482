#include "PortableTimer.h"

void PortableTimer::Start()
{
    gettimeofday(&m_start, nullptr);
}

void PortableTimer::Stop()
{
    ++m_callCount;
    gettimeofday(&m_stop, nullptr);
    m_accumulatedSeconds += ElapsedSeconds(m_start, m_stop);
}

double PortableTimer::ElapsedSeconds(const timeval& start, const timeval& stop)
{
    const int microseconds = int(stop.tv_usec - start.tv_usec);
    return microseconds / 1e6 + double(stop.tv_sec - start.tv_sec);
}
