#include "server/sysinfo/system_info.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/win32.h"

namespace {

// Recorded /proc files, or a failing processor query.
class RecordedFacts final : public SystemFacts {
  public:
    RecordedFacts(std::string cpuinfo, std::string meminfo, HRESULT query = S_OK)
        : m_cpuinfo(std::move(cpuinfo)), m_meminfo(std::move(meminfo)), m_query(query) {}

    HRESULT QueryProcessors(std::vector<comrt::ProcessorRecord>& records) override {
        records.clear();
        if (FAILED(m_query))
            return m_query;
        records = comrt::ParseProcessorRecords(m_cpuinfo);
        return S_OK;
    }
    void ReadMemoryStatus(MEMORYSTATUSEX& status) override {
        ++memoryReads;
        if (throwOnMemory)
            throw std::bad_alloc();
        comrt::ParseMemoryStatus(m_meminfo, status);
    }

    int memoryReads = 0;
    bool throwOnMemory = false;

  private:
    std::string m_cpuinfo, m_meminfo;
    HRESULT m_query;
};

std::string Cpu(int processor, const char* physicalId, const char* name, const char* cores,
                const char* siblings) {
    std::string block = "processor\t: " + std::to_string(processor) + "\n";
    if (name)
        block += std::string("model name\t: ") + name + "\n";
    if (physicalId)
        block += std::string("physical id\t: ") + physicalId + "\n";
    if (siblings)
        block += std::string("siblings\t: ") + siblings + "\n";
    if (cores)
        block += std::string("cpu cores\t: ") + cores + "\n";
    return block + "\n";
}

// /proc/meminfo with the four figures of the report given in bytes (multiples of 1024).
std::string Meminfo(unsigned long long total, unsigned long long available,
                    unsigned long long commitLimit, unsigned long long committed) {
    auto kb = [](unsigned long long bytes) { return std::to_string(bytes / 1024) + " kB\n"; };
    return "MemTotal:       " + kb(total) + "MemFree:        " + kb(available / 2) +
           "MemAvailable:   " + kb(available) + "CommitLimit:    " + kb(commitLimit) +
           "Committed_AS:   " + kb(committed);
}

std::string Report(const std::u16string& text) {
    return comrt::utf16_to_ansi(text);
}

const std::string kOneCpu = Cpu(0, "0", "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz", "14", "28") +
                            Cpu(1, "0", "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz", "14", "28");
const std::string kMemory = Meminfo(17179869184, 8589934592, 25769803776, 1610612736);

TEST(BuildSystemInfo, FullReportOfOnePackage) {
    RecordedFacts facts(kOneCpu, kMemory);
    std::u16string text = u"old";
    ULONG cores = 99;
    EXPECT_EQ(BuildSystemInfo(text, cores, false, facts), S_FALSE);
    EXPECT_EQ(Report(text),
              "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz, 14 Core(s), 28 Logical processor(s)\n"
              "Total physical memory: 16.0 GB\n"
              "Available physical memory: 8.0 GB\n"
              "Total virtual memory: 24.0 GB\n"
              "Available virtual memory: 22.5 GB\n");
    EXPECT_EQ(cores, 14u);
}

TEST(BuildSystemInfo, MemoryFiguresRoundToOneDecimal) {
    struct Case {
        unsigned long long bytes;
        const char* figure;
    };
    const Case cases[] = {
        {17179869184, "16.0"},
        {17072226304, "15.9"},
        {8589934591, "8.0"},
        {1610612736, "1.5"},
        {0, "0.0"},
        {1099511627776, "1024.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        // The parser reads kB, so feed whole kilobytes and keep the odd byte counts exact
        // through a fake that sets the status directly.
        struct ExactFacts final : SystemFacts {
            unsigned long long bytes;
            HRESULT QueryProcessors(std::vector<comrt::ProcessorRecord>& records) override {
                records.clear();
                return S_OK;
            }
            void ReadMemoryStatus(MEMORYSTATUSEX& status) override {
                status.ullTotalPhys = status.ullAvailPhys = bytes;
                status.ullTotalPageFile = status.ullAvailPageFile = bytes;
            }
        } facts;
        facts.bytes = c.bytes;
        std::u16string text;
        ULONG cores = 0;
        EXPECT_EQ(BuildSystemInfo(text, cores, false, facts), S_FALSE);
        std::string figure = c.figure;
        EXPECT_EQ(Report(text), "Total physical memory: " + figure + " GB\n" +
                                    "Available physical memory: " + figure + " GB\n" +
                                    "Total virtual memory: " + figure + " GB\n" +
                                    "Available virtual memory: " + figure + " GB\n");
    }
}

TEST(BuildSystemInfo, PackageWithoutCoreCountKeepsNameAndLogicalProcessors) {
    RecordedFacts facts(Cpu(0, "0", "Mystery CPU", nullptr, "8"), kMemory);
    std::u16string text;
    ULONG cores = 0;
    EXPECT_EQ(BuildSystemInfo(text, cores, false, facts), S_FALSE);
    EXPECT_EQ(Report(text).substr(0, Report(text).find('\n') + 1),
              "Mystery CPU, 8 Logical processor(s)\n");
    EXPECT_EQ(cores, 0u);
}

TEST(BuildSystemInfo, TwoPackagesGiveTwoLinesAndTheSecondCount) {
    RecordedFacts facts(Cpu(0, "0", "CPU A", "8", "16") + Cpu(1, "1", "CPU B", "6", "12") +
                            Cpu(2, "0", "CPU A", "8", "16") + Cpu(3, "1", "CPU B", "6", "12"),
                        kMemory);
    std::u16string text;
    ULONG cores = 0;
    EXPECT_EQ(BuildSystemInfo(text, cores, false, facts), S_FALSE);
    EXPECT_EQ(Report(text).substr(0, Report(text).find("Total")),
              "CPU A, 8 Core(s), 16 Logical processor(s)\n"
              "CPU B, 6 Core(s), 12 Logical processor(s)\n");
    EXPECT_EQ(cores, 6u) << "the last package's count, not the sum";
}

TEST(BuildSystemInfo, CoresOnlyStopsAtTheFirstCountWithoutReadingMemory) {
    RecordedFacts facts(Cpu(0, "0", "CPU A", "8", "16") + Cpu(1, "1", "CPU B", "6", "12"), kMemory);
    std::u16string text = u"old";
    ULONG cores = 0;
    EXPECT_EQ(BuildSystemInfo(text, cores, true, facts), S_OK);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(cores, 8u);
    EXPECT_EQ(facts.memoryReads, 0);
}

TEST(BuildSystemInfo, CoresOnlyWithoutAnyCountRunsToTheEnd) {
    RecordedFacts facts(Cpu(0, nullptr, "QEMU Virtual CPU", nullptr, "4"), kMemory);
    std::u16string text;
    ULONG cores = 7;
    EXPECT_EQ(BuildSystemInfo(text, cores, true, facts), S_FALSE);
    EXPECT_EQ(cores, 0u);
    EXPECT_EQ(Report(text).substr(0, Report(text).find('\n') + 1), ", 4 Logical processor(s)\n")
        << "names are left out in cores-only mode";
    EXPECT_EQ(facts.memoryReads, 1);
}

TEST(BuildSystemInfo, VirtualMachineWithoutPhysicalIdIsOnePackage) {
    RecordedFacts facts(Cpu(0, nullptr, "QEMU", "2", "2") + Cpu(1, nullptr, "QEMU", "2", "2"),
                        kMemory);
    std::u16string text;
    ULONG cores = 0;
    EXPECT_EQ(BuildSystemInfo(text, cores, false, facts), S_FALSE);
    EXPECT_EQ(Report(text).substr(0, Report(text).find("Total")),
              "QEMU, 2 Core(s), 2 Logical processor(s)\n");
    EXPECT_EQ(cores, 2u);
}

TEST(BuildSystemInfo, FailedQueryGivesItsStatusAnEmptyTextAndNoCount) {
    RecordedFacts facts(kOneCpu, kMemory, E_ACCESSDENIED);
    for (bool coresOnly : {false, true}) {
        std::u16string text = u"old";
        ULONG cores = 5;
        EXPECT_EQ(BuildSystemInfo(text, cores, coresOnly, facts), E_ACCESSDENIED);
        EXPECT_EQ(text, u"");
        EXPECT_EQ(cores, 0u);
    }
    EXPECT_EQ(facts.memoryReads, 0);
}

TEST(BuildSystemInfo, FailureWhileBuildingEmptiesTheTextAndKeepsTheStatus) {
    RecordedFacts facts(kOneCpu, kMemory);
    facts.throwOnMemory = true;
    std::u16string text;
    ULONG cores = 0;
    EXPECT_EQ(BuildSystemInfo(text, cores, false, facts), S_FALSE);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(cores, 14u) << "the count keeps what it held";
}

std::string ReadFile(const char* path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The report's lines without those of the available memory, which changes from one reading
// to the next.
std::string SteadyLines(const std::string& report) {
    std::istringstream lines(report);
    std::string steady;
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("Available "))
            steady += line + '\n';
    return steady;
}

// The report of the running machine is the one its /proc files make.
TEST(BuildSystemInfo, RunningMachineReportIsThatOfItsProcFiles) {
    std::u16string text;
    ULONG cores = 0;
    ASSERT_EQ(BuildSystemInfo(text, cores, false), S_FALSE);
    RecordedFacts recorded(ReadFile("/proc/cpuinfo"), ReadFile("/proc/meminfo"));
    std::u16string expected;
    ULONG expectedCores = 0;
    ASSERT_EQ(BuildSystemInfo(expected, expectedCores, false, recorded), S_FALSE);
    ASSERT_EQ(Report(expected).find("Total physical memory: 0.0 GB"), std::string::npos);
    EXPECT_EQ(SteadyLines(Report(text)), SteadyLines(Report(expected)));
    EXPECT_EQ(cores, expectedCores);
    EXPECT_EQ(Report(text).back(), '\n');
    EXPECT_EQ(Report(text).find('\r'), std::string::npos);
}

}  // namespace
