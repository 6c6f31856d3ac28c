#pragma once
// ProgressSink: an in-process sink of _IPrimeEvents that records every Progress it receives,
// can cancel the call at the n-th one, fail every call (a sink whose process has gone) or run
// a handler of its own in it. Lives on the stack: its references are not counted.
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "server/interface/iprime.h"

namespace kivtest {

struct ProgressEvent {
    std::u16string activity, unit, current;
    double done = 0, expected = 0, elapsed = 0;
};

class ProgressSink final : public IDispatch {
  public:
    std::vector<ProgressEvent> events;
    std::size_t cancelAt = 0;       // cancel at this event (1-based); 0: never
    HRESULT failWith = S_OK;        // answer every call with this failure
    std::function<void()> handler;  // runs inside each event

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IPrimeEvents) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        ++calls;
        if (FAILED(failWith))
            return failWith;
        if (id != 1 || params->cArgs != 7)
            return DISP_E_MEMBERNOTFOUND;
        const VARIANTARG* a = params->rgvarg;
        ProgressEvent& e = events.emplace_back();
        e.activity = Text(a[6].bstrVal);
        e.unit = Text(a[5].bstrVal);
        e.done = a[4].dblVal;
        e.expected = a[3].dblVal;
        e.elapsed = a[2].dblVal;
        e.current = Text(a[1].bstrVal);
        if (handler)
            handler();
        if (a[0].vt == (VT_BYREF | VT_BOOL) && events.size() == cancelAt)
            *static_cast<VARIANT_BOOL*>(a[0].byref) = VARIANT_TRUE;
        return S_OK;
    }

    std::size_t calls = 0;

  private:
    static std::u16string Text(BSTR text) {
        return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
    }
};

// Advises `sink` on `object`'s _IPrimeEvents point; the cookie, 0 on failure.
inline DWORD Advise(IUnknown* object, IDispatch* sink) {
    CComPtr<IConnectionPointContainer> container;
    CComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (FAILED(object->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container))) ||
        FAILED(container->FindConnectionPoint(DIID__IPrimeEvents, &point)) ||
        FAILED(point->Advise(sink, &cookie)))
        return 0;
    return cookie;
}

}  // namespace kivtest
