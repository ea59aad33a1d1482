#include "MemoryBudget.h"

#include "Log.h"

#include <unistd.h>

#include <atomic>

namespace Zelvo {

namespace {

std::atomic<size_t> g_limit{0};

size_t QuarterOfPhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return size_t(1) << 30;  // unknown: 1 GB
    return static_cast<size_t>(pages) / 4 * static_cast<size_t>(pageSize);
}

}  // namespace

size_t MemoryBudget::Bytes()
{
    const size_t limit = g_limit.load();
    if (limit > 0) return limit;
    static const size_t quarter = QuarterOfPhysicalMemory();
    return quarter;
}

size_t MemoryBudget::KeepBytes()
{
    const size_t cap = size_t(256) << 20;
    const size_t sixteenth = Bytes() / 16;
    return sixteenth < cap ? sixteenth : cap;
}

void MemoryBudget::SetLimit(size_t bytes)
{
    g_limit.store(bytes);
}

bool MemoryBudget::Allows(const char* what, double bytes)
{
    const double budget = static_cast<double>(Bytes());
    if (bytes <= budget) return true;
    const double mb = 1024.0 * 1024.0;
    Log::Printf("Error: %s needs %.1f MB of memory, more than the %.1f MB allowed\n", what, bytes / mb, budget / mb);
    return false;
}

}  // namespace Zelvo
