#pragma once
// CCalc: an in-process object with the dual interface ICalc, whose IDispatch forwards to the
// type information of calc.tlb, as a real dual object does.
#include <memory>

#include "tests/platform/oleaut/calc_typelib.h"

namespace calctest {

class CCalc : public ICalc2 {
  public:
    CCalc() {
        if (CComPtr<ITypeLib> lib = load_calc_lib())
            lib->GetTypeInfoOfGuid(IID_ICalc, &type_info_);
    }
    ITypeInfo* type_info() const { return type_info_; }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_ICalc &&
            riid != IID_ICalc2) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<ICalc2*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }  // lives on the test's stack

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        return CComPtr<ITypeInfo>(type_info_).CopyTo(out);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispGetIDsOfNames(type_info_, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepinfo, UINT* arg_err) override {
        return DispInvoke(static_cast<ICalc*>(this), type_info_, id, flags, params, result,
                          excepinfo, arg_err);
    }

    HRESULT Add(LONG a, LONG b, LONG* pSum) override {
        if (pSum == nullptr)
            return E_POINTER;
        *pSum = a + b;
        return S_OK;
    }
    HRESULT Describe(BSTR bstrText, LONG lCount, BSTR* pbstrOut, LONG* pLen, ULONG scale) override {
        last_scale = scale;
        saw_null_out = pbstrOut == nullptr || pLen == nullptr;
        if (pbstrOut == nullptr || pLen == nullptr)
            return E_POINTER;
        std::u16string text;
        for (LONG i = 0; i < lCount; ++i)
            text.append(bstrText ? bstrText : u"", SysStringLen(bstrText));
        *pbstrOut = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        *pLen = static_cast<LONG>(text.size());
        return S_OK;
    }
    HRESULT Fail(LONG hr) override {
        if (hr == 0)
            return E_FAIL;  // fails without error information
        CComPtr<ICreateErrorInfo> builder;
        CreateErrorInfo(&builder);
        builder->SetSource(const_cast<LPOLESTR>(u"Calc.Test"));
        builder->SetDescription(const_cast<LPOLESTR>(u"calc failed"));
        CComPtr<IErrorInfo> info;
        builder.QueryInterface(&info);
        SetErrorInfo(0, info);
        return hr;
    }
    HRESULT Wide(LONGLONG a, ULONG b, ULONGLONG c, SHORT d, LONGLONG* pOut) override {
        if (pOut == nullptr)
            return E_POINTER;
        last_wide_c = c;
        *pOut = a + static_cast<LONGLONG>(b) + d;
        return S_OK;
    }
    HRESULT Square(LONG x, LONG* pRet) override {
        if (pRet == nullptr)
            return E_POINTER;
        *pRet = x * x;
        return S_OK;
    }
    HRESULT Twice(LONG x, LONG* pRet) override {
        if (pRet == nullptr)
            return E_POINTER;
        *pRet = 2 * x;
        return S_OK;
    }

    // Only a served Calc has a call to cancel, a server to count and sinks to call.
    HRESULT Spin(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT Counts(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT Child(ICalc**) override { return E_NOTIMPL; }
    HRESULT Notify(IDispatch*, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT Fire(LONG, LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT Echo(IUnknown*, IUnknown**) override { return E_NOTIMPL; }

    ULONG last_scale = 0;
    bool saw_null_out = false;
    ULONGLONG last_wide_c = 0;

  private:
    ULONG refs_ = 1;
    CComPtr<ITypeInfo> type_info_;
};

}  // namespace calctest
