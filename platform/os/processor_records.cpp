#include "platform/os/processor_records.h"

#include <limits>

#include "platform/base/hresult.h"
#include "platform/os/codepage.h"
#include "platform/os/proc_text.h"

namespace comrt {

namespace {

// The lines of one logical processor's block that a record needs.
struct logical_processor {
    std::optional<std::string_view> physical_id;
    std::optional<std::string_view> model_name;
    std::optional<std::string_view> cpu_cores;
    std::optional<std::string_view> siblings;
    bool any = false;
};

std::optional<ULONG> to_ulong(std::optional<std::string_view> text) {
    if (!text)
        return std::nullopt;
    auto value = parse_proc_number(*text);
    if (!value || *value > std::numeric_limits<ULONG>::max())
        return std::nullopt;
    return static_cast<ULONG>(*value);
}

ProcessorRecord to_record(const logical_processor& cpu) {
    ProcessorRecord record;
    if (cpu.model_name)
        record.Name = ansi_to_utf16(*cpu.model_name);
    record.NumberOfCores = to_ulong(cpu.cpu_cores);
    record.NumberOfLogicalProcessors = to_ulong(cpu.siblings);
    return record;
}

}  // namespace

std::vector<ProcessorRecord> ParseProcessorRecords(std::string_view cpuinfo) {
    std::vector<ProcessorRecord> records;
    std::vector<std::optional<std::string_view>> package_ids;  // parallel to records
    auto close_block = [&](const logical_processor& cpu) {
        if (!cpu.any)
            return;
        for (const auto& id : package_ids)
            if (id == cpu.physical_id)
                return;  // a later processor of a known package
        package_ids.push_back(cpu.physical_id);
        records.push_back(to_record(cpu));
    };

    logical_processor cpu;
    while (!cpuinfo.empty()) {
        std::size_t end = cpuinfo.find('\n');
        std::string_view line = cpuinfo.substr(0, end);
        cpuinfo.remove_prefix(end == std::string_view::npos ? cpuinfo.size() : end + 1);
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
            close_block(cpu);
            cpu = {};
            continue;
        }
        auto field = split_proc_field(line);
        if (!field)
            continue;
        if (field->key == "processor")
            cpu.any = true;
        else if (field->key == "physical id")
            cpu.physical_id = field->value;
        else if (field->key == "model name")
            cpu.model_name = field->value;
        else if (field->key == "cpu cores")
            cpu.cpu_cores = field->value;
        else if (field->key == "siblings")
            cpu.siblings = field->value;
    }
    close_block(cpu);
    return records;
}

HRESULT QueryProcessorRecords(std::vector<ProcessorRecord>& records) {
    records.clear();
    proc_text file = read_proc_text("/proc/cpuinfo");
    if (file.error != 0)
        return hresult_from_errno(file.error);
    records = ParseProcessorRecords(file.text);
    return S_OK;
}

}  // namespace comrt
