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

namespace {

// The interface IDispatch answers from: IPrime2, a superset of IPrime whose members keep their
// DISPIDs. comrt hands an object's IDispatch to another process by that interface's type
// information, and until it carries interface pointers (FindGoldbachPair's result) it refuses
// IPrime2 as a whole; there IDispatch stays IPrime's for now, so IPrime's callers across
// processes are served as before, and IPrime2 is reached through QueryInterface.
#ifdef _WIN32
constexpr const IID& kDispatchIid = IID_IPrime2;
#else
constexpr const IID& kDispatchIid = IID_IPrime;
#endif

HRESULT PrimeTypeInfo(ITypeInfo** ppTInfo) {
    return KivTypeInfo(kDispatchIid, ppTInfo);
}

bool DeclaresMember(ITypeInfo* info, DISPID dispid) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || attr == nullptr)
        return false;
    bool found = false;
    for (UINT i = 0; i < attr->cFuncs && !found; ++i) {
        FUNCDESC* func = nullptr;
        if (SUCCEEDED(info->GetFuncDesc(i, &func)) && func != nullptr) {
            found = func->memid == dispid;
            info->ReleaseFuncDesc(func);
        }
    }
    info->ReleaseTypeAttr(attr);
    return found;
}

// The type information that a call of `dispid` goes through: IPrime's for its own members,
// as before IPrime2 existed, IPrime2's for the rest. (The object is the same either way; it
// spares the inherited members a reader's mapping of a derived dual interface's dispatch view
// to its vtable.)
HRESULT MemberTypeInfo(DISPID dispid, ITypeInfo** ppTInfo) {
    HRESULT hr = KivTypeInfo(IID_IPrime, ppTInfo);
    if (SUCCEEDED(hr) && DeclaresMember(*ppTInfo, dispid))
        return hr;
    if (SUCCEEDED(hr)) {
        (*ppTInfo)->Release();
        *ppTInfo = nullptr;
    }
    return KivTypeInfo(IID_IPrime2, ppTInfo);
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
    HRESULT hr = KivTypeInfo(IID_IPrime2, &info);  // every name, whichever view IDispatch gives
    return FAILED(hr) ? hr : DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
}

HRESULT CPrime::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    CComPtr<ITypeInfo> info;
    HRESULT hr = MemberTypeInfo(dispIdMember, &info);
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
