#include "platform/os/processor_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "platform/win32.h"

namespace {

using comrt::ParseProcessorRecords;
using comrt::ProcessorRecord;

// One logical processor's block of /proc/cpuinfo, as an x86 kernel prints it.
std::string CpuBlock(int processor, const char* physicalId, const char* name, const char* cores,
                     const char* siblings) {
    std::string block = "processor\t: " + std::to_string(processor) + "\n";
    block += "vendor_id\t: GenuineIntel\ncpu family\t: 6\n";
    if (name)
        block += std::string("model name\t: ") + name + "\n";
    block += "stepping\t: 7\ncpu MHz\t\t: 2100.000\n";
    if (physicalId)
        block += std::string("physical id\t: ") + physicalId + "\n";
    if (siblings)
        block += std::string("siblings\t: ") + siblings + "\n";
    block += "core id\t\t: " + std::to_string(processor / 2) + "\n";
    if (cores)
        block += std::string("cpu cores\t: ") + cores + "\n";
    block += "flags\t\t: fpu vme de pse\n\n";
    return block;
}

TEST(ProcessorRecords, OnePackageGivesOneRecordFromItsFirstProcessor) {
    std::string text;
    for (int cpu = 0; cpu < 4; ++cpu)
        text += CpuBlock(cpu, "0", "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz", "2", "4");
    auto records = ParseProcessorRecords(text);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, u"Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz");
    EXPECT_EQ(records[0].NumberOfCores, 2u);
    EXPECT_EQ(records[0].NumberOfLogicalProcessors, 4u);
}

TEST(ProcessorRecords, TwoPackagesInTheOrderOfTheirFirstProcessor) {
    std::string text;
    // The kernel interleaves the packages' processors.
    for (int cpu = 0; cpu < 8; ++cpu)
        text += cpu % 2 == 0 ? CpuBlock(cpu, "0", "Xeon A", "4", "8")
                             : CpuBlock(cpu, "1", "Xeon B", "2", "4");
    auto records = ParseProcessorRecords(text);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, u"Xeon A");
    EXPECT_EQ(records[0].NumberOfCores, 4u);
    EXPECT_EQ(records[1].Name, u"Xeon B");
    EXPECT_EQ(records[1].NumberOfCores, 2u);
    EXPECT_EQ(records[1].NumberOfLogicalProcessors, 4u);
}

TEST(ProcessorRecords, ProcessorsWithoutPhysicalIdAreOnePackage) {
    std::string text;
    for (int cpu = 0; cpu < 3; ++cpu)
        text += CpuBlock(cpu, nullptr, "QEMU Virtual CPU", "3", "3");
    auto records = ParseProcessorRecords(text);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].NumberOfCores, 3u);
}

TEST(ProcessorRecords, EachMissingOrUnreadablePropertyIsUnavailableOnItsOwn) {
    struct Case {
        const char* name;
        const char* cores;
        const char* siblings;
    };
    const Case cases[] = {
        {"Only a name", nullptr, nullptr},
        {nullptr, "4", nullptr},
        {nullptr, nullptr, "8"},
        {"Bad numbers", "four", "-8"},
        {"Too large", "4294967296", "4294967295"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(no name)");
        auto records = ParseProcessorRecords(CpuBlock(0, "0", c.name, c.cores, c.siblings));
        ASSERT_EQ(records.size(), 1u);
        const ProcessorRecord& record = records[0];
        EXPECT_EQ(record.Name.has_value(), c.name != nullptr);
        bool coresReadable = c.cores && std::string(c.cores) == "4";
        EXPECT_EQ(record.NumberOfCores.has_value(), coresReadable);
        bool siblingsReadable = c.siblings && (std::string(c.siblings) == "8" ||
                                               std::string(c.siblings) == "4294967295");
        EXPECT_EQ(record.NumberOfLogicalProcessors.has_value(), siblingsReadable);
    }
}

TEST(ProcessorRecords, NameKeepsItsOwnBlanksAndAllowsColons) {
    auto records = ParseProcessorRecords(CpuBlock(0, "0", "  AMD EPYC: 7B13   ", "8", "16"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, u"  AMD EPYC: 7B13   ");
}

TEST(ProcessorRecords, TextWithoutProcessorsGivesNoRecords) {
    EXPECT_TRUE(ParseProcessorRecords("").empty());
    EXPECT_TRUE(ParseProcessorRecords("\n\nHardware\t: BCM2835\n").empty());
}

TEST(ProcessorRecords, AnArmStyleBlockIsAPackageWithoutProperties) {
    auto records = ParseProcessorRecords(
        "processor\t: 0\nBogoMIPS\t: 108.00\nCPU part\t: 0xd08\n\n"
        "processor\t: 1\nBogoMIPS\t: 108.00\n");  // no blank line at the very end
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].Name.has_value());
    EXPECT_FALSE(records[0].NumberOfCores.has_value());
    EXPECT_FALSE(records[0].NumberOfLogicalProcessors.has_value());
}

// What /proc/cpuinfo says, read here without the parser.
struct Cpuinfo {
    int processors = 0;
    std::set<std::string> packages;        // the distinct physical ids
    std::optional<std::string> firstName;  // the first "model name"
};

Cpuinfo ReadCpuinfo() {
    Cpuinfo info;
    std::ifstream file("/proc/cpuinfo");
    for (std::string line; std::getline(file, line);) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(std::min(colon + 2, line.size()));
        if (line.starts_with("processor"))
            ++info.processors;
        else if (line.starts_with("physical id"))
            info.packages.insert(value);
        else if (line.starts_with("model name") && !info.firstName)
            info.firstName = value;
    }
    return info;
}

TEST(ProcessorRecords, TheRunningMachineAnswersWhatItsCpuinfoSays) {
    const Cpuinfo cpuinfo = ReadCpuinfo();
    ASSERT_GT(cpuinfo.processors, 0);
    std::vector<ProcessorRecord> records;
    ASSERT_EQ(comrt::QueryProcessorRecords(records), S_OK);
    // Processors without a physical id are one package.
    ASSERT_EQ(records.size(), std::max<std::size_t>(cpuinfo.packages.size(), 1));
    std::optional<std::u16string> name;
    if (cpuinfo.firstName)
        name = std::u16string(cpuinfo.firstName->begin(), cpuinfo.firstName->end());
    EXPECT_EQ(records[0].Name, name);
}

}  // namespace
