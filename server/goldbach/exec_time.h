#pragma once
// The clock and the duration text of a test run.
#include <cstdint>
#include <string>

// The performance counter in nanoseconds: ticks x 100 at a frequency of 10 MHz, otherwise
// whole seconds and the remainder scaled apart, so that the product cannot overflow.
std::int64_t CounterToNanoseconds(std::int64_t ticks, std::int64_t frequency);

// The monotonic clock, in nanoseconds.
std::int64_t MonotonicNanoseconds();

// "<d>d <h>h <m>m <s>s <ms>ms", for example "0d 0h 1m 5s 42ms" for 65.042 s; each part from
// the whole nanoseconds, truncated. "0" when the text cannot be built.
std::string FormatExecTime(std::int64_t elapsedNanoseconds) noexcept;
