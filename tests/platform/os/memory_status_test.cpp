#include "platform/os/memory_status.h"

#include <gtest/gtest.h>
#include <sys/sysinfo.h>

#include <bit>
#include <cstdint>
#include <thread>

#include "platform/win32.h"

namespace {

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
    // The kernel's other account of the same memory; the total stands still while the test
    // runs, the available figures do not.
    struct sysinfo kernel {};
    ASSERT_EQ(::sysinfo(&kernel), 0);
    EXPECT_EQ(status.ullTotalPhys, std::uint64_t{kernel.totalram} * kernel.mem_unit);
    EXPECT_GT(status.ullTotalPageFile, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_LE(status.ullAvailPageFile, status.ullTotalPageFile);
}

TEST(SystemInfo, LogicalProcessorsOnline) {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    const auto online = static_cast<long>(std::thread::hardware_concurrency());
    ASSERT_GT(online, 0);
    EXPECT_EQ(info.dwNumberOfProcessors, static_cast<DWORD>(online));
    EXPECT_GE(info.dwPageSize, 4096u);
    EXPECT_TRUE(std::has_single_bit(info.dwPageSize));
    if (online < 64) {
        EXPECT_EQ(std::popcount(info.dwActiveProcessorMask), online) << "one bit a processor";
    }
}

}  // namespace
