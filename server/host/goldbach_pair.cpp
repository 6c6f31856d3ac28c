#include "server/host/goldbach_pair.h"

#include <memory>
#include <string>

#include "server/host/kiv_module.h"

namespace {

// A copy the caller owns (a BSTR result is never null, even when empty).
HRESULT CopyText(const std::basic_string<OLECHAR>& text, BSTR* out) {
    if (out == nullptr)
        return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

std::basic_string<OLECHAR> Text(BSTR text) {
    return text == nullptr ? std::basic_string<OLECHAR>()
                           : std::basic_string<OLECHAR>(text, SysStringLen(text));
}

}  // namespace

HRESULT CGoldbachPair::Create(bool found, BSTR first, BSTR second, IGoldbachPair** ppPair) {
    if (ppPair == nullptr)
        return E_POINTER;
    *ppPair = nullptr;
    std::unique_ptr<CGoldbachPair> pair;
    try {
        pair = std::make_unique<CGoldbachPair>();
        pair->m_found = found;
        if (found) {
            pair->m_first = Text(first);
            pair->m_second = Text(second);
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    Module().Lock();  // given back by the destructor
    pair->m_bHoldsServerReference = true;
    pair->AddRef();
    *ppPair = pair.release();  // owned by its reference count from here on
    return S_OK;
}

CGoldbachPair::~CGoldbachPair() {
    if (m_bHoldsServerReference)
        Module().Unlock();
}

HRESULT CGoldbachPair::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IGoldbachPair) {
        *ppv = static_cast<IGoldbachPair*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CGoldbachPair::AddRef() {
    return ++m_cRef;
}

ULONG CGoldbachPair::Release() {
    const ULONG left = --m_cRef;
    if (left == 0) {
        // The extra reference keeps the server alive until the object's state is gone.
        Module().Lock();
        std::unique_ptr<CGoldbachPair>{this}.reset();
        Module().Unlock();
    }
    return left;
}

HRESULT CGoldbachPair::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                              DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                              UINT* puArgErr) {
    CComPtr<ITypeInfo> info;
    HRESULT hr = InvokeTypeInfo(riid, info);
    if (FAILED(hr))
        return hr;
    return DispInvoke(static_cast<IGoldbachPair*>(this), info, dispIdMember, wFlags, pDispParams,
                      pVarResult, pExcepInfo, puArgErr);
}

HRESULT CGoldbachPair::get_Text(BSTR* pbstrText) {
    if (!m_found)
        return CopyText({}, pbstrText);
    try {
        return CopyText(m_first + OLESTR(" + ") + m_second, pbstrText);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CGoldbachPair::get_First(BSTR* pbstrFirst) {
    return CopyText(m_first, pbstrFirst);
}

HRESULT CGoldbachPair::get_Second(BSTR* pbstrSecond) {
    return CopyText(m_second, pbstrSecond);
}

HRESULT CGoldbachPair::get_Found(VARIANT_BOOL* pbFound) {
    if (pbFound == nullptr)
        return E_POINTER;
    *pbFound = m_found ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CGoldbachPair::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IGoldbachPair ? S_OK : S_FALSE;
}
