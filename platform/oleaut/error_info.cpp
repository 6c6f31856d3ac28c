#include "platform/oleaut/error_info.h"

#include <atomic>

#include "platform/base/bstr.h"
#include "platform/base/com_ptr.h"
#include "platform/base/give_new.h"
#include "platform/base/shared_object.h"
#include "platform/base/utf8_text.h"

namespace {

// Owns a BSTR member of the error object.
struct OwnedBstr {
    BSTR value = nullptr;
    ~OwnedBstr() { SysFreeString(value); }
    HRESULT assign(LPCOLESTR text) {
        BSTR fresh = nullptr;
        if (text != nullptr && (fresh = SysAllocString(text)) == nullptr)
            return E_OUTOFMEMORY;
        SysFreeString(value);
        value = fresh;
        return S_OK;
    }
    HRESULT copy_to(BSTR* out) const {
        if (out == nullptr)
            return E_INVALIDARG;
        *out = nullptr;
        if (value == nullptr)
            return S_OK;
        *out = SysAllocStringLen(value, SysStringLen(value));
        return *out == nullptr ? E_OUTOFMEMORY : S_OK;
    }
};

class ErrorObject final : public IErrorInfo,
                          public ICreateErrorInfo,
                          private comrt::SharedObject<ErrorObject> {
    friend class comrt::SharedObject<ErrorObject>;

  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return add_ref(); }
    ULONG Release() override { return release(); }

    HRESULT GetGUID(GUID* g) override {
        if (g == nullptr)
            return E_INVALIDARG;
        *g = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* out) override { return source_.copy_to(out); }
    HRESULT GetDescription(BSTR* out) override { return description_.copy_to(out); }
    HRESULT GetHelpFile(BSTR* out) override { return help_file_.copy_to(out); }
    HRESULT GetHelpContext(DWORD* out) override {
        if (out == nullptr)
            return E_INVALIDARG;
        *out = help_context_;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID g) override {
        guid_ = g;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR s) override { return source_.assign(s); }
    HRESULT SetDescription(LPOLESTR s) override { return description_.assign(s); }
    HRESULT SetHelpFile(LPOLESTR s) override { return help_file_.assign(s); }
    HRESULT SetHelpContext(DWORD c) override {
        help_context_ = c;
        return S_OK;
    }

  private:
    GUID guid_{};
    OwnedBstr source_, description_, help_file_;
    DWORD help_context_ = 0;
};

// The thread's error information; released when the thread ends.
thread_local CComPtr<IErrorInfo> t_error_info;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    return comrt::give_new<ErrorObject>(pperrinfo);  // owned by its reference count
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0)
        return E_INVALIDARG;
    t_error_info = perrinfo;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr || dwReserved != 0)
        return E_INVALIDARG;
    *pperrinfo = t_error_info.Detach();
    return *pperrinfo == nullptr ? S_FALSE : S_OK;
}

namespace comrt {

void set_error_description(const std::string& description) {
    CComPtr<ICreateErrorInfo> builder;
    if (FAILED(CreateErrorInfo(&builder)))
        return;
    builder->SetSource(const_cast<LPOLESTR>(u"comrt"));
    std::u16string text = utf8_to_utf16(description);
    builder->SetDescription(text.data());
    CComPtr<IErrorInfo> info;
    if (SUCCEEDED(builder.QueryInterface(&info)))
        SetErrorInfo(0, info);
}

}  // namespace comrt
