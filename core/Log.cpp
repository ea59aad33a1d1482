#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <utility>

namespace Zelvo {

namespace {

struct Listeners {
    Log::LineListener onLine;
    Log::StartListener onStart;
};

// What every writer shares: the registered listeners, the line being written (for them) and
// the text written while a collector lives.
struct SharedState {
    std::mutex mutex;
    std::map<int, Listeners> listeners;  // in registration order
    int nextId = 1;
    std::string partialLine;
    int collectors = 0;
    std::string collected;
};

SharedState& Shared()
{
    static SharedState state;
    return state;
}

// A listener that writes through Log must not be called again from inside itself.
thread_local bool t_dispatching = false;

std::vector<std::string> SplitLines(const std::string& text, size_t begin)
{
    std::vector<std::string> lines;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

void Dispatch(const std::string& text)
{
    SharedState& state = Shared();
    std::vector<std::string> lines;
    std::vector<Log::LineListener> targets;
    bool collected = false;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (state.collectors > 0) state.collected += text;
        if (state.listeners.empty()) {
            state.partialLine.clear();
            return;
        }
        state.partialLine += text;
        size_t begin = 0;
        for (size_t end = state.partialLine.find('\n'); end != std::string::npos;
             end = state.partialLine.find('\n', begin)) {
            lines.push_back(state.partialLine.substr(begin, end - begin));
            begin = end + 1;
        }
        if (lines.empty()) return;
        state.partialLine.erase(0, begin);
        collected = state.collectors > 0;
        for (const auto& entry : state.listeners)
            if (entry.second.onLine) targets.push_back(entry.second.onLine);
    }
    if (t_dispatching) return;
    t_dispatching = true;
    for (const std::string& line : lines)
        for (const Log::LineListener& listener : targets) listener(line, collected);
    t_dispatching = false;
}

}  // namespace

void Log::Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[512];
    const int length = std::vsnprintf(small, sizeof(small), format, args);
    va_end(args);
    std::string text;
    if (length > 0 && static_cast<size_t>(length) < sizeof(small)) {
        text.assign(small, static_cast<size_t>(length));
    } else if (length > 0) {
        text.resize(static_cast<size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    Write(text);
}

void Log::Puts(const std::string& text)
{
    Write(text + "\n");
}

void Log::Write(const std::string& text)
{
    std::cout.flush();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (!text.empty()) Dispatch(text);
}

Log::Listening::Listening(LineListener onLine, StartListener onStart)
{
    SharedState& state = Shared();
    const std::lock_guard<std::mutex> lock(state.mutex);
    m_id = state.nextId++;
    state.listeners[m_id] = Listeners{std::move(onLine), std::move(onStart)};
}

Log::Listening::~Listening()
{
    SharedState& state = Shared();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.listeners.erase(m_id);
    if (state.listeners.empty()) state.partialLine.clear();
}

Log::Collector::Collector()
{
    SharedState& state = Shared();
    std::vector<StartListener> targets;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        m_outermost = state.collectors == 0;
        if (m_outermost) {
            state.collected.clear();
            for (const auto& entry : state.listeners)
                if (entry.second.onStart) targets.push_back(entry.second.onStart);
        }
        m_begin = state.collected.size();
        ++state.collectors;
    }
    for (const StartListener& listener : targets) listener();
}

Log::Collector::~Collector()
{
    SharedState& state = Shared();
    const std::lock_guard<std::mutex> lock(state.mutex);
    if (--state.collectors == 0) std::string().swap(state.collected);
}

std::vector<std::string> Log::Collector::Lines() const
{
    SharedState& state = Shared();
    const std::lock_guard<std::mutex> lock(state.mutex);
    return SplitLines(state.collected, m_begin);
}

}  // namespace Zelvo
