#include "platform/os/memory_status.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/win32.h"

namespace {

// The "Key: N kB" figures of /proc/meminfo in bytes, read here without the parser.
std::map<std::string, unsigned long long> MeminfoBytes() {
    std::map<std::string, unsigned long long> figures;
    std::ifstream file("/proc/meminfo");
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::string key, unit;
        unsigned long long value = 0;
        if (fields >> key >> value >> unit && unit == "kB" && key.ends_with(':'))
            figures[key.substr(0, key.size() - 1)] = value * 1024;
    }
    return figures;
}

constexpr char kMeminfo[] =
    "MemTotal:       16384000 kB\n"
    "MemFree:         1000000 kB\n"
    "MemAvailable:    8192000 kB\n"
    "Buffers:          200000 kB\n"
    "SwapTotal:       2097148 kB\n"
    "CommitLimit:    10289148 kB\n"
    "Committed_AS:    4000000 kB\n"
    "HugePages_Total:       0\n";

TEST(MemoryStatus, PhysicalAndCommitFiguresInBytes) {
    MEMORYSTATUSEX status{};
    comrt::ParseMemoryStatus(kMeminfo, status);
    EXPECT_EQ(status.ullTotalPhys, 16384000ull * 1024);
    EXPECT_EQ(status.ullAvailPhys, 8192000ull * 1024);
    EXPECT_EQ(status.ullTotalPageFile, 10289148ull * 1024);
    EXPECT_EQ(status.ullAvailPageFile, (10289148ull - 4000000ull) * 1024);
    EXPECT_EQ(status.dwMemoryLoad, 50u);
}

TEST(MemoryStatus, OvercommittedMachineHasNoCommitLeft) {
    MEMORYSTATUSEX status{};
    comrt::ParseMemoryStatus("CommitLimit: 100 kB\nCommitted_AS: 250 kB\n", status);
    EXPECT_EQ(status.ullTotalPageFile, 102400u);
    EXPECT_EQ(status.ullAvailPageFile, 0u);
}

TEST(MemoryStatus, OldKernelWithoutMemAvailableFallsBackToMemFree) {
    MEMORYSTATUSEX status{};
    comrt::ParseMemoryStatus("MemTotal: 2048 kB\nMemFree: 1024 kB\n", status);
    EXPECT_EQ(status.ullAvailPhys, 1024u * 1024);
}

TEST(MemoryStatus, MissingLinesCountAsZero) {
    MEMORYSTATUSEX status{};
    comrt::ParseMemoryStatus("", status);
    EXPECT_EQ(status.ullTotalPhys, 0u);
    EXPECT_EQ(status.ullAvailPhys, 0u);
    EXPECT_EQ(status.ullTotalPageFile, 0u);
    EXPECT_EQ(status.ullAvailPageFile, 0u);
    EXPECT_EQ(status.dwMemoryLoad, 0u);
}

TEST(MemoryStatus, GlobalMemoryStatusExChecksTheLength) {
    MEMORYSTATUSEX status{};
    status.dwLength = 60;
    EXPECT_EQ(GlobalMemoryStatusEx(&status), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GlobalMemoryStatusEx(nullptr), FALSE);
}

TEST(MemoryStatus, GlobalMemoryStatusExReadsTheMachine) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_EQ(GlobalMemoryStatusEx(&status), TRUE);
    auto meminfo = MeminfoBytes();
    ASSERT_GT(meminfo["MemTotal"], 0u);
    // The totals stand still while the test runs; the available figures do not.
    EXPECT_EQ(status.ullTotalPhys, meminfo["MemTotal"]);
    EXPECT_EQ(status.ullTotalPageFile, meminfo["CommitLimit"]);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_LE(status.ullAvailPageFile, status.ullTotalPageFile);
}

TEST(SystemInfo, LogicalProcessorsOnline) {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    ASSERT_GT(online, 0);
    EXPECT_EQ(info.dwNumberOfProcessors, static_cast<DWORD>(online));
    EXPECT_EQ(info.dwPageSize, static_cast<DWORD>(sysconf(_SC_PAGESIZE)));
    if (online < 64) {
        EXPECT_EQ(std::popcount(info.dwActiveProcessorMask), online) << "one bit a processor";
    }
}

}  // namespace
