#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>

namespace Zelvo {

void Log::Printf(const char* format, ...)
{
    std::cout.flush();
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
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
}

}  // namespace Zelvo
