#include "platform/os/system_info.h"

#include <unistd.h>

#include <climits>

void GetNativeSystemInfo(SYSTEM_INFO* lpSystemInfo) {
    if (lpSystemInfo == nullptr)
        return;
    SYSTEM_INFO info{};
#if defined(__x86_64__)
    info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__)
    info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#else
    info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
    long page = sysconf(_SC_PAGESIZE);
    info.dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
    info.dwAllocationGranularity = info.dwPageSize;
    info.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
    info.lpMaximumApplicationAddress =
        reinterpret_cast<LPVOID>((std::uintptr_t{1} << 47) - 0x10000 - 1);
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    info.dwNumberOfProcessors = online > 0 ? static_cast<DWORD>(online) : 1;
    info.dwActiveProcessorMask = info.dwNumberOfProcessors >= sizeof(std::uintptr_t) * CHAR_BIT
                                     ? ~std::uintptr_t{0}
                                     : (std::uintptr_t{1} << info.dwNumberOfProcessors) - 1;
    *lpSystemInfo = info;
}
