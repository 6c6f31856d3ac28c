#include "server/host/prime.h"

#include <memory>
#include <new>

#include "server/host/kiv_module.h"
#include "server/host/typed_out_arguments.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"

HRESULT CPrime::CreateInstance(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    std::unique_ptr<CPrime> object;
    try {
        object = std::make_unique<CPrime>();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    Module().Lock();  // the object's own server reference, given back by its destructor
    object->m_bHoldsServerReference = true;
    HRESULT hr = object->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr))
        object.release();  // owned by its reference count from here on
    return hr;
}

CPrime::~CPrime() {
    if (m_bHoldsServerReference)
        Module().Unlock();
}

HRESULT CPrime::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPrime) {
        *ppv = static_cast<IPrime*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CPrime::AddRef() {
    return ++m_cRef;
}

ULONG CPrime::Release() {
    ULONG left = --m_cRef;
    if (left == 0) {
        // The extra reference keeps the server alive until the object's state is gone.
        Module().Lock();
        std::unique_ptr<CPrime>{this}.reset();
        Module().Unlock();
    }
    return left;
}

namespace {

// IPrime's type information, from the registered kivLib: kept once loaded; a failed load is
// tried again at the next need, since the library may be registered meanwhile. Only the
// apartment's thread calls this.
HRESULT PrimeTypeInfo(ITypeInfo** ppTInfo) {
    static CComPtr<ITypeInfo> s_info;
    *ppTInfo = nullptr;
    if (!s_info) {
        CComPtr<ITypeLib> library;
        CComPtr<ITypeInfo> info;
        HRESULT hr = LoadRegTypeLib(LIBID_kivLib, 1, 0, LOCALE_NEUTRAL, &library);
        if (SUCCEEDED(hr))
            hr = library->GetTypeInfoOfGuid(IID_IPrime, &info);
        if (FAILED(hr))
            return hr;
        s_info = info;
    }
    return s_info.CopyTo(ppTInfo);
}

}  // namespace

HRESULT CPrime::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT CPrime::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr)
        return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0)
        return DISP_E_BADINDEX;
    return PrimeTypeInfo(ppTInfo);
}

HRESULT CPrime::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    CComPtr<ITypeInfo> info;
    HRESULT hr = PrimeTypeInfo(&info);
    return FAILED(hr) ? hr : DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
}

HRESULT CPrime::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    CComPtr<ITypeInfo> info;
    HRESULT hr = PrimeTypeInfo(&info);
    if (FAILED(hr))
        return hr;
    // Scripting clients pass their variables by reference as VARIANTs; the standard
    // DispInvoke takes only typed references for the out-parameters.
    TypedOutArguments arguments;
    hr = arguments.Rewrite(info, dispIdMember, pDispParams, puArgErr);
    if (FAILED(hr))
        return hr;
    hr = DispInvoke(static_cast<IPrime*>(this), info, dispIdMember, wFlags, arguments.Params(),
                    pVarResult, pExcepInfo, puArgErr);
    if (SUCCEEDED(hr))
        arguments.WriteBack();
    return hr;
}

HRESULT CPrime::IsInt64Prime(ULONGLONG, LONG, LONG, LONG*) {
    return ReportError(kivmsg::NotImplemented);
}

HRESULT CPrime::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IPrime ? S_OK : S_FALSE;
}
