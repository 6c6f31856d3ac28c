#include "platform/registry/registry_view.h"

#include <map>
#include <mutex>
#include <unordered_map>

namespace comrt::registry_detail {
namespace {

HKEY__ g_classes_root{view_id::classes, {}};
HKEY__ g_current_user{view_id::user, {}};
HKEY__ g_local_machine{view_id::machine, {}};

const std::vector<std::string> kClassesPrefix{"Software", "Classes"};

// Open handles, owned here so that a stale or foreign handle is refused rather than used.
std::mutex g_handles_mutex;
std::unordered_map<HKEY__*, std::unique_ptr<HKEY__>>& handles() {
    static std::unordered_map<HKEY__*, std::unique_ptr<HKEY__>> table;
    return table;
}

bool is_predefined(HKEY key) {
    return key == &g_classes_root || key == &g_current_user || key == &g_local_machine;
}

}  // namespace

std::optional<HKEY__> resolve(HKEY key) {
    if (key == nullptr)
        return std::nullopt;
    if (is_predefined(key))
        return *key;
    std::lock_guard lock(g_handles_mutex);
    auto it = handles().find(key);
    if (it == handles().end())
        return std::nullopt;
    return *it->second;
}

HKEY new_handle(view_id view, std::vector<std::string> path) {
    auto owned = std::make_unique<HKEY__>(HKEY__{view, std::move(path)});
    HKEY raw = owned.get();
    std::lock_guard lock(g_handles_mutex);
    handles().emplace(raw, std::move(owned));
    return raw;
}

LSTATUS close_handle(HKEY key) {
    if (is_predefined(key))
        return status(ERROR_SUCCESS);
    std::unique_ptr<HKEY__> owned;  // freed after the lock is released
    std::lock_guard lock(g_handles_mutex);
    auto it = handles().find(key);
    if (it == handles().end())
        return status(ERROR_INVALID_HANDLE);
    owned = std::move(it->second);
    handles().erase(it);
    return status(ERROR_SUCCESS);
}

std::vector<std::string> join(const std::vector<std::string>& a,
                              const std::vector<std::string>& b) {
    std::vector<std::string> all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

const reg_value* key_read::value(std::string_view name) const {
    for (const reg_node* node : {upper, lower}) {
        if (node == nullptr)
            continue;
        auto it = node->values.find(name);
        if (it != node->values.end())
            return &it->second;
    }
    return nullptr;
}

std::vector<std::string> key_read::subkey_names() const {
    std::map<std::string, int, name_less> names;  // the per-user spelling wins
    for (const reg_node* node : {upper, lower}) {
        if (node == nullptr)
            continue;
        for (const auto& entry : node->subkeys)
            names.emplace(entry.first, 0);
    }
    std::vector<std::string> out;
    for (auto& entry : names)
        out.push_back(entry.first);
    return out;
}

std::vector<std::pair<std::string, const reg_value*>> key_read::values() const {
    std::map<std::string, const reg_value*, name_less> all;
    for (const reg_node* node : {upper, lower}) {
        if (node == nullptr)
            continue;
        for (const auto& [name, value] : node->values)
            all.emplace(name, &value);
    }
    return {all.begin(), all.end()};
}

LSTATUS read_key(view_id view, const std::vector<std::string>& path, key_read& out) {
    if (view == view_id::classes) {
        if (LSTATUS s = read_hive(hive_id::user, out.upper_tree); s != 0)
            return s;
        if (LSTATUS s = read_hive(hive_id::machine, out.lower_tree); s != 0)
            return s;
        auto full = join(kClassesPrefix, path);
        out.upper = out.upper_tree->find(full);
        out.lower = out.lower_tree->find(full);
        return status(ERROR_SUCCESS);
    }
    hive_id hive = view == view_id::machine ? hive_id::machine : hive_id::user;
    if (LSTATUS s = read_hive(hive, out.upper_tree); s != 0)
        return s;
    out.upper = out.upper_tree->find(path);
    return status(ERROR_SUCCESS);
}

hive_id write_hive(view_id view) {
    return view == view_id::user ? hive_id::user : hive_id::machine;
}

std::vector<std::string> write_path(view_id view, const std::vector<std::string>& path) {
    return view == view_id::classes ? join(kClassesPrefix, path) : path;
}

LSTATUS check_exists(const HKEY__& key) {
    if (key.path.empty())
        return status(ERROR_SUCCESS);
    key_read read;
    if (LSTATUS s = read_key(key.view, key.path, read); s != 0)
        return s;
    return read.exists() ? status(ERROR_SUCCESS) : status(ERROR_KEY_DELETED);
}

}  // namespace comrt::registry_detail

const HKEY HKEY_CLASSES_ROOT = &comrt::registry_detail::g_classes_root;
const HKEY HKEY_CURRENT_USER = &comrt::registry_detail::g_current_user;
const HKEY HKEY_LOCAL_MACHINE = &comrt::registry_detail::g_local_machine;
