#pragma once
// GlobalMemoryStatusEx, from /proc/meminfo. The page-file fields carry the commit figures as
// on Windows: the commit limit, and what of it is not yet committed.
#include <string_view>

#include "platform/base/types.h"

using DWORDLONG = std::uint64_t;

struct MEMORYSTATUSEX {
    DWORD dwLength;  // sizeof(MEMORYSTATUSEX), set by the caller
    DWORD dwMemoryLoad;
    DWORDLONG ullTotalPhys;
    DWORDLONG ullAvailPhys;
    DWORDLONG ullTotalPageFile;
    DWORDLONG ullAvailPageFile;
    DWORDLONG ullTotalVirtual;
    DWORDLONG ullAvailVirtual;
    DWORDLONG ullAvailExtendedVirtual;
};
static_assert(sizeof(MEMORYSTATUSEX) == 64);

// FALSE with ERROR_INVALID_PARAMETER when dwLength is wrong, or with the read failure as the
// last error when /proc/meminfo cannot be read.
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* lpBuffer);

namespace comrt {

// Fills everything but dwLength from a /proc/meminfo text: MemTotal, MemAvailable (MemFree
// on kernels without it), CommitLimit and CommitLimit - Committed_AS (0 when overcommitted).
// Missing lines count as 0. The address-space fields give the size of the x86-64 user
// space for both, as the port does not track the process's own reservations.
void ParseMemoryStatus(std::string_view meminfo, MEMORYSTATUSEX& status);

}  // namespace comrt
