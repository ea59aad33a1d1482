#include "MemoryBudget.h"

#include "Log.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <fstream>
#include <sstream>

namespace Zelvo {

namespace {

std::atomic<size_t> g_limit{0};
std::atomic<size_t> g_available{0};

// The v1 kernels report "no limit" as the largest page count they hold, just below 2^63.
constexpr int64_t kNoLimit = int64_t(1) << 62;

std::string ReadText(const std::string& path)
{
    std::ifstream file(path);
    if (!file) return std::string();
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A whole non-negative number, or -1.
int64_t Number(const std::string& text)
{
    const std::string trimmed = Trimmed(text);
    int64_t value = -1;
    const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (error != std::errc() || end != trimmed.data() + trimmed.size() || value < 0) return -1;
    return value;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

bool Contains(const std::vector<std::string>& items, const std::string& item)
{
    return std::find(items.begin(), items.end(), item) != items.end();
}

// The value of "key value" in a statistics text, or -1.
int64_t StatValue(const std::string& stat, const std::string& key)
{
    for (const std::string& line : Lines(stat))
        if (line.compare(0, key.size() + 1, key + ' ') == 0) return Number(line.substr(key.size() + 1));
    return -1;
}

int64_t PhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return int64_t(1) << 30;  // unknown: 1 GB
    return static_cast<int64_t>(pages) * pageSize;
}

}  // namespace

size_t MemoryBudget::Bytes()
{
    const size_t limit = g_limit.load();
    if (limit > 0) return limit;
    return AvailableBytes() / 4;
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

size_t MemoryBudget::AvailableBytes()
{
    const size_t fake = g_available.load();
    if (fake > 0) return fake;
    // Where the process's groups are is read once: the measures ask for the budget several
    // times per request, and the mount table is long on some machines.
    static const std::vector<std::string> groupDirectories[2] = {
        CgroupDirectories(ReadText("/proc/self/cgroup"), ReadText("/proc/self/mountinfo"), true),
        CgroupDirectories(ReadText("/proc/self/cgroup"), ReadText("/proc/self/mountinfo"), false)};
    return static_cast<size_t>(AvailableOf(ReadText, groupDirectories[0], groupDirectories[1], PhysicalMemory()));
}

int64_t MemoryBudget::AvailableOf(const FileReader& read, const std::vector<std::string>& unifiedGroups,
                                  const std::vector<std::string>& memoryControllerGroups, int64_t physicalBytes)
{
    int64_t available = MemAvailableOf(read("/proc/meminfo"));
    if (available < 0) available = physicalBytes;
    // The unified hierarchy first; the memory controller's own (v1) when it has no memory files.
    for (const bool v2 : {true, false}) {
        bool seen = false;
        for (const std::string& dir : v2 ? unifiedGroups : memoryControllerGroups) {
            const std::string limit = read(dir + (v2 ? "/memory.max" : "/memory.limit_in_bytes"));
            if (limit.empty()) continue;
            seen = true;
            const int64_t room = CgroupRoom(limit, read(dir + (v2 ? "/memory.current" : "/memory.usage_in_bytes")),
                                            read(dir + "/memory.stat"), v2);
            if (room >= 0) available = std::min(available, room);
        }
        if (seen) break;
    }
    return available;
}

void MemoryBudget::SetAvailable(size_t bytes)
{
    g_available.store(bytes);
}

namespace {

// The memory group counts the page tables that map a process's memory as well: 8 bytes for each
// page of 4 kB.
double WithPageTables(double bytes)
{
    return bytes + bytes / 512.0;
}

}  // namespace

bool MemoryBudget::HasRoomFor(double bytes)
{
    return WithPageTables(bytes) <= static_cast<double>(AvailableBytes());
}

bool MemoryBudget::Fits(const char* engine, double bytes)
{
    bytes = WithPageTables(bytes);
    const double available = static_cast<double>(AvailableBytes());
    if (bytes <= available) return true;
    const double mb = 1024.0 * 1024.0;
    Log::Printf("Error: %s needs %.1f MB of memory, more than the %.1f MB available\n", engine, bytes / mb,
                available / mb);
    return false;
}

int64_t MemoryBudget::MemAvailableOf(const std::string& meminfo)
{
    const std::string key = "MemAvailable:";
    for (const std::string& line : Lines(meminfo)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = Trimmed(line.substr(key.size()));
        int64_t scale = 1;
        if (value.size() > 2 && value.compare(value.size() - 2, 2, "kB") == 0) {
            value.resize(value.size() - 2);
            scale = 1024;
        }
        const int64_t number = Number(value);
        return number < 0 ? -1 : number * scale;
    }
    return -1;
}

std::vector<std::string> MemoryBudget::CgroupDirectories(const std::string& procSelfCgroup,
                                                         const std::string& mountInfo, bool v2)
{
    // "hierarchy:controllers:path"; the unified hierarchy is "0::path".
    std::string path;
    bool found = false;
    for (const std::string& line : Lines(procSelfCgroup)) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string id = line.substr(0, first);
        const std::string controllers = line.substr(first + 1, second - first - 1);
        if (v2 ? (id == "0" && controllers.empty()) : Contains(Split(controllers, ','), "memory")) {
            path = line.substr(second + 1);
            found = true;
            break;
        }
    }
    if (!found) return {};

    // "id parent major:minor root mountpoint options [optional fields] - type source superoptions"
    std::string root, mountPoint;
    for (const std::string& line : Lines(mountInfo)) {
        std::vector<std::string> fields;
        std::istringstream stream(line);
        for (std::string field; stream >> field;) fields.push_back(field);
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 4) continue;
        const std::string& type = dash[1];
        if (v2 ? type == "cgroup2" : type == "cgroup" && Contains(Split(dash[3], ','), "memory")) {
            root = fields[3];
            mountPoint = fields[4];
            break;
        }
    }
    if (mountPoint.empty()) return {};

    // The path within the mounted part of the hierarchy; a group outside it (another cgroup
    // namespace) is bounded by the mounted root at least.
    std::string inside;
    if (root == "/")
        inside = path;
    else if (path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == '/'))
        inside = path.substr(root.size());
    while (!inside.empty() && inside.back() == '/') inside.pop_back();

    std::vector<std::string> directories;
    for (;;) {
        directories.push_back(mountPoint + inside);
        if (inside.empty()) break;
        const size_t slash = inside.rfind('/');
        inside.resize(slash == std::string::npos ? 0 : slash);
    }
    return directories;
}

int64_t MemoryBudget::CgroupRoom(const std::string& limit, const std::string& usage, const std::string& stat, bool v2)
{
    const int64_t bound = Number(limit);  // "max" (v2) is no number: no limit
    if (bound < 0 || bound >= kNoLimit) return -1;
    int64_t used = std::max<int64_t>(Number(usage), 0);
    const int64_t reclaimable = StatValue(stat, v2 ? "inactive_file" : "total_inactive_file");
    if (reclaimable > 0) used -= std::min(reclaimable, used);
    return std::max<int64_t>(bound - used, 0);
}

}  // namespace Zelvo
