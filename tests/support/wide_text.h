#pragma once
// Wide text in tests: OLECHAR strings (char16_t here, wchar_t on Windows) to and from the ANSI
// code page, through the Windows names both builds have.
#include <string>
#include <string_view>

#include "platform/win32.h"

namespace kivtest {

inline std::string Ansi(std::basic_string_view<OLECHAR> wide) {
    if (wide.empty())
        return {};
    std::string text(wide.size() * 2, '\0');
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(static_cast<std::size_t>(bytes > 0 ? bytes : 0));
    return text;
}

inline std::basic_string<OLECHAR> Wide(std::string_view ansi) {
    if (ansi.empty())
        return {};
    std::basic_string<OLECHAR> wide(ansi.size(), OLESTR('\0'));
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                          wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(units > 0 ? units : 0));
    return wide;
}

}  // namespace kivtest
