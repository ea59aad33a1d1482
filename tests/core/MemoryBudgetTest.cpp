// The memory the process may use: the system files read from sample texts, the refusal line, and
// the measures' budget derived from it.
#include "MemoryBudget.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using Zelvo::MemoryBudget;

namespace {

constexpr int64_t MB = int64_t(1) << 20;

// Each test leaves the system read again.
struct MemoryBudgetTest : ::testing::Test {
    ~MemoryBudgetTest() override
    {
        MemoryBudget::SetAvailable(0);
        MemoryBudget::SetLimit(0);
    }
};

TEST_F(MemoryBudgetTest, MemAvailableIsReadInBytes)
{
    const std::string meminfo = "MemTotal:       24681472 kB\nMemFree:         5836552 kB\n"
                                "MemAvailable:   20527824 kB\nBuffers:          123 kB\n";
    EXPECT_EQ(MemoryBudget::MemAvailableOf(meminfo), int64_t(20527824) * 1024);
    EXPECT_EQ(MemoryBudget::MemAvailableOf("MemTotal: 1 kB\nMemFree: 1 kB\n"), -1);  // kernels before 3.14
    EXPECT_EQ(MemoryBudget::MemAvailableOf("MemAvailable: lots kB\n"), -1);
    EXPECT_EQ(MemoryBudget::MemAvailableOf(""), -1);
}

TEST_F(MemoryBudgetTest, TheCgroupOfTheProcessAndTheGroupsAboveItAreFound)
{
    const std::string unified = "29 23 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
    const std::string hybrid =
        "24 23 0:21 / /sys/fs/cgroup ro,nosuid shared:5 - tmpfs tmpfs ro,mode=755\n"
        "25 24 0:22 / /sys/fs/cgroup/unified rw,nosuid shared:6 - cgroup2 cgroup2 rw\n"
        "28 24 0:25 / /sys/fs/cgroup/cpu,cpuacct rw,nosuid shared:9 - cgroup cgroup rw,cpu,cpuacct\n"
        "30 24 0:27 / /sys/fs/cgroup/memory rw,nosuid shared:11 - cgroup cgroup rw,memory\n";
    // A container without its own cgroup namespace: its group is the mounted root.
    const std::string container = "613 612 0:33 /docker/ab12 /sys/fs/cgroup/memory ro,nosuid master:14 - cgroup "
                                  "cgroup rw,memory\n";
    const std::string hybridGroups = "9:name=systemd:/\n4:memory:/jobs/7f3\n1:cpu,cpuacct:/\n0::/\n";
    const struct {
        const char* name;
        std::string groups, mounts;
        bool v2;
        std::vector<std::string> expected;
    } cases[] = {
        {"unified", "0::/user.slice/app.scope\n", unified, true,
         {"/sys/fs/cgroup/user.slice/app.scope", "/sys/fs/cgroup/user.slice", "/sys/fs/cgroup"}},
        {"unified, no v1 memory", "0::/user.slice/app.scope\n", unified, false, {}},
        {"hybrid v1", hybridGroups, hybrid, false, {"/sys/fs/cgroup/memory/jobs/7f3", "/sys/fs/cgroup/memory/jobs",
                                                    "/sys/fs/cgroup/memory"}},
        {"hybrid v2 root", hybridGroups, hybrid, true, {"/sys/fs/cgroup/unified"}},
        {"container", "4:memory:/docker/ab12\n", container, false, {"/sys/fs/cgroup/memory"}},
        {"container, group below", "4:memory:/docker/ab12/job\n", container, false,
         {"/sys/fs/cgroup/memory/job", "/sys/fs/cgroup/memory"}},
        {"no memory controller", "4:cpu:/x\n", hybrid, false, {}},
        {"nothing mounted", "0::/a\n", "", true, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemoryBudget::CgroupDirectories(c.groups, c.mounts, c.v2), c.expected) << c.name;
}

TEST_F(MemoryBudgetTest, TheRoomIsTheLimitLessTheUsageThatCannotBeReclaimed)
{
    const std::string v2Stat = "anon 1048576\nfile 73400320\nactive_file 20971520\ninactive_file 52428800\n";
    const std::string v1Stat = "cache 0\ninactive_file 999\ntotal_inactive_file 52428800\n";
    const struct {
        const char* name;
        std::string limit, usage, stat;
        bool v2;
        int64_t room;
    } cases[] = {
        {"v2 limit", "1572864000\n", "104857600\n", v2Stat, true, 1572864000 - (104857600 - 50 * MB)},
        {"v2 no limit", "max\n", "104857600\n", v2Stat, true, -1},
        {"v1 limit", "1572864000\n", "104857600\n", v1Stat, false, 1572864000 - (104857600 - 50 * MB)},
        {"v1 no limit", "9223372036854771712\n", "104857600\n", v1Stat, false, -1},
        {"usage unknown", "1572864000\n", "", "", true, 1572864000},
        {"over the limit", "100\n", "4096\n", "", true, 0},
        {"limit unreadable", "", "4096\n", "", false, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemoryBudget::CgroupRoom(c.limit, c.usage, c.stat, c.v2), c.room) << c.name;
}

// The memory the process may use is the least of the machine's available memory and the room
// of every enclosing group that has a limit, whichever of them is tightest.
TEST_F(MemoryBudgetTest, TheProcessMayUseTheLeastOfTheMachineAndEveryEnclosingGroup)
{
    constexpr int64_t GB = int64_t(1) << 30;
    const auto meminfo = [](int64_t bytes) {
        return "MemTotal: 1 kB\nMemAvailable: " + std::to_string(bytes / 1024) + " kB\n";
    };
    const std::string unlimited = "9223372036854771712\n";
    const std::vector<std::string> v1 = {"/m/a/b/c", "/m/a/b", "/m/a", "/m"}, v2 = {"/u/app", "/u"};
    const struct {
        const char* name;
        std::map<std::string, std::string> files;
        int64_t expected;
    } cases[] = {
        {"the machine alone", {{"/proc/meminfo", meminfo(2 * GB)}}, 2 * GB},
        {"no MemAvailable: the physical memory", {}, 3 * GB},
        {"the outermost group is tightest",
         {{"/proc/meminfo", meminfo(16 * GB)},
          {"/m/a/b/c/memory.limit_in_bytes", unlimited}, {"/m/a/b/c/memory.usage_in_bytes", "104857600"},
          {"/m/a/b/memory.limit_in_bytes", "4294967296"}, {"/m/a/b/memory.usage_in_bytes", "1073741824"},
          {"/m/a/memory.limit_in_bytes", "1610612736"}, {"/m/a/memory.usage_in_bytes", "1258291200"},
          {"/m/a/memory.stat", "total_inactive_file 104857600\n"}},
         436 * MB},
        {"the own group is tightest",
         {{"/proc/meminfo", meminfo(16 * GB)},
          {"/m/a/b/c/memory.limit_in_bytes", "268435456"}, {"/m/a/b/c/memory.usage_in_bytes", "58720256"},
          {"/m/a/b/memory.limit_in_bytes", "4294967296"}, {"/m/a/b/memory.usage_in_bytes", "1073741824"}},
         200 * MB},
        {"a group's limit above what the machine has free",
         {{"/proc/meminfo", meminfo(2 * GB)}, {"/u/app/memory.max", "8589934592"},
          {"/u/app/memory.current", "1073741824"}},
         2 * GB},
        {"the memory controller's groups where the unified hierarchy has no limit files",
         {{"/proc/meminfo", meminfo(16 * GB)}, {"/m/a/memory.limit_in_bytes", "1073741824"}}, GB},
        {"a group over its limit",
         {{"/proc/meminfo", meminfo(2 * GB)}, {"/m/a/b/memory.limit_in_bytes", "100"},
          {"/m/a/b/memory.usage_in_bytes", "4096"}},
         0},
    };
    for (const auto& c : cases) {
        const auto read = [&c](const std::string& path) {
            const auto file = c.files.find(path);
            return file == c.files.end() ? std::string() : file->second;
        };
        EXPECT_EQ(MemoryBudget::AvailableOf(read, v2, v1, 3 * GB), c.expected) << c.name;
    }
}

TEST_F(MemoryBudgetTest, AnEngineBeyondTheAvailableMemoryIsRefusedInOneLine)
{
    MemoryBudget::SetAvailable(size_t(3 * MB));
    EXPECT_EQ(MemoryBudget::AvailableBytes(), size_t(3 * MB));
    bool fits = true;
    EXPECT_EQ(TestSupport::CaptureStdout([&] { fits = MemoryBudget::Fits("Isomap", 3.5 * MB); }),
              "Error: Isomap needs 3.5 MB of memory, more than the 3.0 MB available\n");
    EXPECT_FALSE(fits);
    // What fits leaves room for the page tables of what the engine holds.
    EXPECT_EQ(TestSupport::CaptureStdout([&] { fits = MemoryBudget::Fits("Isomap", 2.99 * MB); }), "");
    EXPECT_TRUE(fits);
    // 8 bytes a page of 4 kB: 1024 pages fit exactly in 1024 * 4104 bytes, not in a byte less.
    for (const size_t available : {size_t(1024 * 4104), size_t(1024 * 4104 - 1)}) {
        MemoryBudget::SetAvailable(available);
        const std::string said = TestSupport::CaptureStdout([&] { fits = MemoryBudget::Fits("Isomap", 1024 * 4096); });
        EXPECT_EQ(fits, available == 1024 * 4104) << available;
        EXPECT_EQ(MemoryBudget::HasRoomFor(1024 * 4096), fits) << available;
        EXPECT_EQ(said.empty(), fits) << said;
    }
}

TEST_F(MemoryBudgetTest, TheMeasuresTakeAQuarterOfTheAvailableMemoryUnlessALimitIsSet)
{
    MemoryBudget::SetAvailable(size_t(400 * MB));
    EXPECT_EQ(MemoryBudget::Bytes(), size_t(100 * MB));
    EXPECT_EQ(MemoryBudget::KeepBytes(), size_t(100 * MB) / 16);
    MemoryBudget::SetLimit(size_t(7 * MB));
    EXPECT_EQ(MemoryBudget::Bytes(), size_t(7 * MB));
    MemoryBudget::SetAvailable(0);
    MemoryBudget::SetLimit(0);
    // The system as it is: never more than the machine has.
    const int64_t machine = MemoryBudget::MemAvailableOf(TestSupport::ReadFile("/proc/meminfo"));
    if (machine > 0) {
        EXPECT_LE(MemoryBudget::Bytes(), size_t(machine / 4) + size_t(256 * MB));
    }
    EXPECT_GT(MemoryBudget::Bytes(), size_t(0));
}

}  // namespace
