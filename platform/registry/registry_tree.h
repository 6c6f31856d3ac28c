#pragma once
// The in-memory form of a hive: a tree of keys with values, and its text format.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace comrt::registry_detail {

// Registry names compare without regard to ASCII case.
struct name_less {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};
bool names_equal(std::string_view a, std::string_view b) noexcept;

struct reg_value {
    DWORD type = 1;    // REG_SZ
    std::string data;  // REG_SZ: the text without its terminator; otherwise the raw bytes
    friend bool operator==(const reg_value&, const reg_value&) = default;
};

struct reg_node {
    std::map<std::string, reg_value, name_less> values;  // "" is the default value
    std::map<std::string, reg_node, name_less> subkeys;
    friend bool operator==(const reg_node&, const reg_node&) = default;

    const reg_node* find(const std::vector<std::string>& path) const noexcept;
    reg_node* find(const std::vector<std::string>& path) noexcept;
    // Creates the missing keys of path; returns the last one.
    reg_node& create(const std::vector<std::string>& path);
};

// Splits a subkey argument at backslashes. Null or "" is the empty path; an empty component
// (leading, doubled or trailing backslash) or a name over 255 bytes makes it invalid.
std::optional<std::vector<std::string>> split_key_path(const char* subkey);

std::string serialize_hive(const reg_node& root);

// Where a text stops being a hive: its 1-based line and what is wrong there.
struct hive_parse_error {
    std::size_t line = 0;
    std::string what;
};

// nullopt when the text is not a well-formed hive (with the first fault in *error when
// given); never throws on bad input (only on memory). A text that does not end with a line
// feed was cut short: every hive written ends with one.
std::optional<reg_node> parse_hive(std::string_view text, hive_parse_error* error = nullptr);

}  // namespace comrt::registry_detail
