#pragma once
// CTypeInfoDispatch: IDispatch as kiv's objects answer it, from kivLib's type information of
// one interface (`Iid`): one type information, and names looked up in it. Each object writes
// its own Invoke, starting from InvokeTypeInfo.
#include "server/host/type_info_cache.h"

template <class Interface, const IID& Iid>
class CTypeInfoDispatch : public Interface {
  public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }

    HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr)
            return E_POINTER;
        *ppTInfo = nullptr;
        return iTInfo != 0 ? DISP_E_BADINDEX : KivTypeInfo(Iid, ppTInfo);
    }

    HRESULT GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                          DISPID* rgDispId) override {
        CComPtr<ITypeInfo> info;
        HRESULT hr = KivTypeInfo(Iid, &info);
        return FAILED(hr) ? hr : DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
    }

  protected:
    // The type information Invoke works from; Invoke answers only for IID_NULL.
    static HRESULT InvokeTypeInfo(REFIID riid, CComPtr<ITypeInfo>& info) {
        return riid != IID_NULL ? DISP_E_UNKNOWNINTERFACE : KivTypeInfo(Iid, &info);
    }
};
