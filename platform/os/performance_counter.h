#pragma once
// The high-resolution performance counter: a monotonic tick count and its fixed frequency.
// On Linux the ticks are CLOCK_MONOTONIC nanoseconds, so the frequency is 1000000000.
#include "platform/base/types.h"

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

// TRUE with the current tick count; FALSE with ERROR_INVALID_PARAMETER for a null pointer.
BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
// TRUE with the ticks per second, which never change while the system runs.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
