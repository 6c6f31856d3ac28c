#pragma once
// TypedOutArguments: lets a scripting client receive IPrime's results.
//
// VBScript, and PowerShell for [ref] variables, pass every variable as a VARIANT by reference
// (VT_BYREF | VT_VARIANT). The standard DispInvoke of OLE Automation refuses that for a typed
// out-parameter (LONG*, BSTR*) with DISP_E_TYPEMISMATCH. Before DispInvoke runs, such an
// argument is rewritten into a pointer to a temporary of the parameter's declared type (read
// from the method's FUNCDESC); after a successful call the temporary moves into the caller's
// variable, after a failed one the variable stays as it was. Every other argument, and the
// count of arguments (so omitted optional ones still take their defaults), is passed on as
// the caller gave it. Standard OLE Automation calls only, so both builds share it.
#include <vector>

#include "platform/win32.h"

class TypedOutArguments {
  public:
    TypedOutArguments() = default;
    ~TypedOutArguments();
    TypedOutArguments(const TypedOutArguments&) = delete;
    TypedOutArguments& operator=(const TypedOutArguments&) = delete;

    // Prepares the arguments of method `dispid` of `info`. S_OK when Params() may be passed on
    // (rewritten or not); a failure HRESULT when an [in, out] variable cannot be coerced to its
    // parameter's type, with *puArgErr its index in rgvarg.
    HRESULT Rewrite(ITypeInfo* info, DISPID dispid, DISPPARAMS* params, UINT* puArgErr);

    // The arguments to hand to DispInvoke.
    DISPPARAMS* Params() { return m_args.empty() ? m_original : &m_params; }

    // After a successful call: each result moves into the caller's variable it stands for.
    void WriteBack();

  private:
    void Start(const DISPPARAMS& params);
    HRESULT Bind(UINT k, VARIANT* variable, VARTYPE type, USHORT flags);

    DISPPARAMS* m_original = nullptr;
    DISPPARAMS m_params{};
    std::vector<VARIANTARG> m_args;
    std::vector<VARIANT> m_temporaries;
    std::vector<VARIANT*> m_variables;
};
