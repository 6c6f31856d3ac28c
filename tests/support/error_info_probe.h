#pragma once
// Reads (and so clears) the calling thread's error information, for assertions.
#include <optional>
#include <string>

#include "platform/win32.h"
#include "tests/support/wide_text.h"

namespace kivtest {

struct ErrorInfoSeen {
    std::basic_string<OLECHAR> source;
    std::basic_string<OLECHAR> description;
    bool has_source = false;
};

// A BSTR's text, "" for a null one.
inline std::basic_string<OLECHAR> Text(_bstr_t& text) {
    return text.GetBSTR() != nullptr ? std::basic_string<OLECHAR>(text.GetBSTR(), text.length())
                                     : std::basic_string<OLECHAR>();
}

inline std::optional<ErrorInfoSeen> TakeErrorInfo() {
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK)
        return std::nullopt;
    ErrorInfoSeen seen;
    _bstr_t source, description;
    info->GetSource(source.GetAddress());
    info->GetDescription(description.GetAddress());
    seen.has_source = source.GetBSTR() != nullptr;
    seen.source = Text(source);
    seen.description = Text(description);
    return seen;
}

inline std::basic_string<OLECHAR> U16(const char* ansi) {
    return Wide(ansi);
}

}  // namespace kivtest
