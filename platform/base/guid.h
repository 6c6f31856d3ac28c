#pragma once
// GUIDs and their registry string form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <compare>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/types.h"

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};

inline constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
inline constexpr bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
inline constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

// Registry form: upper-case hexadecimal with hyphens, in braces (38 characters).
std::string guid_to_string(REFGUID guid);
// Accepts the registry form in either case; nothing else.
std::optional<GUID> guid_from_string(std::string_view text);

// OLE's own form: writes the registry form and its terminator, 39 code units, and returns
// that count; 0 when `cchMax` is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);
