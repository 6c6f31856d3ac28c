#pragma once
// _com_error: the exception that carries a failed HRESULT and, optionally, the error
// information that came with it.
#include <string>

#include "platform/base/com_ptr.h"

class _com_error {
  public:
    // Takes over the caller's reference to `perrinfo` unless `fAddRef` asks for a new one.
    explicit _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept;

    HRESULT Error() const noexcept { return hr_; }
    // A new reference, or null.
    IErrorInfo* ErrorInfo() const noexcept;
    // The platform's text for the HRESULT without its final line break, or the fallback text.
    std::string ErrorMessage() const;
    // From the error information; empty when there is none.
    std::u16string Description() const;
    std::u16string Source() const;

  private:
    HRESULT hr_;
    CComPtr<IErrorInfo> info_;
};

// The platform's text for `hr` as _com_error::ErrorMessage gives it.
std::string com_error_message(HRESULT hr);

[[noreturn]] void _com_issue_error(HRESULT hr);
// Throws with the error information that `punk` reports for `riid`: it is taken only when the
// object says, through ISupportErrorInfo, that the interface supports error information.
[[noreturn]] void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid);
