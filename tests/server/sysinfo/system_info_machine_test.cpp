// The report from given processor records, and from the running machine (its /proc here, WMI
// on Windows). Windows names and records only, so it runs in both builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/sysinfo/system_info.h"
#include "tests/support/wide_text.h"

namespace {

class GivenFacts : public SystemFacts {
  public:
    explicit GivenFacts(std::vector<comrt::ProcessorRecord> records)
        : m_records(std::move(records)) {}
    HRESULT QueryProcessors(std::vector<comrt::ProcessorRecord>& records) override {
        records = m_records;
        return S_OK;
    }
    void ReadMemoryStatus(MEMORYSTATUSEX& status) override {
        status.ullTotalPhys = 17179869184;      // 16.0 GB
        status.ullAvailPhys = 8589934592;       // 8.0 GB
        status.ullTotalPageFile = 25769803776;  // 24.0 GB
        status.ullAvailPageFile = 1610612736;   // 1.5 GB
    }

  private:
    std::vector<comrt::ProcessorRecord> m_records;
};

const char kMemoryLines[] =
    "Total physical memory: 16.0 GB\nAvailable physical memory: 8.0 GB\n"
    "Total virtual memory: 24.0 GB\nAvailable virtual memory: 1.5 GB\n";

TEST(BuildSystemInfo, ReportsGivenRecords) {
    comrt::ProcessorRecord full;
    full.Name = OLESTR("Xeon");
    full.NumberOfCores = 14;
    full.NumberOfLogicalProcessors = 28;
    comrt::ProcessorRecord bare;
    struct Case {
        std::vector<comrt::ProcessorRecord> records;
        std::string report;
        ULONG cores;
    };
    const Case cases[] = {
        {{full}, "Xeon, 14 Core(s), 28 Logical processor(s)\n" + std::string(kMemoryLines), 14},
        {{full, bare},
         "Xeon, 14 Core(s), 28 Logical processor(s)\n\n" + std::string(kMemoryLines),
         14},
        {{}, kMemoryLines, 0},
    };
    for (const Case& c : cases) {
        GivenFacts facts(c.records);
        std::basic_string<OLECHAR> report;
        ULONG cores = 99;
        EXPECT_EQ(BuildSystemInfo(report, cores, false, facts), S_FALSE);
        EXPECT_EQ(kivtest::Ansi(report), c.report);
        EXPECT_EQ(cores, c.cores);
    }
}

TEST(BuildSystemInfo, ReportsTheRunningMachine) {
    std::basic_string<OLECHAR> report;
    ULONG cores = 0;
    ASSERT_TRUE(SUCCEEDED(BuildSystemInfo(report, cores, false)));
    const std::string text = kivtest::Ansi(report);
    EXPECT_GT(cores, 0u) << text;
    EXPECT_NE(text.find(" Core(s)"), std::string::npos) << text;
    EXPECT_NE(text.find("Total physical memory: "), std::string::npos) << text;
    EXPECT_NE(text.find("Available virtual memory: "), std::string::npos) << text;
}

}  // namespace
