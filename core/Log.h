#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Zelvo {

// Every diagnostic of the system is a plain line on standard output. All of them go
// through here so that each write is flushed at once (the lines interleave correctly
// with std::cout and can be captured by tests), and so that a window can see them too:
// listeners get every complete line, collectors the lines of one user operation.
class Log {
public:
    // printf-style text, written as given (add "\n" yourself).
    static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // The text followed by a newline, as puts() does.
    static void Puts(const std::string& text);
    // The text as given, no newline added.
    static void Write(const std::string& text);

    // Sees each complete line (without its line end) in the order written; collected is true
    // when a Collector was gathering it, so the operation that printed it reports it itself.
    using LineListener = std::function<void(const std::string& line, bool collected)>;
    // Told when an outermost Collector starts: a new user operation begins.
    using StartListener = std::function<void()>;

    // Registers the callbacks for as long as it lives. They run on the thread that writes and
    // must not write through Log themselves (such lines still reach standard output, but no
    // listener).
    class Listening {
    public:
        explicit Listening(LineListener onLine, StartListener onStart = StartListener());
        ~Listening();
        Listening(const Listening&) = delete;
        Listening& operator=(const Listening&) = delete;

    private:
        int m_id;
    };

    // Gathers the lines written while it lives, e.g. by one user operation. Collectors nest:
    // an inner one sees the lines written since it started, the outermost one all of them.
    class Collector {
    public:
        Collector();
        ~Collector();
        Collector(const Collector&) = delete;
        Collector& operator=(const Collector&) = delete;

        // The lines so far, without line ends; a last line that has no line end yet included.
        std::vector<std::string> Lines() const;
        // False when it started inside another collector.
        bool IsOutermost() const { return m_outermost; }

    private:
        size_t m_begin;
        bool m_outermost;
    };
};

}  // namespace Zelvo
