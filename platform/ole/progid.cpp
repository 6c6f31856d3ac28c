#include "platform/ole/progid.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "platform/base/bstr.h"
#include "platform/base/hresult.h"
#include "platform/registry/registry.h"

namespace {

// Registry text is UTF-8; OLE strings are UTF-16. Malformed input becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        unsigned char lead = byte(i);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        char32_t cp = extra == 0   ? lead
                      : extra == 1 ? (lead & 0x1F)
                      : extra == 2 ? (lead & 0x0F)
                                   : (lead & 0x07);
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// nullopt for text that is not valid UTF-16 (a lone surrogate).
std::optional<std::string> utf16_to_utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
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
        const std::u16string wide = utf8_to_utf16(*prog_id);
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
        auto prog_id = utf16_to_utf8(lpszProgID);
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
