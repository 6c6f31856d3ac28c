#include "server/goldbach/exec_time.h"

namespace {
constexpr LONGLONG kNanosecondsPerSecond = 1000000000;
constexpr LONGLONG kNanosecondsPerMillisecond = 1000000;
}  // namespace

LONGLONG CounterToNanoseconds(LONGLONG ticks, LONGLONG frequency) {
    if (frequency == 10000000)
        return ticks * 100;
    if (frequency <= 0)
        return 0;
    return (ticks / frequency) * kNanosecondsPerSecond +
           ((ticks % frequency) * kNanosecondsPerSecond) / frequency;
}

LONGLONG MonotonicNanoseconds() {
    LARGE_INTEGER frequency{}, ticks{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&ticks);
    return CounterToNanoseconds(ticks.QuadPart, frequency.QuadPart);
}

std::string FormatExecTime(LONGLONG elapsedNanoseconds) noexcept {
    try {
        // Integer arithmetic: through a double in seconds, 1.001 s would read "1s 0ms".
        const LONGLONG elapsed = elapsedNanoseconds > 0 ? elapsedNanoseconds : 0;
        const LONGLONG totalSeconds = elapsed / kNanosecondsPerSecond;
        const LONGLONG milliseconds = (elapsed / kNanosecondsPerMillisecond) % 1000;
        const LONGLONG totalHours = totalSeconds / 3600;
        return std::to_string(totalHours / 24) + "d " + std::to_string(totalHours % 24) + "h " +
               std::to_string((totalSeconds / 60) % 60) + "m " + std::to_string(totalSeconds % 60) +
               "s " + std::to_string(milliseconds) + "ms";
    } catch (...) {
        return "0";
    }
}
