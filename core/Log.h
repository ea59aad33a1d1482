#pragma once

#include <string>

namespace Zelvo {

// Every diagnostic of the system is a plain line on standard output. All of them go
// through here so that each write is flushed at once (the lines interleave correctly
// with std::cout and can be captured by tests).
class Log {
public:
    // printf-style text, written as given (add "\n" yourself).
    static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // The text followed by a newline, as puts() does.
    static void Puts(const std::string& text);
    // The text as given, no newline added.
    static void Write(const std::string& text);
};

}  // namespace Zelvo
