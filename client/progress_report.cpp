#include "client/progress_report.h"

#include <cmath>
#include <cstdio>

namespace {

// Beyond this many digits the current value shows as its first digits and its length.
constexpr std::size_t kLongestShownValue = 24;

// A count with thousands separators; negative or absurd values read as 0.
std::string Grouped(double value) {
    if (!(value >= 0) || value > 1e18)
        value = 0;
    std::string digits = std::to_string(static_cast<unsigned long long>(std::llround(value)));
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string Shortened(const std::string& value) {
    if (value.size() <= kLongestShownValue)
        return value;
    return value.substr(0, 12) + "... (" + Grouped(static_cast<double>(value.size())) + " digits)";
}

}  // namespace

std::string FormatProgress(const ProgressReport& report) {
    std::string line = "searching: " + Grouped(report.done);
    if (report.expected > 0)
        line += " of ~" + Grouped(report.expected);
    if (!report.unit.empty())
        line += " " + report.unit;
    if (!report.current.empty())
        line += ", p = " + Shortened(report.current);
    char seconds[32];
    double elapsed = report.elapsed_seconds >= 0 ? report.elapsed_seconds : 0;
    std::snprintf(seconds, sizeof seconds, ", %.1f s", elapsed);
    return line + seconds;
}
