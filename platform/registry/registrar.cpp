#include "platform/registry/registrar.h"

#include <algorithm>
#include <new>

#include "platform/registry/registrar_script.h"
#include "platform/registry/registry_hive.h"

namespace comrt {
namespace {

using registrar_detail::key_flag;
using registrar_detail::script_block;
using registrar_detail::script_entry;
using registrar_detail::script_root;
using registry_detail::hive_id;
using registry_detail::reg_node;

struct target {
    hive_id hive;
    std::vector<std::string> prefix;  // the root's key inside the hive
};

target target_of(script_root root, registrar_scope scope) {
    switch (root) {
        case script_root::classes:
            return {scope == registrar_scope::user ? hive_id::user : hive_id::machine,
                    {"Software", "Classes"}};
        case script_root::current_user:
            return {hive_id::user, {}};
        case script_root::local_machine:
            break;
    }
    return {hive_id::machine, {}};
}

void register_entries(reg_node& parent, const std::vector<script_entry>& entries) {
    for (const script_entry& entry : entries) {
        if (entry.is_value) {
            parent.values.insert_or_assign(entry.name, registry_detail::reg_value{1, *entry.data});
            continue;
        }
        if (entry.flag == key_flag::remove || entry.flag == key_flag::force_remove)
            parent.subkeys.erase(entry.name);
        if (entry.flag == key_flag::remove)
            continue;
        auto it = parent.subkeys.find(entry.name);
        if (it == parent.subkeys.end())
            it = parent.subkeys.emplace(entry.name, reg_node{}).first;
        if (entry.data)
            it->second.values.insert_or_assign("", registry_detail::reg_value{1, *entry.data});
        register_entries(it->second, entry.children);
    }
}

void unregister_entries(reg_node& parent, const std::vector<script_entry>& entries) {
    for (const script_entry& entry : entries) {
        if (entry.is_value) {
            parent.values.erase(entry.name);
            continue;
        }
        if (entry.flag == key_flag::remove)
            continue;
        auto it = parent.subkeys.find(entry.name);
        if (it == parent.subkeys.end())
            continue;
        if (entry.flag == key_flag::no_remove) {
            unregister_entries(it->second, entry.children);
        } else {
            parent.subkeys.erase(it);
        }
    }
}

HRESULT apply(const std::vector<script_block>& blocks, bool bRegister, registrar_scope scope) {
    // One transaction per hive, in the order the script first names it.
    std::vector<hive_id> hives;
    for (const auto& block : blocks) {
        hive_id hive = target_of(block.root, scope).hive;
        if (std::find(hives.begin(), hives.end(), hive) == hives.end())
            hives.push_back(hive);
    }
    for (hive_id hive : hives) {
        LONG status = registry_detail::modify_hive(hive, [&](reg_node& root, bool& changed) {
            const reg_node before = root;
            for (const auto& block : blocks) {
                target where = target_of(block.root, scope);
                if (where.hive != hive)
                    continue;
                if (bRegister) {
                    register_entries(root.create(where.prefix), block.keys);
                } else if (reg_node* base = root.find(where.prefix); base != nullptr) {
                    unregister_entries(*base, block.keys);
                }
            }
            changed = !(root == before);
            return static_cast<LONG>(ERROR_SUCCESS);
        });
        if (status != static_cast<LONG>(ERROR_SUCCESS))
            return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    }
    return S_OK;
}

}  // namespace

HRESULT RegistrarUpdate(std::string_view script,
                        const std::map<std::string, std::string>& replacements, bool bRegister,
                        registrar_scope scope, std::string* diagnostic) {
    try {
        auto blocks = registrar_detail::parse_script(script, replacements, diagnostic);
        if (!blocks)
            return REGISTRAR_E_SYNTAX;
        return apply(*blocks, bRegister, scope);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
