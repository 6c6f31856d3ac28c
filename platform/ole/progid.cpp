#include "platform/ole/progid.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/bstr.h"
#include "platform/base/hresult.h"
#include "platform/base/utf8_text.h"
#include "platform/registry/registry.h"

namespace {

// Registry text is UTF-8, OLE strings UTF-16. A ProgID holding a lone surrogate names no key:
// nullopt for it (the conversion would make it U+FFFD, so it does not come back the same).
std::optional<std::string> prog_id_key(std::u16string_view text) {
    std::string key = comrt::utf16_to_utf8(text);
    if (comrt::utf8_to_utf16(key) != text)
        return std::nullopt;
    return key;
}

// A ProgID names one key directly below HKCR.
bool is_key_name(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name.find('\\') == std::string_view::npos;
}

}  // namespace

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        auto prog_id = comrt::reg_get_string(HKEY_CLASSES_ROOT,
                                             "CLSID\\" + guid_to_string(clsid) + "\\ProgID");
        if (!prog_id || prog_id->empty())
            return REGDB_E_CLASSNOTREG;
        const std::u16string wide = comrt::utf8_to_utf16(*prog_id);
        auto* memory = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
        if (memory == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(memory, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
        *lplpszProgID = memory;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr)
        return E_INVALIDARG;
    *lpclsid = GUID_NULL;
    try {
        auto prog_id = prog_id_key(lpszProgID);
        if (!prog_id)
            return CO_E_CLASSSTRING;
        // ProgID\CLSID, else the current version that ProgID\CurVer names (a few hops at most,
        // so a loop of CurVer keys cannot hang the caller).
        for (int hop = 0; hop < 8 && is_key_name(*prog_id); ++hop) {
            if (auto text = comrt::reg_get_string(HKEY_CLASSES_ROOT, *prog_id + "\\CLSID")) {
                auto clsid = guid_from_string(*text);
                if (!clsid)
                    return CO_E_CLASSSTRING;
                *lpclsid = *clsid;
                return S_OK;
            }
            auto current = comrt::reg_get_string(HKEY_CLASSES_ROOT, *prog_id + "\\CurVer");
            if (!current)
                break;
            prog_id = std::move(current);
        }
        return CO_E_CLASSSTRING;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
