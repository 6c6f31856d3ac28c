#include "server/host/prime.h"

#include <memory>
#include <new>

#include "server/interface/messages.h"
#include "server/interface/method_frame.h"

HRESULT CPrime::CreateInstance(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    std::unique_ptr<CPrime> object;
    try {
        object = std::make_unique<CPrime>();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = object->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr)) object.release();  // owned by its reference count from here on
    return hr;
}

HRESULT CPrime::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
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

ULONG CPrime::AddRef() { return ++m_cRef; }

ULONG CPrime::Release() {
    ULONG left = --m_cRef;
    if (left == 0) {
        std::unique_ptr<CPrime> self(this);  // the last reference owns the object
    }
    return left;
}

HRESULT CPrime::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return E_NOTIMPL;
}

HRESULT CPrime::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CPrime::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT CPrime::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT CPrime::IsInt64Prime(ULONGLONG, LONG, LONG, LONG*) {
    return ReportError(kivmsg::NotImplemented);
}

HRESULT CPrime::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IPrime ? S_OK : S_FALSE;
}
