#pragma once
// A sink of Calc's _ICalcEvents as a script engine implements one: IDispatch alone, without
// type information, every event an Invoke. Each Tick(n, pbCancel) runs `on_tick`, which may
// set the cancel flag.
#include <functional>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/oleaut/calc_typelib.h"

namespace kivtest {

class TickSink final : public IDispatch {
  public:
    using OnTick = std::function<bool(LONG n)>;  // true: cancel the run
    explicit TickSink(OnTick on_tick) : on_tick_(std::move(on_tick)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != calctest::DIID__ICalcEvents)
            return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }  // lives on the test's stack
    ULONG refs() const { return refs_; }

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        if (id != 1)
            return DISP_E_MEMBERNOTFOUND;
        if (params == nullptr || params->cArgs != 2 || params->rgvarg[1].vt != VT_I4 ||
            params->rgvarg[0].vt != (VT_BYREF | VT_BOOL))
            return DISP_E_TYPEMISMATCH;
        ticks.push_back(params->rgvarg[1].lVal);
        bool cancel = on_tick_(params->rgvarg[1].lVal);
        *static_cast<VARIANT_BOOL*>(params->rgvarg[0].byref) =
            cancel ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    std::vector<LONG> ticks;

  private:
    OnTick on_tick_;
    ULONG refs_ = 1;
};

}  // namespace kivtest
