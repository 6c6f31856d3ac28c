#pragma once
// Reads (and so clears) the calling thread's error information, for assertions.
#include <optional>
#include <string>

#include "platform/win32.h"

namespace kivtest {

struct ErrorInfoSeen {
    std::u16string source;
    std::u16string description;
    bool has_source = false;
};

inline std::optional<ErrorInfoSeen> TakeErrorInfo() {
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK)
        return std::nullopt;
    ErrorInfoSeen seen;
    _bstr_t source, description;
    info->GetSource(source.GetAddress());
    info->GetDescription(description.GetAddress());
    seen.has_source = source.GetBSTR() != nullptr;
    seen.source = std::u16string(source.view());
    seen.description = std::u16string(description.view());
    return seen;
}

inline std::u16string U16(const char* ansi) {
    return comrt::ansi_to_utf16(ansi);
}

}  // namespace kivtest
