#include "platform/os/memory_status.h"

#include <optional>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"
#include "platform/os/proc_text.h"

namespace {

// The user part of the x86-64 address space (47 bits), which is what Windows reports too.
constexpr DWORDLONG user_address_space = DWORDLONG{1} << 47;

// A "Key:   123 kB" value in bytes.
std::optional<DWORDLONG> kilobytes(std::string_view value) {
    if (value.size() >= 2 && value.substr(value.size() - 2) == "kB")
        value.remove_suffix(2);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    auto number = comrt::parse_proc_number(value);
    if (!number || *number > ~DWORDLONG{0} / 1024)
        return std::nullopt;
    return *number * 1024;
}

}  // namespace

namespace comrt {

void ParseMemoryStatus(std::string_view meminfo, MEMORYSTATUSEX& status) {
    std::optional<DWORDLONG> total, available, free, commit_limit, committed;
    while (!meminfo.empty()) {
        std::size_t end = meminfo.find('\n');
        std::string_view line = meminfo.substr(0, end);
        meminfo.remove_prefix(end == std::string_view::npos ? meminfo.size() : end + 1);
        auto field = split_proc_field(line);
        if (!field)
            continue;
        if (field->key == "MemTotal")
            total = kilobytes(field->value);
        else if (field->key == "MemAvailable")
            available = kilobytes(field->value);
        else if (field->key == "MemFree")
            free = kilobytes(field->value);
        else if (field->key == "CommitLimit")
            commit_limit = kilobytes(field->value);
        else if (field->key == "Committed_AS")
            committed = kilobytes(field->value);
    }
    status.ullTotalPhys = total.value_or(0);
    status.ullAvailPhys = available ? *available : free.value_or(0);
    status.ullTotalPageFile = commit_limit.value_or(0);
    DWORDLONG used = committed.value_or(0);
    status.ullAvailPageFile = used < status.ullTotalPageFile ? status.ullTotalPageFile - used : 0;
    status.dwMemoryLoad =
        status.ullTotalPhys == 0 || status.ullAvailPhys >= status.ullTotalPhys
            ? 0
            : static_cast<DWORD>((status.ullTotalPhys - status.ullAvailPhys) * 100.0 /
                                 static_cast<double>(status.ullTotalPhys));
    status.ullTotalVirtual = user_address_space;
    status.ullAvailVirtual = user_address_space;
    status.ullAvailExtendedVirtual = 0;
}

}  // namespace comrt

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* lpBuffer) {
    if (lpBuffer == nullptr || lpBuffer->dwLength != sizeof(MEMORYSTATUSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    comrt::proc_text file = comrt::read_proc_text("/proc/meminfo");
    if (file.error != 0) {
        SetLastError(HRESULT_CODE(comrt::hresult_from_errno(file.error)));
        return FALSE;
    }
    comrt::ParseMemoryStatus(file.text, *lpBuffer);
    return TRUE;
}
