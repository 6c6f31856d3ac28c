#include "server/goldbach/exec_time.h"

#include "platform/win32.h"

namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
}  // namespace

std::int64_t CounterToNanoseconds(std::int64_t ticks, std::int64_t frequency) {
    if (frequency == 10000000)
        return ticks * 100;
    if (frequency <= 0)
        return 0;
    return (ticks / frequency) * kNanosecondsPerSecond +
           ((ticks % frequency) * kNanosecondsPerSecond) / frequency;
}

std::int64_t MonotonicNanoseconds() {
    LARGE_INTEGER frequency{}, ticks{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&ticks);
    return CounterToNanoseconds(ticks.QuadPart, frequency.QuadPart);
}

std::string FormatExecTime(std::int64_t elapsedNanoseconds) noexcept {
    try {
        // Integer arithmetic: through a double in seconds, 1.001 s would read "1s 0ms".
        const std::int64_t elapsed = elapsedNanoseconds > 0 ? elapsedNanoseconds : 0;
        const std::int64_t totalSeconds = elapsed / kNanosecondsPerSecond;
        const std::int64_t milliseconds = (elapsed / kNanosecondsPerMillisecond) % 1000;
        const std::int64_t totalHours = totalSeconds / 3600;
        return std::to_string(totalHours / 24) + "d " + std::to_string(totalHours % 24) + "h " +
               std::to_string((totalSeconds / 60) % 60) + "m " + std::to_string(totalSeconds % 60) +
               "s " + std::to_string(milliseconds) + "ms";
    } catch (...) {
        return "0";
    }
}
