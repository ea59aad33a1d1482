#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Zelvo {

// The memory the process may use, and the share of it one computation may take.
//
// What the process may use is what its memory cgroup leaves (the limit of its own group and of
// every group above it, less what each already holds) where a limit is set, and the machine's
// available memory otherwise; the smaller of the two when both are known. Engines whose working
// set grows with the square of the point count compare their estimated peak with it before
// they allocate (Fits).
//
// The budget of a single computation on data that grows with the square of the point count
// (a distance or rank matrix, a measure's working blocks) is a quarter of that memory, unless a
// limit was set (tests set a small one instead of allocating gigabytes).
class MemoryBudget {
public:
    static size_t Bytes();
    // The largest matrix worth keeping between computations instead of making it anew each
    // time: a sixteenth of the budget, at most 256 MB.
    static size_t KeepBytes();
    // 0 goes back to a quarter of the memory the process may use.
    static void SetLimit(size_t bytes);
    // True when bytes fit the budget; otherwise prints
    // "Error: <what> needs <MB> MB of memory, more than the <MB> MB allowed" and returns false.
    static bool Allows(const char* what, double bytes);

    // The memory the process may use now, in bytes.
    static size_t AvailableBytes();
    // Makes AvailableBytes report bytes instead of reading the system (0 reads it again): lets
    // tests see an engine refuse without allocating.
    static void SetAvailable(size_t bytes);
    // True when `bytes`, with the page tables that map them, fit the memory the process may use
    // now; prints nothing (for a choice that only saves time).
    static bool HasRoomFor(double bytes);
    // True when an engine's peak of `bytes` fits the memory the process may use, with the page
    // tables that map them (8 bytes a page of 4 kB); otherwise prints "Error: <engine> needs <MB>
    // MB of memory, more than the <MB> MB available" (the need with its page tables) and returns
    // false.
    static bool Fits(const char* engine, double bytes);

    // The readers of the system's files, given their texts. Each answers -1 where the text
    // says nothing (no such line, no limit, not a number).
    //   /proc/meminfo: MemAvailable in bytes.
    static int64_t MemAvailableOf(const std::string& meminfo);
    //   /proc/self/cgroup and /proc/self/mountinfo: the directories of the process's memory
    //   cgroup of the unified hierarchy (v2) or of the memory controller's own (v1), its own
    //   group first, then each group above it up to the mounted root; empty when there is none.
    static std::vector<std::string> CgroupDirectories(const std::string& procSelfCgroup, const std::string& mountInfo,
                                                      bool v2);
    //   All of them, each read through `read` (the text of a path, empty when there is no such
    //   file), for the groups of the unified hierarchy and of the memory controller's own as
    //   CgroupDirectories gives them: the least of MemAvailable (physicalBytes where it says
    //   nothing) and the room of every group with a limit, over the unified hierarchy when one of
    //   its groups has a limit file and over the memory controller's otherwise. AvailableBytes is
    //   this over the system's files.
    using FileReader = std::function<std::string(const std::string& path)>;
    static int64_t AvailableOf(const FileReader& read, const std::vector<std::string>& unifiedGroups,
                               const std::vector<std::string>& memoryControllerGroups, int64_t physicalBytes);
    //   The limit, usage and statistics files of one group (v2: memory.max, memory.current,
    //   memory.stat; v1: memory.limit_in_bytes, memory.usage_in_bytes, memory.stat): what
    //   the limit leaves, in bytes. Inactive file pages are left out of the usage: the kernel
    //   reclaims them before it runs short.
    static int64_t CgroupRoom(const std::string& limit, const std::string& usage, const std::string& stat, bool v2);
};

}  // namespace Zelvo
