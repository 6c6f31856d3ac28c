#include "server/sysinfo/system_info.h"

#include <charconv>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The report's own texts are ASCII; widened through the ANSI code page, as all 8-bit text.
void Append(std::basic_string<OLECHAR>& sysInfo, std::string_view text) {
    if (text.empty())
        return;
    const std::size_t at = sysInfo.size();
    sysInfo.resize(at + text.size());  // one unit per byte
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &sysInfo[at],
                        static_cast<int>(text.size()));
}

// "label", the byte count in units of 2^30 with one decimal, " GB\n". The value is formed
// by two divisions in this order, as the report always has, since the last digit of a
// figure near a rounding boundary depends on it.
void AppendMemoryLine(std::basic_string<OLECHAR>& sysInfo, const char* label, DWORDLONG bytes) {
    double gigabytes = static_cast<double>(bytes) / 107374182.4 / 10.0;
    char figure[64];
    // to_chars: '.' as the decimal point and no grouping, whatever the locale.
    auto [end, ec] =
        std::to_chars(figure, figure + sizeof figure, gigabytes, std::chars_format::fixed, 1);
    if (ec != std::errc())
        throw std::runtime_error("memory figure out of range");
    Append(sysInfo, label);
    Append(sysInfo, std::string_view(figure, static_cast<std::size_t>(end - figure)));
    Append(sysInfo, " GB\n");
}

}  // namespace

HRESULT BuildSystemInfo(std::basic_string<OLECHAR>& sysInfo, ULONG& numCores,
                        bool coresOnly) noexcept {
    return BuildSystemInfo(sysInfo, numCores, coresOnly, MachineFacts());
}

HRESULT BuildSystemInfo(std::basic_string<OLECHAR>& sysInfo, ULONG& numCores, bool coresOnly,
                        SystemFacts& facts) noexcept {
    HRESULT hres = S_OK;
    try {
        sysInfo.clear();
        numCores = 0;

        std::vector<comrt::ProcessorRecord> processors;
        hres = facts.QueryProcessors(processors);
        if (FAILED(hres)) {
            sysInfo.clear();
            return hres;
        }

        for (const comrt::ProcessorRecord& processor : processors) {
            if (!coresOnly && processor.Name)
                sysInfo += *processor.Name;
            if (processor.NumberOfCores) {
                hres = S_OK;  // the status of the successful read
                numCores = *processor.NumberOfCores;
                if (coresOnly) {
                    sysInfo.clear();
                    return hres;
                }
                Append(sysInfo, ", " + std::to_string(numCores) + " Core(s)");
            }
            if (processor.NumberOfLogicalProcessors) {
                Append(sysInfo, ", " + std::to_string(*processor.NumberOfLogicalProcessors) +
                                    " Logical processor(s)");
            }
            Append(sysInfo, "\n");
        }
        hres = S_FALSE;  // the enumeration's final, empty step

        MEMORYSTATUSEX statex{};
        statex.dwLength = sizeof(statex);
        facts.ReadMemoryStatus(statex);
        AppendMemoryLine(sysInfo, "Total physical memory: ", statex.ullTotalPhys);
        AppendMemoryLine(sysInfo, "Available physical memory: ", statex.ullAvailPhys);
        AppendMemoryLine(sysInfo, "Total virtual memory: ", statex.ullTotalPageFile);
        AppendMemoryLine(sysInfo, "Available virtual memory: ", statex.ullAvailPageFile);
        return hres;
    } catch (...) {
        sysInfo.clear();
        return hres;
    }
}
