#pragma once
// The parsed form of a registration script (see registrar.h for the language).
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_tree.h"

namespace comrt::registrar_detail {

enum class key_flag { none, no_remove, force_remove, remove };  // remove: "Delete"

struct script_entry {
    bool is_value = false;  // "val NAME = s 'text'"
    key_flag flag = key_flag::none;
    std::string name;
    std::optional<std::string> data;  // a key's default value, or the value's text
    std::vector<script_entry> children;
};

enum class script_root { classes, current_user, local_machine };

struct script_block {
    script_root root;
    std::vector<script_entry> keys;
};

using replacement_map = std::map<std::string, std::string, registry_detail::name_less>;

// The blocks of the script, or nullopt with a description of the first error in *error.
std::optional<std::vector<script_block>> parse_script(std::string_view script,
                                                      const replacement_map& replacements,
                                                      std::string& error);

// The same with the caller's replacements; what is wrong goes to *diagnostic when given.
std::optional<std::vector<script_block>> parse_script(
    std::string_view script, const std::map<std::string, std::string>& replacements,
    std::string* diagnostic);

}  // namespace comrt::registrar_detail
