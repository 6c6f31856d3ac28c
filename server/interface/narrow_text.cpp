#include "server/interface/narrow_text.h"

std::string NarrowText(BSTR bstr) {
    UINT length = SysStringLen(bstr);
    std::string text(length, '\0');  // the zero byte after them is std::string's own
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, bstr, static_cast<int>(length), text.data(),
                            static_cast<int>(length), nullptr, nullptr);
    return text;
}

_bstr_t WideText(const std::string& text) {
    std::basic_string<OLECHAR> wide(text.size(), OLESTR('\0'));  // never more units than bytes
    const int units = text.empty() ? 0
                                   : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                                         static_cast<int>(text.size()), wide.data(),
                                                         static_cast<int>(wide.size()));
    if (units > 0)
        wide.resize(static_cast<std::size_t>(units));
    else
        wide.assign(text.begin(), text.end());
    return _bstr_t(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())), false);
}
