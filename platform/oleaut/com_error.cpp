#include "platform/oleaut/com_error.h"

#include <cstdio>
#include <memory>

#include "platform/base/bstr.h"
#include "platform/oleaut/error_info.h"
#include "platform/os/message_text.h"

namespace {

std::u16string take_bstr(BSTR b) {
    std::unique_ptr<OLECHAR, decltype(&SysFreeString)> owner(b, &SysFreeString);
    return b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b));
}

}  // namespace

_com_error::_com_error(HRESULT hr, IErrorInfo* perrinfo, bool fAddRef) noexcept : hr_(hr) {
    if (fAddRef)
        info_ = perrinfo;
    else
        info_.Attach(perrinfo);
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    IErrorInfo* out = nullptr;
    info_.CopyTo(&out);
    return out;
}

std::string _com_error::ErrorMessage() const {
    return com_error_message(hr_);
}

std::u16string _com_error::Description() const {
    BSTR text = nullptr;
    if (info_ != nullptr)
        info_->GetDescription(&text);
    return take_bstr(text);
}

std::u16string _com_error::Source() const {
    BSTR text = nullptr;
    if (info_ != nullptr)
        info_->GetSource(&text);
    return take_bstr(text);
}

std::string com_error_message(HRESULT hr) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length > 0) {
        std::unique_ptr<char, decltype(&LocalFree)> owner(buffer, &LocalFree);
        std::string text(buffer, length);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
        }
        return text;
    }
    char fallback[32];
    auto bits = static_cast<std::uint32_t>(hr);
    if (bits >= 0x80040201u && bits <= 0x8004FFFFu)
        std::snprintf(fallback, sizeof fallback, "IDispatch error #%d",
                      static_cast<int>(bits - 0x80040200u));
    else
        std::snprintf(fallback, sizeof fallback, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(bits));
    return fallback;
}

void _com_issue_error(HRESULT hr) {
    throw _com_error(hr);
}

void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid) {
    IErrorInfo* info = nullptr;
    if (punk != nullptr) {
        CComPtr<ISupportErrorInfo> support;
        if (SUCCEEDED(
                punk->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) &&
            support->InterfaceSupportsErrorInfo(riid) == S_OK && GetErrorInfo(0, &info) != S_OK)
            info = nullptr;
    }
    throw _com_error(hr, info);
}
