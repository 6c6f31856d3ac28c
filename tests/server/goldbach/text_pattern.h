#pragma once
// A small pattern match for the texts of a test run (std::regex trips GCC 12's warnings in
// sanitizer builds): '#' is one digit, '%' one or more digits, '*' any text, line ends
// included; every other character stands for itself.
#include <cctype>
#include <string>
#include <string_view>

namespace kivtest {

inline bool MatchesPattern(std::string_view pattern, std::string_view text) {
    if (pattern.empty())
        return text.empty();
    const std::string_view rest = pattern.substr(1);
    auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    switch (pattern[0]) {
        case '*':
            for (std::size_t skip = 0; skip <= text.size(); ++skip)
                if (MatchesPattern(rest, text.substr(skip)))
                    return true;
            return false;
        case '%':
            for (std::size_t digits = 1; digits <= text.size() && isDigit(text[digits - 1]);
                 ++digits)
                if (MatchesPattern(rest, text.substr(digits)))
                    return true;
            return false;
        case '#':
            return !text.empty() && isDigit(text[0]) && MatchesPattern(rest, text.substr(1));
        default:
            return !text.empty() && text[0] == pattern[0] && MatchesPattern(rest, text.substr(1));
    }
}

// The text between the first `before` and the last `after`; empty when either is missing.
inline std::string Between(const std::string& text, const std::string& before,
                           const std::string& after) {
    const std::size_t start = text.find(before);
    const std::size_t end = text.rfind(after);
    if (start == std::string::npos || end == std::string::npos || end < start + before.size())
        return {};
    return text.substr(start + before.size(), end - start - before.size());
}

}  // namespace kivtest
