#pragma once
// Registry handles and the views they look through: one hive, or the merged classes view
// (per-user Software\Classes over the machine's).
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/registry_hive.h"

namespace comrt::registry_detail {

enum class view_id { machine, user, classes };

}  // namespace comrt::registry_detail

// A handle names a key by its view and path, not by a node: the hive may be replaced by
// another process at any time.
struct HKEY__ {
    comrt::registry_detail::view_id view;
    std::vector<std::string> path;  // below the view's root
};

namespace comrt::registry_detail {

constexpr LSTATUS status(DWORD code) {
    return static_cast<LSTATUS>(code);
}

// A copy of what the handle names, or nullopt for an invalid or closed handle.
std::optional<HKEY__> resolve(HKEY key);
HKEY new_handle(view_id view, std::vector<std::string> path);
// ERROR_INVALID_HANDLE for a handle that is not open.
LSTATUS close_handle(HKEY key);

std::vector<std::string> join(const std::vector<std::string>& a, const std::vector<std::string>& b);

// A read-only look at a key: for the classes view, the per-user key over the machine key.
struct key_read {
    std::shared_ptr<const reg_node> upper_tree, lower_tree;
    const reg_node* upper = nullptr;  // per-user classes, or the one hive of a plain view
    const reg_node* lower = nullptr;  // machine classes
    bool exists() const { return upper != nullptr || lower != nullptr; }
    const reg_value* value(std::string_view name) const;
    // The union of both layers in name order.
    std::vector<std::string> subkey_names() const;
    std::vector<std::pair<std::string, const reg_value*>> values() const;
};

LSTATUS read_key(view_id view, const std::vector<std::string>& path, key_read& out);

// Where changes to a key of a view land: the classes view writes to the machine hive.
hive_id write_hive(view_id view);
std::vector<std::string> write_path(view_id view, const std::vector<std::string>& path);

// Whether the key of a handle still exists (the roots always do): ERROR_KEY_DELETED if not.
LSTATUS check_exists(const HKEY__& key);

}  // namespace comrt::registry_detail
