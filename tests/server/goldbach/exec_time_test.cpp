#include "server/goldbach/exec_time.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatExecTime, SplitsTheDurationIntoItsParts) {
    constexpr std::int64_t ms = 1000000, s = 1000 * ms, min = 60 * s, h = 60 * min, d = 24 * h;
    struct Case {
        std::int64_t nanoseconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "0d 0h 0m 0s 0ms"},
        {999999, "0d 0h 0m 0s 0ms"},  // under a millisecond
        {ms, "0d 0h 0m 0s 1ms"},
        {65042 * ms, "0d 0h 1m 5s 42ms"},
        {1001 * ms, "0d 0h 0m 1s 1ms"},  // not 0ms, as a double in seconds would give
        {1250 * ms + 999999, "0d 0h 0m 1s 250ms"},
        {59 * min + 59 * s + 999 * ms, "0d 0h 59m 59s 999ms"},
        {h, "0d 1h 0m 0s 0ms"},
        {d - 1, "0d 23h 59m 59s 999ms"},
        {d + 2 * h + 3 * min + 4 * s + 5 * ms, "1d 2h 3m 4s 5ms"},
        {400 * d + 7 * ms, "400d 0h 0m 0s 7ms"},
        {-5 * ms, "0d 0h 0m 0s 0ms"},  // a clock cannot run backwards; never a negative part
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatExecTime(c.nanoseconds), c.text) << c.nanoseconds;
}

TEST(CounterToNanoseconds, ScalesByTheFrequency) {
    struct Case {
        std::int64_t ticks, frequency, nanoseconds;
    };
    const Case cases[] = {
        {12345, 10000000, 1234500},                              // 100 ns ticks
        {9000000000000000000, 1000000000, 9000000000000000000},  // no overflow at 1 GHz
        {10, 3, 3333333333},
        {2400000LL * 1000 + 1200000, 2400000, 1000500000000},
        {1, 1000000000, 1},
        {0, 1000000000, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CounterToNanoseconds(c.ticks, c.frequency), c.nanoseconds) << c.ticks;
}

TEST(MonotonicNanoseconds, NeverGoesBack) {
    std::int64_t previous = MonotonicNanoseconds();
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t now = MonotonicNanoseconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

}  // namespace
