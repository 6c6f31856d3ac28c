#pragma once
// The clock and the duration text of a test run.
#include <string>

#include "platform/win32.h"

// The performance counter in nanoseconds: ticks x 100 at a frequency of 10 MHz, otherwise
// whole seconds and the remainder scaled apart, so that the product cannot overflow.
LONGLONG CounterToNanoseconds(LONGLONG ticks, LONGLONG frequency);

// The monotonic clock, in nanoseconds.
LONGLONG MonotonicNanoseconds();

// "<d>d <h>h <m>m <s>s <ms>ms", for example "0d 0h 1m 5s 42ms" for 65.042 s; each part from
// the whole nanoseconds, truncated. "0" when the text cannot be built.
std::string FormatExecTime(LONGLONG elapsedNanoseconds) noexcept;
