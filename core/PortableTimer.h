#pragma once

#include <sys/time.h>

// One named wall-clock timer: the last start and stop times, the seconds accumulated
// over all start/stop pairs and the number of stops.
class PortableTimer {
public:
    PortableTimer() = default;

    void Start();
    void Stop();

    // Seconds between two time values (the microsecond difference taken as a signed int).
    static double ElapsedSeconds(const timeval& start, const timeval& stop);

    double GetAccumulatedSeconds() const { return m_accumulatedSeconds; }
    int GetCallCount() const { return m_callCount; }
    const timeval& GetStartTime() const { return m_start; }
    const timeval& GetStopTime() const { return m_stop; }

private:
    timeval m_start{0, 0};
    timeval m_stop{0, 0};
    double m_accumulatedSeconds = 0.0;
    int m_callCount = 0;
};
