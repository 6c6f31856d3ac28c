#pragma once
// _bstr_t: owns one BSTR. Allocation and conversion failures throw _com_error, as the
// wrapper of the Windows compiler support library does.
#include <string>
#include <string_view>

#include "platform/base/bstr.h"

class _bstr_t {
  public:
    _bstr_t() noexcept = default;
    // Converts 8-bit text with the ANSI code page.
    explicit _bstr_t(const char* text);
    explicit _bstr_t(std::string_view text);
    explicit _bstr_t(const OLECHAR* text);
    explicit _bstr_t(std::u16string_view text);
    // Copies `bstr` (fCopy) or takes it over.
    _bstr_t(BSTR bstr, bool fCopy);
    _bstr_t(const _bstr_t& other);
    _bstr_t(_bstr_t&& other) noexcept;
    _bstr_t& operator=(_bstr_t other) noexcept;
    ~_bstr_t();

    BSTR GetBSTR() const noexcept { return bstr_; }
    // The address for an out-parameter; whatever was held is freed first.
    BSTR* GetAddress() noexcept;
    BSTR copy() const;  // a new BSTR the caller owns
    BSTR Detach() noexcept;
    void Attach(BSTR bstr) noexcept;
    unsigned length() const noexcept { return SysStringLen(bstr_); }
    std::u16string_view view() const noexcept { return {bstr_ ? bstr_ : u"", length()}; }
    // The text in the ANSI code page, one byte per code unit.
    std::string ansi() const;
    // The text in the ANSI code page, as Windows' _bstr_t gives it: valid until the next call
    // or until the object changes; null for a null BSTR.
    operator const char*() const;

  private:
    BSTR bstr_ = nullptr;
    mutable std::string ansi_;  // the last operator const char*()
};
