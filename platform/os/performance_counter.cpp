#include "platform/os/performance_counter.h"

#include <time.h>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {
constexpr LONGLONG kNanosecondsPerSecond = 1000000000;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
    if (lpPerformanceCount == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timespec now{};
    // CLOCK_MONOTONIC cannot fail on Linux for a valid pointer.
    clock_gettime(CLOCK_MONOTONIC, &now);
    lpPerformanceCount->QuadPart = LONGLONG{now.tv_sec} * kNanosecondsPerSecond + now.tv_nsec;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
    if (lpFrequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpFrequency->QuadPart = kNanosecondsPerSecond;
    return TRUE;
}
