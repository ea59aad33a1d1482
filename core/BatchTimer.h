#pragma once

#include "PortableTimer.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Zelvo {

// Process-wide registry of named wall-clock timers. Starting or stopping a name that was
// never registered does nothing, so code may bracket its costly steps unconditionally.
class BatchTimer {
public:
    static BatchTimer& GetInstance();

    BatchTimer(const BatchTimer&) = delete;
    BatchTimer& operator=(const BatchTimer&) = delete;

    void StartTimer(const char* name);
    void StopTimer(const char* name);

    // Adds a timer of that name; an existing one is kept as it is. Returns false for a
    // null or empty name.
    bool RegisterTimer(const char* name);
    // Removes every timer.
    void Clear();
    // The timer of that name, or null.
    const PortableTimer* GetTimer(const char* name) const;
    size_t GetTimerCount() const { return m_timers.size(); }
    // One line per timer in name order: name, accumulated seconds, calls.
    void PrintReport() const;

private:
    BatchTimer() = default;
    PortableTimer* m_find(const char* name) const;

    std::map<std::string, std::unique_ptr<PortableTimer>, std::less<>> m_timers;
};

}  // namespace Zelvo
