#pragma once
// Tuning settings of the runtime that the environment may override (tests shorten waits).
#include <chrono>

namespace comrt {

// A duration in whole milliseconds from the variable `name`; `fallback` when it is unset or
// not a positive number.
std::chrono::milliseconds milliseconds_setting(const char* name,
                                               std::chrono::milliseconds fallback);

}  // namespace comrt
