#pragma once
// The sink kivcli gives a Prime object for its _IPrimeEvents: a plain IDispatch whose Invoke
// takes the Progress event apart and hands it to a function, which answers whether to cancel.
// It lives on the client's stack for the whole session, so its reference count only counts.
#include <functional>

#include "client/progress_report.h"
#include "server/interface/iprime.h"

class ProgressSink final : public IDispatch {
  public:
    using Listener = std::function<bool(const ProgressReport&)>;

    explicit ProgressSink(Listener listener);
    ProgressSink(const ProgressSink&) = delete;
    ProgressSink& operator=(const ProgressSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  private:
    Listener m_listener;
    ULONG m_cRef = 0;
};
