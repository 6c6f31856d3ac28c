// "comrt reg query": a key with its values and its subkeys, in the layout of Windows' reg.
#include <cstdio>
#include <ostream>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/registry_tree.h"

namespace comrt {
namespace {

struct root_name {
    std::string_view short_name, long_name;
    HKEY key;
};

const root_name* roots() {
    static const root_name table[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    };
    return table;
}

std::string_view long_name_of(HKEY root) {
    for (int i = 0; i < 3; ++i)
        if (roots()[i].key == root)
            return roots()[i].long_name;
    return {};
}

std::string format_data(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ)
        return std::string(reinterpret_cast<const char*>(data.data()));
    std::string hex;
    char byte[3];
    for (BYTE b : data) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        hex += byte;
    }
    return hex;
}

LSTATUS print_key(std::ostream& out, HKEY key, const std::string& name) {
    out << name << '\n';
    for (DWORD index = 0;; ++index) {
        char value_name[16384];
        DWORD cch = sizeof value_name, type = REG_NONE, size = 0;
        LSTATUS status =
            RegEnumValueA(key, index, value_name, &cch, nullptr, &type, nullptr, &size);
        if (status == static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS))
            break;
        if (status != static_cast<LSTATUS>(ERROR_SUCCESS))
            return status;
        std::vector<BYTE> data(size + 1);
        size = static_cast<DWORD>(data.size());
        cch = sizeof value_name;
        status = RegEnumValueA(key, index, value_name, &cch, nullptr, &type, data.data(), &size);
        if (status != static_cast<LSTATUS>(ERROR_SUCCESS))
            return status;
        data.resize(size);
        if (type == REG_SZ)
            data.push_back(0);
        const char* type_name = type == REG_SZ ? "REG_SZ" : type == REG_NONE ? "REG_NONE" : nullptr;
        out << "    " << (cch == 0 ? std::string("(Default)") : std::string(value_name, cch))
            << "    ";
        if (type_name != nullptr) {
            out << type_name;
        } else {
            out << "REG_0x" << std::hex << type << std::dec;
        }
        out << "    " << format_data(type, data) << '\n';
    }
    out << '\n';
    std::vector<std::string> children;
    for (DWORD index = 0;; ++index) {
        char child[256];
        DWORD cch = sizeof child;
        LSTATUS status = RegEnumKeyExA(key, index, child, &cch, nullptr, nullptr, nullptr, nullptr);
        if (status == static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS))
            break;
        if (status != static_cast<LSTATUS>(ERROR_SUCCESS))
            return status;
        children.emplace_back(child, cch);
    }
    for (const auto& child : children) {
        CRegKey sub;
        // A subkey deleted meanwhile is simply no longer there.
        if (sub.Open(key, child.c_str(), KEY_READ) != static_cast<LSTATUS>(ERROR_SUCCESS))
            continue;
        if (LSTATUS status = print_key(out, sub, name + "\\" + child);
            status != static_cast<LSTATUS>(ERROR_SUCCESS))
            return status;
    }
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

struct registry_path {
    HKEY root;
    std::string subkey;
};

// Splits "HKCR\a\b" (or the long root names) into its predefined root and the rest; nullopt
// for an unknown root.
std::optional<registry_path> parse_registry_path(std::string_view full_key_path) {
    std::size_t sep = full_key_path.find('\\');
    std::string_view first = full_key_path.substr(0, sep);
    std::string_view rest =
        sep == std::string_view::npos ? std::string_view{} : full_key_path.substr(sep + 1);
    for (int i = 0; i < 3; ++i) {
        const root_name& root = roots()[i];
        if (registry_detail::names_equal(first, root.short_name) ||
            registry_detail::names_equal(first, root.long_name)) {
            while (!rest.empty() && rest.back() == '\\')
                rest.remove_suffix(1);
            return registry_path{root.key, std::string(rest)};
        }
    }
    return std::nullopt;
}

}  // namespace

LSTATUS PrintRegistryKey(std::ostream& out, std::string_view full_key_path) {
    auto path = parse_registry_path(full_key_path);
    if (!path)
        return static_cast<LSTATUS>(ERROR_BAD_PATHNAME);
    CRegKey key;
    if (LSTATUS status = key.Open(path->root, path->subkey.c_str(), KEY_READ);
        status != static_cast<LSTATUS>(ERROR_SUCCESS))
        return status;
    std::string name(long_name_of(path->root));
    if (!path->subkey.empty())
        name += "\\" + path->subkey;
    return print_key(out, key, name);
}

}  // namespace comrt
