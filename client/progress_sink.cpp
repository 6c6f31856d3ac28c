#include "client/progress_sink.h"

#include <exception>

namespace {

// _IPrimeEvents::Progress and its seven arguments.
constexpr DISPID kDispidProgress = 1;
constexpr UINT kProgressArguments = 7;

// Invoke receives the arguments last first.
const VARIANTARG& Argument(const DISPPARAMS& params, UINT position) {
    return params.rgvarg[params.cArgs - 1 - position];
}

std::string Text(const VARIANTARG& arg) {
    BSTR value = nullptr;
    if (arg.vt == VT_BSTR)
        value = arg.bstrVal;
    else if (arg.vt == (VT_BSTR | VT_BYREF) && arg.byref != nullptr)
        value = *static_cast<BSTR*>(arg.byref);
    if (value == nullptr)
        return {};
    _bstr_t text(value);
    const char* ansi = text;
    return ansi != nullptr ? ansi : "";
}

double Number(const VARIANTARG& arg) {
    switch (arg.vt) {
        case VT_R8:
            return arg.dblVal;
        case VT_R8 | VT_BYREF:
            return arg.byref != nullptr ? *static_cast<double*>(arg.byref) : 0;
        case VT_R4:
            return arg.fltVal;
        case VT_I4:
            return arg.lVal;
        case VT_I8:
            return static_cast<double>(arg.llVal);
        default:
            return 0;
    }
}

}  // namespace

ProgressSink::ProgressSink(Listener listener) : m_listener(std::move(listener)) {}

HRESULT ProgressSink::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID__IPrimeEvents)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG ProgressSink::AddRef() {
    return ++m_cRef;
}

ULONG ProgressSink::Release() {
    return m_cRef > 0 ? --m_cRef : 0;
}

HRESULT ProgressSink::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT ProgressSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT ProgressSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT ProgressSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                             VARIANT*, EXCEPINFO*, UINT*) {
    if (dispIdMember != kDispidProgress)
        return DISP_E_MEMBERNOTFOUND;
    if (pDispParams == nullptr || pDispParams->cArgs != kProgressArguments)
        return DISP_E_BADPARAMCOUNT;
    const DISPPARAMS& params = *pDispParams;
    const VARIANTARG& cancel = Argument(params, 6);
    if (cancel.vt != (VT_BOOL | VT_BYREF) || cancel.byref == nullptr)
        return DISP_E_TYPEMISMATCH;
    try {
        ProgressReport report;
        report.activity = Text(Argument(params, 0));
        report.unit = Text(Argument(params, 1));
        report.done = Number(Argument(params, 2));
        report.expected = Number(Argument(params, 3));
        report.elapsed_seconds = Number(Argument(params, 4));
        report.current = Text(Argument(params, 5));
        if (m_listener(report))
            *static_cast<VARIANT_BOOL*>(cancel.byref) = VARIANT_TRUE;
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return S_OK;
}
