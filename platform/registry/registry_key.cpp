#include <cstring>
#include <vector>

#include "platform/registry/registry.h"

CRegKey& CRegKey::operator=(CRegKey&& other) noexcept {
    if (this != &other)
        Attach(other.Detach());
    return *this;
}

HKEY CRegKey::Detach() noexcept {
    HKEY key = m_hKey;
    m_hKey = nullptr;
    return key;
}

void CRegKey::Attach(HKEY hKey) noexcept {
    Close();
    m_hKey = hKey;
}

LSTATUS CRegKey::Open(HKEY hKeyParent, LPCSTR lpszKeyName, REGSAM samDesired) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(hKeyParent, lpszKeyName, 0, samDesired, &key);
    if (status == static_cast<LSTATUS>(ERROR_SUCCESS))
        Attach(key);
    return status;
}

LSTATUS CRegKey::Create(HKEY hKeyParent, LPCSTR lpszKeyName, LPSTR lpszClass, DWORD dwOptions,
                        REGSAM samDesired, void* lpSecAttr, LPDWORD lpdwDisposition) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(hKeyParent, lpszKeyName, 0, lpszClass, dwOptions, samDesired,
                                     lpSecAttr, &key, lpdwDisposition);
    if (status == static_cast<LSTATUS>(ERROR_SUCCESS))
        Attach(key);
    return status;
}

LSTATUS CRegKey::Close() noexcept {
    LSTATUS status = static_cast<LSTATUS>(ERROR_SUCCESS);
    if (m_hKey != nullptr)
        status = RegCloseKey(Detach());
    return status;
}

LSTATUS CRegKey::SetStringValue(LPCSTR pszValueName, LPCSTR pszValue, DWORD dwType) {
    if (pszValue == nullptr)
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return RegSetValueExA(m_hKey, pszValueName, 0, dwType, reinterpret_cast<const BYTE*>(pszValue),
                          static_cast<DWORD>(std::strlen(pszValue) + 1));
}

LSTATUS CRegKey::QueryStringValue(LPCSTR pszValueName, LPSTR pszValue, ULONG* pnChars) {
    if (pnChars == nullptr)
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    DWORD type = REG_NONE;
    DWORD size = *pnChars;
    LSTATUS status = RegQueryValueExA(m_hKey, pszValueName, nullptr, &type,
                                      reinterpret_cast<LPBYTE>(pszValue), &size);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS) &&
        status != static_cast<LSTATUS>(ERROR_MORE_DATA))
        return status;
    if (type != REG_SZ)
        return static_cast<LSTATUS>(ERROR_INVALID_DATA);
    *pnChars = size;
    return status;
}

LSTATUS CRegKey::DeleteValue(LPCSTR lpszValue) {
    return RegDeleteValueA(m_hKey, lpszValue);
}

namespace comrt {

std::optional<std::string> reg_get_string(HKEY root, std::string_view path, std::string_view name) {
    CRegKey key;
    const std::string subkey(path);
    if (key.Open(root, subkey.c_str(), KEY_READ) != static_cast<LSTATUS>(ERROR_SUCCESS))
        return std::nullopt;
    const std::string value_name(name);
    // The value may change between the size query and the read; ask again until it fits.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = REG_NONE, size = 0;
        if (RegQueryValueExA(key, value_name.c_str(), nullptr, &type, nullptr, &size) !=
                static_cast<LSTATUS>(ERROR_SUCCESS) ||
            type != REG_SZ)
            return std::nullopt;
        std::vector<BYTE> buffer(size + 1);
        size = static_cast<DWORD>(buffer.size());
        LSTATUS status =
            RegQueryValueExA(key, value_name.c_str(), nullptr, &type, buffer.data(), &size);
        if (status == static_cast<LSTATUS>(ERROR_MORE_DATA))
            continue;
        if (status != static_cast<LSTATUS>(ERROR_SUCCESS) || type != REG_SZ)
            return std::nullopt;
        return std::string(reinterpret_cast<const char*>(buffer.data()));
    }
    return std::nullopt;
}

LSTATUS reg_set_string(HKEY root, std::string_view path, std::string_view name,
                       std::string_view value) {
    CRegKey key;
    const std::string subkey(path);
    if (LSTATUS status = key.Create(root, subkey.c_str());
        status != static_cast<LSTATUS>(ERROR_SUCCESS))
        return status;
    const std::string value_name(name), text(value);
    return key.SetStringValue(value_name.c_str(), text.c_str());
}

bool reg_key_exists(HKEY root, std::string_view path) {
    CRegKey key;
    const std::string subkey(path);
    return key.Open(root, subkey.c_str(), KEY_READ) == static_cast<LSTATUS>(ERROR_SUCCESS);
}

}  // namespace comrt
