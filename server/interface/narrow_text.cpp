#include "server/interface/narrow_text.h"

std::string NarrowText(BSTR bstr) {
    UINT length = SysStringLen(bstr);
    std::string text(length, '\0');  // the zero byte after them is std::string's own
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, bstr, static_cast<int>(length), text.data(),
                            static_cast<int>(length), nullptr, nullptr);
    return text;
}
