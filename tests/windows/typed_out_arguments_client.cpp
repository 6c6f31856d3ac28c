// TypedOutArguments against the system's own DispInvoke (Windows' or Wine's oleaut32), whose
// strictness the Linux runtime does not share: an interface with a method like IPrime's
// (BSTR in, BSTR and LONG out), described by a type library built here, called with variables
// by reference as VBScript passes them. Without the rewriting DispInvoke must refuse them;
// with it the variables must receive the results. Prints one line per failed check; the exit
// code is the number of failures.
#include <cstdio>
#include <cwchar>

#include "server/host/typed_out_arguments.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++g_failures;
    }
}

const IID IID_IPairTest = {
    0x5B0E2F4C, 0x3A1D, 0x4E7B, {0x9C, 0x21, 0x7F, 0x42, 0x0D, 0x8E, 0x61, 0x3A}};

struct IPairTest : IDispatch {
    // DISPID 1: first = the text, found = 1; "fail" fails and writes nothing.
    virtual HRESULT STDMETHODCALLTYPE Pair(BSTR text, BSTR* first, LONG* found) = 0;
};

class PairTest final : public IPairTest {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Pair(BSTR text, BSTR* first, LONG* found) override {
        if (text == nullptr || std::wcscmp(text, L"fail") == 0)
            return E_INVALIDARG;
        *first = SysAllocString(text);
        *found = 1;
        return S_OK;
    }
};

// IPairTest's type information, built in memory on top of stdole's IDispatch.
HRESULT BuildTypeInfo(ITypeInfo** out) {
    ICreateTypeLib2* library = nullptr;
    HRESULT hr = CreateTypeLib2(SYS_WIN64, L"pair_test.tlb", &library);
    if (FAILED(hr))
        return hr;
    ICreateTypeInfo* builder = nullptr;
    ITypeLib* stdole = nullptr;
    ITypeInfo* dispatch = nullptr;
    HREFTYPE base = 0;
    hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"IPairTest"), TKIND_INTERFACE, &builder);
    if (SUCCEEDED(hr))
        hr = builder->SetGuid(IID_IPairTest);
    if (SUCCEEDED(hr))
        hr = builder->SetTypeFlags(TYPEFLAG_FOLEAUTOMATION);
    if (SUCCEEDED(hr))
        hr = LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_NEUTRAL, &stdole);
    if (SUCCEEDED(hr))
        hr = stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch);
    if (SUCCEEDED(hr))
        hr = builder->AddRefTypeInfo(dispatch, &base);
    if (SUCCEEDED(hr))
        hr = builder->AddImplType(0, base);
    TYPEDESC bstr_type{}, long_type{};
    bstr_type.vt = VT_BSTR;
    long_type.vt = VT_I4;
    ELEMDESC params[3]{};
    params[0].tdesc.vt = VT_BSTR;
    params[0].paramdesc.wParamFlags = PARAMFLAG_FIN;
    params[1].tdesc.vt = VT_PTR;
    params[1].tdesc.lptdesc = &bstr_type;
    params[1].paramdesc.wParamFlags = PARAMFLAG_FOUT;
    params[2].tdesc.vt = VT_PTR;
    params[2].tdesc.lptdesc = &long_type;
    params[2].paramdesc.wParamFlags = PARAMFLAG_FOUT;
    FUNCDESC func{};
    func.memid = 1;
    func.lprgelemdescParam = params;
    func.funckind = FUNC_PUREVIRTUAL;
    func.invkind = INVOKE_FUNC;
    func.callconv = CC_STDCALL;
    func.cParams = 3;
    func.elemdescFunc.tdesc.vt = VT_HRESULT;
    if (SUCCEEDED(hr))
        hr = builder->AddFuncDesc(0, &func);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Pair"), const_cast<LPOLESTR>(L"text"),
                        const_cast<LPOLESTR>(L"first"), const_cast<LPOLESTR>(L"found")};
    if (SUCCEEDED(hr))
        hr = builder->SetFuncAndParamNames(0, names, 4);
    if (SUCCEEDED(hr))
        hr = builder->LayOut();
    if (SUCCEEDED(hr))
        hr = builder->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(out));
    if (dispatch)
        dispatch->Release();
    if (stdole)
        stdole->Release();
    if (builder)
        builder->Release();
    library->Release();
    return hr;
}

// A call of Pair(text, first, found) with first and found as variables by reference.
struct ScriptCall {
    explicit ScriptCall(const wchar_t* text) {
        VariantInit(&first);
        VariantInit(&found);
        first.vt = VT_BSTR;
        first.bstrVal = SysAllocString(L"old");
        for (VARIANT& a : args)
            VariantInit(&a);
        args[2].vt = VT_BSTR;  // reverse order
        args[2].bstrVal = SysAllocString(text);
        args[1].vt = VT_BYREF | VT_VARIANT;
        args[1].pvarVal = &first;
        args[0].vt = VT_BYREF | VT_VARIANT;
        args[0].pvarVal = &found;
        params = {args, nullptr, 3, 0};
    }
    ~ScriptCall() {
        VariantClear(&args[2]);
        VariantClear(&first);
        VariantClear(&found);
    }
    ScriptCall(const ScriptCall&) = delete;
    ScriptCall& operator=(const ScriptCall&) = delete;
    bool FirstIs(const wchar_t* text) const {
        return first.vt == VT_BSTR && std::wcscmp(first.bstrVal, text) == 0;
    }
    VARIANT first, found;
    VARIANT args[3];
    DISPPARAMS params;
};

HRESULT CallRewritten(PairTest& object, ITypeInfo* info, ScriptCall& call) {
    TypedOutArguments arguments;
    HRESULT hr = arguments.Rewrite(info, 1, &call.params, nullptr);
    if (FAILED(hr))
        return hr;
    EXCEPINFO excep{};
    hr = DispInvoke(static_cast<IPairTest*>(&object), info, 1, DISPATCH_METHOD, arguments.Params(),
                    nullptr, &excep, nullptr);
    if (SUCCEEDED(hr))
        arguments.WriteBack();
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return hr;
}

}  // namespace

int main() {
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    ITypeInfo* info = nullptr;
    HRESULT hr = BuildTypeInfo(&info);
    if (FAILED(hr)) {
        std::printf("FAIL: type information: 0x%08lX\n", static_cast<unsigned long>(hr));
        CoUninitialize();
        return 1;
    }
    PairTest object;
    {
        ScriptCall call(L"3");
        UINT arg_err = 99;
        hr = DispInvoke(static_cast<IPairTest*>(&object), info, 1, DISPATCH_METHOD, &call.params,
                        nullptr, nullptr, &arg_err);
        Check(hr == DISP_E_TYPEMISMATCH, "the system's DispInvoke refuses a variable by reference");
    }
    {
        ScriptCall call(L"3");
        Check(CallRewritten(object, info, call) == S_OK, "a rewritten call succeeds");
        Check(call.FirstIs(L"3"), "the first variable receives the text");
        Check(call.found.vt == VT_I4 && call.found.lVal == 1, "the found variable receives 1");
    }
    {
        ScriptCall call(L"fail");
        Check(CallRewritten(object, info, call) == DISP_E_EXCEPTION, "a failed call fails");
        Check(call.FirstIs(L"old") && call.found.vt == VT_EMPTY, "a failed call writes nothing");
    }
    info->Release();
    CoUninitialize();
    std::printf("typed_out_arguments_client: %d failure(s)\n", g_failures);
    return g_failures;
}
