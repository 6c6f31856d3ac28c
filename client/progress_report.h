#pragma once
// One Progress event of a Prime object, as kivcli reads it, and the line it shows for it.
#include <string>

struct ProgressReport {
    std::string activity;  // what runs, e.g. "Goldbach pair search"
    std::string unit;      // what is counted, e.g. "candidates"
    double done = 0;
    double expected = 0;  // 0: no estimate
    double elapsed_seconds = 0;
    std::string current;  // the value being worked on, decimal text
};

// "searching: 1,200 of ~1,744 candidates, p = 10007, 2.5 s". A current value too long for a
// line shows its first digits and its length instead.
std::string FormatProgress(const ProgressReport& report);
