#include "platform/base/guid.h"

#include <cstdio>

#include "platform/base/hex_digit.h"

namespace {

// Reads `digits` hex digits at `pos`; false if any is not a hex digit.
bool read_hex(std::string_view text, std::size_t pos, int digits, std::uint64_t& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        int v = comrt::hex_digit_value(text[pos + i]);
        if (v < 0)
            return false;
        out = (out << 4) | static_cast<std::uint64_t>(v);
    }
    return true;
}

}  // namespace

std::string guid_to_string(REFGUID g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::optional<GUID> guid_from_string(std::string_view t) {
    if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' ||
        t[19] != '-' || t[24] != '-')
        return std::nullopt;
    GUID g{};
    std::uint64_t v = 0;
    if (!read_hex(t, 1, 8, v))
        return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!read_hex(t, 10, 4, v))
        return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!read_hex(t, 15, 4, v))
        return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    static constexpr std::size_t byte_pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!read_hex(t, byte_pos[i], 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
    std::string s = guid_to_string(guid);
    if (buffer == nullptr || cchMax < static_cast<int>(s.size()) + 1)
        return 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        buffer[i] = static_cast<OLECHAR>(s[i]);
    buffer[s.size()] = 0;
    return static_cast<int>(s.size()) + 1;
}
