#pragma once
// The stand-in for the management service's "SELECT * FROM Win32_Processor": one record per
// physical processor package, read from /proc/cpuinfo. Each property is unavailable on its
// own when the kernel does not report it (as a failing IWbemClassObject::Get would be).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace comrt {

struct ProcessorRecord {
    std::optional<std::u16string> Name;              // "model name", untrimmed
    std::optional<ULONG> NumberOfCores;              // "cpu cores"
    std::optional<ULONG> NumberOfLogicalProcessors;  // "siblings"
};

// The packages of a /proc/cpuinfo text in the order of their first logical processor; the
// properties are those of that first processor. Processors without a "physical id" (common
// in virtual machines) form one package together.
std::vector<ProcessorRecord> ParseProcessorRecords(std::string_view cpuinfo);

// Queries the running machine: S_OK with the records, or the failure of reading
// /proc/cpuinfo as an HRESULT (the records are then empty).
HRESULT QueryProcessorRecords(std::vector<ProcessorRecord>& records);

}  // namespace comrt
