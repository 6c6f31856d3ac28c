#include "platform/oleaut/bstr_t.h"

#include <cstring>
#include <utility>

#include "platform/oleaut/com_error.h"
#include "platform/os/codepage.h"

namespace {

BSTR checked(BSTR b) {
    if (b == nullptr)
        _com_issue_error(E_OUTOFMEMORY);
    return b;
}

}  // namespace

_bstr_t::_bstr_t(const char* text) {
    if (text != nullptr)
        bstr_ = _bstr_t(std::string_view(text)).Detach();
}

_bstr_t::_bstr_t(std::string_view text) {
    if (text.size() > 0x7FFFFFFE)
        _com_issue_error(E_OUTOFMEMORY);
    bstr_ = checked(SysAllocStringLen(nullptr, static_cast<UINT>(text.size())));
    if (!text.empty() && MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                             bstr_, static_cast<int>(text.size())) == 0) {
        SysFreeString(std::exchange(bstr_, nullptr));
        _com_issue_error(E_INVALIDARG);
    }
}

_bstr_t::_bstr_t(const OLECHAR* text) : bstr_(text ? checked(SysAllocString(text)) : nullptr) {}

_bstr_t::_bstr_t(std::u16string_view text) {
    if (text.size() > 0x7FFFFFFE)
        _com_issue_error(E_OUTOFMEMORY);
    bstr_ = checked(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) {
    if (!fCopy)
        bstr_ = bstr;
    else if (bstr != nullptr)
        bstr_ = checked(SysAllocStringLen(bstr, SysStringLen(bstr)));
}

_bstr_t::_bstr_t(const _bstr_t& other) : _bstr_t(other.bstr_, true) {}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}

_bstr_t& _bstr_t::operator=(_bstr_t other) noexcept {
    std::swap(bstr_, other.bstr_);
    return *this;
}

_bstr_t::~_bstr_t() {
    SysFreeString(bstr_);
}

BSTR* _bstr_t::GetAddress() noexcept {
    SysFreeString(std::exchange(bstr_, nullptr));
    return &bstr_;
}

BSTR _bstr_t::copy() const {
    return bstr_ == nullptr ? nullptr : checked(SysAllocStringLen(bstr_, length()));
}

BSTR _bstr_t::Detach() noexcept {
    return std::exchange(bstr_, nullptr);
}

void _bstr_t::Attach(BSTR bstr) noexcept {
    SysFreeString(std::exchange(bstr_, bstr));
}

std::string _bstr_t::ansi() const {
    return comrt::utf16_to_ansi(view());
}

_bstr_t::operator const char*() const {
    if (bstr_ == nullptr)
        return nullptr;
    ansi_ = ansi();
    return ansi_.c_str();
}
