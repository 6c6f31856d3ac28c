#include "server/host/prime.h"

#include <memory>
#include <new>

#include "server/host/com_enumerator.h"
#include "server/host/kiv_module.h"
#include "server/host/type_info_cache.h"
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

CPrime::CPrime() noexcept
    : m_events(static_cast<IConnectionPointContainer&>(*this), DIID__IPrimeEvents) {}

CPrime::~CPrime() {
    if (m_bHoldsServerReference)
        Module().Unlock();
}

HRESULT CPrime::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPrime ||
        riid == IID_IPrime2) {
        *ppv = static_cast<IPrime2*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        *ppv = static_cast<IProvideClassInfo2*>(this);
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

HRESULT CPrime::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    CComPtr<ITypeInfo> info;
    HRESULT hr = InvokeTypeInfo(riid, info);
    if (FAILED(hr))
        return hr;
    // Scripting clients pass their variables by reference as VARIANTs; the standard
    // DispInvoke takes only typed references for the out-parameters.
    TypedOutArguments arguments;
    hr = arguments.Rewrite(info, dispIdMember, pDispParams, puArgErr);
    if (FAILED(hr))
        return hr;
    hr = DispInvoke(static_cast<IPrime2*>(this), info, dispIdMember, wFlags, arguments.Params(),
                    pVarResult, pExcepInfo, puArgErr);
    if (SUCCEEDED(hr))
        arguments.WriteBack();
    return hr;
}

HRESULT CPrime::IsInt64Prime(ULONGLONG, LONG, LONG, LONG*) {
    return ReportError(kivmsg::NotImplemented);
}

HRESULT CPrime::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IPrime || riid == IID_IPrime2 ? S_OK : S_FALSE;
}

HRESULT CPrime::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum == nullptr)
        return E_POINTER;
    *ppEnum = nullptr;
    std::shared_ptr<std::vector<CComPtr<IConnectionPoint>>> points;
    try {
        points = std::make_shared<std::vector<CComPtr<IConnectionPoint>>>();
        points->push_back(CComPtr<IConnectionPoint>(&m_events));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    // The enumerator keeps the object (and with it the point) alive.
    return ConnectionPointEnumerator::Create(
        IID_IEnumConnectionPoints, std::move(points),
        CComPtr<IUnknown>(static_cast<IConnectionPointContainer*>(this)), ppEnum);
}

HRESULT CPrime::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP == nullptr)
        return E_POINTER;
    *ppCP = nullptr;
    if (riid != m_events.Iid())
        return CONNECT_E_NOCONNECTION;
    *ppCP = &m_events;
    m_events.AddRef();
    return S_OK;
}

HRESULT CPrime::GetClassInfo(ITypeInfo** ppTI) {
    return KivTypeInfo(CLSID_Prime, ppTI);
}

HRESULT CPrime::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    if (pGUID == nullptr)
        return E_POINTER;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *pGUID = GUID_NULL;
        return E_INVALIDARG;
    }
    *pGUID = DIID__IPrimeEvents;
    return S_OK;
}
