#include "platform/registry/registry.h"

#include <cstring>
#include <new>

#include "platform/registry/registry_view.h"

using comrt::registry_detail::check_exists;
using comrt::registry_detail::close_handle;
using comrt::registry_detail::join;
using comrt::registry_detail::key_read;
using comrt::registry_detail::new_handle;
using comrt::registry_detail::read_key;
using comrt::registry_detail::reg_node;
using comrt::registry_detail::reg_value;
using comrt::registry_detail::resolve;
using comrt::registry_detail::status;
using comrt::registry_detail::write_hive;
using comrt::registry_detail::write_path;

namespace {
// Exceptions (memory) stop at the API boundary.
template <typename F>
LSTATUS guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return status(ERROR_OUTOFMEMORY);
    } catch (...) {
        return status(ERROR_CANTWRITE);
    }
}

std::string_view value_name(LPCSTR name) {
    return name == nullptr ? std::string_view{} : name;
}

// Hands a value's bytes over as RegQueryValueExA does.
LSTATUS copy_value(const reg_value& value, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr)
        return status(ERROR_INVALID_PARAMETER);
    if (lpType != nullptr)
        *lpType = value.type;
    const std::size_t size = value.data.size() + (value.type == REG_SZ ? 1 : 0);
    if (lpcbData == nullptr)
        return status(ERROR_SUCCESS);
    const DWORD capacity = *lpcbData;
    *lpcbData = static_cast<DWORD>(size);
    if (lpData == nullptr)
        return status(ERROR_SUCCESS);
    if (capacity < size)
        return status(ERROR_MORE_DATA);
    std::memcpy(lpData, value.data.data(), value.data.size());
    if (value.type == REG_SZ)
        lpData[value.data.size()] = 0;
    return status(ERROR_SUCCESS);
}

// Copies a name into a character buffer of *lpcch characters (terminator included); on
// success *lpcch is the length without the terminator.
LSTATUS copy_name(const std::string& name, LPSTR buffer, LPDWORD lpcch) {
    if (buffer == nullptr || lpcch == nullptr)
        return status(ERROR_INVALID_PARAMETER);
    if (*lpcch < name.size() + 1)
        return status(ERROR_MORE_DATA);
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *lpcch = static_cast<DWORD>(name.size());
    return status(ERROR_SUCCESS);
}

// The key an open handle names, for the functions that read it; one deleted since it was
// opened reads as ERROR_KEY_DELETED.
LSTATUS read_open_key(HKEY hKey, LPDWORD lpReserved, key_read& read) {
    if (lpReserved != nullptr)
        return status(ERROR_INVALID_PARAMETER);
    auto key = resolve(hKey);
    if (!key)
        return status(ERROR_INVALID_HANDLE);
    if (LSTATUS s = read_key(key->view, key->path, read); s != 0)
        return s;
    if (!key->path.empty() && !read.exists())
        return status(ERROR_KEY_DELETED);
    return status(ERROR_SUCCESS);
}

// The key a handle and a subkey name together: the handle's view and base, and the full path.
LSTATUS resolve_subkey(HKEY hKey, LPCSTR lpSubKey, HKEY__& base, std::vector<std::string>& path) {
    auto resolved = resolve(hKey);
    if (!resolved)
        return status(ERROR_INVALID_HANDLE);
    auto sub = comrt::registry_detail::split_key_path(lpSubKey);
    if (!sub)
        return status(ERROR_BAD_PATHNAME);
    base = *resolved;
    path = join(base.path, *sub);
    return status(ERROR_SUCCESS);
}

// The first steps of opening or creating a subkey: *phkResult cleared, the handle's view,
// the subkey's full path and what that key holds now.
LSTATUS read_subkey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, HKEY__& base,
                    std::vector<std::string>& path, key_read& read) {
    if (phkResult == nullptr)
        return status(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    if (LSTATUS s = resolve_subkey(hKey, lpSubKey, base, path); s != 0)
        return s;
    return read_key(base.view, path, read);
}

LSTATUS delete_key(HKEY hKey, LPCSTR lpSubKey, bool whole_tree) {
    HKEY__ key;
    std::vector<std::string> path;
    if (LSTATUS s = resolve_subkey(hKey, lpSubKey, key, path); s != 0)
        return s;
    const HKEY__* base = &key;
    const bool clear_only = whole_tree && lpSubKey == nullptr;
    const auto target = write_path(base->view, path);
    if (target.size() == write_path(base->view, {}).size() && !clear_only)
        return status(ERROR_ACCESS_DENIED);  // a root cannot be deleted
    if (LSTATUS s = check_exists(*base); s != 0)
        return s;
    return comrt::registry_detail::modify_hive(
        write_hive(base->view), [&](reg_node& root, bool& changed) -> LSTATUS {
            if (clear_only) {
                reg_node* node = root.find(target);
                if (node == nullptr)
                    return status(ERROR_SUCCESS);
                changed = !node->values.empty() || !node->subkeys.empty();
                *node = reg_node{};
                return status(ERROR_SUCCESS);
            }
            std::vector<std::string> parent_path(target.begin(), target.end() - 1);
            reg_node* parent = root.find(parent_path);
            if (parent == nullptr)
                return status(ERROR_FILE_NOT_FOUND);
            auto it = parent->subkeys.find(target.back());
            if (it == parent->subkeys.end())
                return status(ERROR_FILE_NOT_FOUND);
            if (!whole_tree && !it->second.subkeys.empty())
                return status(ERROR_ACCESS_DENIED);
            parent->subkeys.erase(it);
            changed = true;
            return status(ERROR_SUCCESS);
        });
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    return guarded([&]() -> LSTATUS {
        HKEY__ base;
        std::vector<std::string> path;
        key_read read;
        if (LSTATUS s = read_subkey(hKey, lpSubKey, phkResult, base, path, read); s != 0)
            return s;
        if (!path.empty() && !read.exists()) {
            key_read parent;
            if (!base.path.empty() && read_key(base.view, base.path, parent) == 0 &&
                !parent.exists())
                return status(ERROR_KEY_DELETED);
            return status(ERROR_FILE_NOT_FOUND);
        }
        *phkResult = new_handle(base.view, std::move(path));
        return status(ERROR_SUCCESS);
    });
}

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM, void*,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
    return guarded([&]() -> LSTATUS {
        HKEY__ base;
        std::vector<std::string> path;
        key_read read;
        if (LSTATUS s = read_subkey(hKey, lpSubKey, phkResult, base, path, read); s != 0)
            return s;
        DWORD disposition = REG_OPENED_EXISTING_KEY;
        if (!path.empty() && !read.exists()) {
            if (LSTATUS s = check_exists(base); s != 0)
                return s;
            const auto target = write_path(base.view, path);
            LSTATUS s = comrt::registry_detail::modify_hive(
                write_hive(base.view), [&](reg_node& root, bool& changed) -> LSTATUS {
                    if (root.find(target) != nullptr)
                        return status(ERROR_SUCCESS);
                    root.create(target);
                    changed = true;
                    disposition = REG_CREATED_NEW_KEY;
                    return status(ERROR_SUCCESS);
                });
            if (s != 0)
                return s;
        }
        if (lpdwDisposition != nullptr)
            *lpdwDisposition = disposition;
        *phkResult = new_handle(base.view, std::move(path));
        return status(ERROR_SUCCESS);
    });
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    return guarded([&]() -> LSTATUS {
        auto key = resolve(hKey);
        if (!key)
            return status(ERROR_INVALID_HANDLE);
        if (lpData == nullptr && cbData != 0)
            return status(ERROR_INVALID_PARAMETER);
        reg_value value{dwType, {}};
        if (lpData != nullptr)
            value.data.assign(reinterpret_cast<const char*>(lpData), cbData);
        if (dwType == REG_SZ)
            value.data.resize(std::strlen(value.data.c_str()));
        if (LSTATUS s = check_exists(*key); s != 0)
            return s;
        const auto target = write_path(key->view, key->path);
        const std::string name(value_name(lpValueName));
        return comrt::registry_detail::modify_hive(
            write_hive(key->view), [&](reg_node& root, bool& changed) -> LSTATUS {
                reg_node& node = root.create(target);
                auto it = node.values.find(name);
                if (it != node.values.end() && it->second == value)
                    return status(ERROR_SUCCESS);
                if (it != node.values.end()) {
                    it->second = value;
                } else {
                    node.values.emplace(name, value);
                }
                changed = true;
                return status(ERROR_SUCCESS);
            });
    });
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&]() -> LSTATUS {
        key_read read;
        if (LSTATUS s = read_open_key(hKey, lpReserved, read); s != 0)
            return s;
        const reg_value* value = read.value(value_name(lpValueName));
        if (value == nullptr)
            return status(ERROR_FILE_NOT_FOUND);
        return copy_value(*value, lpType, lpData, lpcbData);
    });
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return guarded([&]() -> LSTATUS {
        auto key = resolve(hKey);
        if (!key)
            return status(ERROR_INVALID_HANDLE);
        if (LSTATUS s = check_exists(*key); s != 0)
            return s;
        const auto target = write_path(key->view, key->path);
        const std::string name(value_name(lpValueName));
        return comrt::registry_detail::modify_hive(
            write_hive(key->view), [&](reg_node& root, bool& changed) -> LSTATUS {
                reg_node* node = root.find(target);
                if (node == nullptr || node->values.erase(name) == 0)
                    return status(ERROR_FILE_NOT_FOUND);
                changed = true;
                return status(ERROR_SUCCESS);
            });
    });
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (lpSubKey == nullptr)
        return status(ERROR_INVALID_PARAMETER);
    return guarded([&] { return delete_key(hKey, lpSubKey, false); });
}

LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return guarded([&] { return delete_key(hKey, lpSubKey, true); });
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime) {
    return guarded([&]() -> LSTATUS {
        key_read read;
        if (LSTATUS s = read_open_key(hKey, lpReserved, read); s != 0)
            return s;
        auto names = read.subkey_names();
        if (dwIndex >= names.size())
            return status(ERROR_NO_MORE_ITEMS);
        if (LSTATUS s = copy_name(names[dwIndex], lpName, lpcchName); s != 0)
            return s;
        if (lpcchClass != nullptr) {
            if (lpClass != nullptr && *lpcchClass > 0)
                lpClass[0] = '\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime != nullptr)
            std::memset(lpftLastWriteTime, 0, 2 * sizeof(DWORD));
        return status(ERROR_SUCCESS);
    });
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&]() -> LSTATUS {
        key_read read;
        if (LSTATUS s = read_open_key(hKey, lpReserved, read); s != 0)
            return s;
        auto values = read.values();
        if (dwIndex >= values.size())
            return status(ERROR_NO_MORE_ITEMS);
        const auto& [name, value] = values[dwIndex];
        if (LSTATUS s = copy_name(name, lpValueName, lpcchValueName); s != 0)
            return s;
        return copy_value(*value, lpType, lpData, lpcbData);
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    return close_handle(hKey);
}
