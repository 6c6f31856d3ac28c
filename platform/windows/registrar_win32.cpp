// The registrar on Windows: the runtime's script parser (registrar_script.h), applied key by key
// through the real Reg* API. The script's HKCR keys go to Software\Classes of HKLM or HKCU, as
// ATL's per-user registration redirects HKEY_CLASSES_ROOT.
#include <new>
#include <string>

#include "platform/registry/registrar_script.h"
#include "platform/windows/extensions.h"

namespace comrt {
namespace {

using registrar_detail::key_flag;
using registrar_detail::script_block;
using registrar_detail::script_entry;
using registrar_detail::script_root;

// Registry names and values: UTF-8 in the script, UTF-16 for the W functions.
std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(units > 0 ? units : 0));
    return wide;
}

// An open key, closed on every path out.
class Key {
  public:
    Key() = default;
    ~Key() {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Address() noexcept { return &m_key; }
    HKEY Get() const noexcept { return m_key; }

  private:
    HKEY m_key = nullptr;
};

LSTATUS SetText(HKEY key, const std::string& name, const std::string& text) {
    const std::wstring wide = Wide(text);
    return RegSetValueExW(key, name.empty() ? nullptr : Wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

LSTATUS DeleteTree(HKEY parent, const std::string& name) {
    const LSTATUS status = RegDeleteTreeW(parent, Wide(name).c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS RegisterEntries(HKEY parent, const std::vector<script_entry>& entries) {
    for (const script_entry& entry : entries) {
        LSTATUS status = ERROR_SUCCESS;
        if (entry.is_value) {
            status = SetText(parent, entry.name, *entry.data);
        } else if (entry.flag == key_flag::remove || entry.flag == key_flag::force_remove) {
            status = DeleteTree(parent, entry.name);
        }
        if (status != ERROR_SUCCESS)
            return status;
        if (entry.is_value || entry.flag == key_flag::remove)
            continue;
        Key key;
        status = RegCreateKeyExW(parent, Wide(entry.name).c_str(), 0, nullptr, 0,
                                 KEY_READ | KEY_WRITE, nullptr, key.Address(), nullptr);
        if (status == ERROR_SUCCESS && entry.data)
            status = SetText(key.Get(), "", *entry.data);
        if (status == ERROR_SUCCESS)
            status = RegisterEntries(key.Get(), entry.children);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS UnregisterEntries(HKEY parent, const std::vector<script_entry>& entries) {
    for (const script_entry& entry : entries) {
        LSTATUS status = ERROR_SUCCESS;
        if (entry.is_value) {
            status = RegDeleteValueW(parent, Wide(entry.name).c_str());
        } else if (entry.flag == key_flag::no_remove) {
            Key key;
            status = RegOpenKeyExW(parent, Wide(entry.name).c_str(), 0, KEY_READ | KEY_WRITE,
                                   key.Address());
            if (status == ERROR_SUCCESS)
                status = UnregisterEntries(key.Get(), entry.children);
        } else if (entry.flag != key_flag::remove) {
            status = DeleteTree(parent, entry.name);
        }
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;  // keys and values already gone are no error
    }
    return ERROR_SUCCESS;
}

LSTATUS Apply(const script_block& block, bool bRegister, registrar_scope scope) {
    HKEY root = HKEY_LOCAL_MACHINE;
    const wchar_t* prefix = nullptr;
    switch (block.root) {
        case script_root::classes:
            root = scope == registrar_scope::user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            prefix = L"Software\\Classes";
            break;
        case script_root::current_user:
            root = HKEY_CURRENT_USER;
            break;
        case script_root::local_machine:
            break;
    }
    Key base;
    LSTATUS status = RegCreateKeyExW(root, prefix != nullptr ? prefix : L"", 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, base.Address(), nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    return bRegister ? RegisterEntries(base.Get(), block.keys)
                     : UnregisterEntries(base.Get(), block.keys);
}

}  // namespace

HRESULT RegistrarUpdate(std::string_view script,
                        const std::map<std::string, std::string>& replacements, bool bRegister,
                        registrar_scope scope, std::string* diagnostic) {
    try {
        auto blocks = registrar_detail::parse_script(script, replacements, diagnostic);
        if (!blocks)
            return REGISTRAR_E_SYNTAX;
        // The whole script parsed before anything is written; the kernel keeps each key
        // consistent, but a failure halfway leaves the steps before it, as ATL's registrar does.
        for (const script_block& block : *blocks) {
            const LSTATUS status = Apply(block, bRegister, scope);
            if (status != ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
