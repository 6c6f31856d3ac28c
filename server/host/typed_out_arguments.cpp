#include "server/host/typed_out_arguments.h"

#include <cstddef>

namespace {

// The FUNCDESC of method `dispid`, released with the holder; null when there is none.
struct FuncDescHolder {
    FuncDescHolder(ITypeInfo* info, DISPID dispid) : info(info) {
        TYPEATTR* attr = nullptr;
        if (FAILED(info->GetTypeAttr(&attr)) || attr == nullptr)
            return;
        const UINT count = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        for (UINT i = 0; i < count && desc == nullptr; ++i) {
            FUNCDESC* candidate = nullptr;
            if (FAILED(info->GetFuncDesc(i, &candidate)) || candidate == nullptr)
                continue;
            if (candidate->memid == dispid && (candidate->invkind & INVOKE_FUNC))
                desc = candidate;
            else
                info->ReleaseFuncDesc(candidate);
        }
    }
    ~FuncDescHolder() {
        if (desc != nullptr)
            info->ReleaseFuncDesc(desc);
    }
    FuncDescHolder(const FuncDescHolder&) = delete;
    FuncDescHolder& operator=(const FuncDescHolder&) = delete;
    ITypeInfo* info;
    FUNCDESC* desc = nullptr;
};

// The declared position of rgvarg[k]: named arguments come first in rgvarg, positional
// ones follow in reverse order.
UINT ParamIndex(const DISPPARAMS& params, UINT k) {
    if (k < params.cNamedArgs && params.rgdispidNamedArgs != nullptr)
        return static_cast<UINT>(params.rgdispidNamedArgs[k]);
    return params.cArgs - 1 - k;
}

// Types a temporary VARIANT can hold by value, and VariantClear frees.
bool HoldsByValue(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
        case VT_ERROR:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return true;
        default:
            return false;
    }
}

// The caller's variable when `arg` is a variable by reference aimed at a typed
// out-parameter, else null; *type gets the parameter's type, *flags its flags.
VARIANT* ScriptVariable(const ELEMDESC& elem, const VARIANTARG& arg, VARTYPE* type, USHORT* flags) {
    if (elem.tdesc.vt != VT_PTR || elem.tdesc.lptdesc == nullptr)
        return nullptr;
    const VARTYPE pointee = elem.tdesc.lptdesc->vt;
    if (!(elem.paramdesc.wParamFlags & PARAMFLAG_FOUT) || !HoldsByValue(pointee))
        return nullptr;
    if (arg.vt != (VT_BYREF | VT_VARIANT) || arg.pvarVal == nullptr)
        return nullptr;
    *type = pointee;
    *flags = elem.paramdesc.wParamFlags;
    return arg.pvarVal;
}

}  // namespace

TypedOutArguments::~TypedOutArguments() {
    for (VARIANT& temporary : m_temporaries)
        VariantClear(&temporary);  // what a failed call left there; empty after a move
}

// Prepares the arguments of method `dispid` of `info`. S_OK when Params() may be passed on
// (rewritten or not); a failure HRESULT when an [in, out] variable cannot be coerced to its
// parameter's type, with *puArgErr its index in rgvarg.
HRESULT TypedOutArguments::Rewrite(ITypeInfo* info, DISPID dispid, DISPPARAMS* params,
                                   UINT* puArgErr) {
    m_original = params;
    if (info == nullptr || params == nullptr || params->cArgs == 0 || params->rgvarg == nullptr)
        return S_OK;
    FuncDescHolder func(info, dispid);
    if (func.desc == nullptr)
        return S_OK;  // DispInvoke reports the unknown member
    const UINT n = params->cArgs;
    for (UINT k = 0; k < n; ++k) {
        const UINT index = ParamIndex(*params, k);
        if (index >= static_cast<UINT>(func.desc->cParams))
            continue;
        VARTYPE type = 0;
        USHORT flags = 0;
        VARIANT* variable =
            ScriptVariable(func.desc->lprgelemdescParam[index], params->rgvarg[k], &type, &flags);
        if (variable == nullptr)
            continue;
        if (m_args.empty())
            Start(*params);
        if (HRESULT hr = Bind(k, variable, type, flags); FAILED(hr)) {
            if (puArgErr != nullptr)
                *puArgErr = k;
            return hr;
        }
    }
    return S_OK;
}

// After a successful call: each result moves into the caller's variable it stands for.
void TypedOutArguments::WriteBack() {
    for (std::size_t k = 0; k < m_variables.size(); ++k) {
        if (m_variables[k] == nullptr)
            continue;
        VariantClear(m_variables[k]);
        *m_variables[k] = m_temporaries[k];
        VariantInit(&m_temporaries[k]);
    }
}

void TypedOutArguments::Start(const DISPPARAMS& params) {
    const std::size_t n = params.cArgs;
    m_args.assign(params.rgvarg, params.rgvarg + n);  // borrowed: the caller owns them
    m_temporaries.resize(n);                          // sized once: m_args point into it
    for (VARIANT& temporary : m_temporaries)
        VariantInit(&temporary);
    m_variables.assign(n, nullptr);
    m_params = params;
    m_params.rgvarg = m_args.data();
}

// Points rgvarg[k] at a temporary of `type` that stands for `variable`; an [in, out]
// parameter starts from the variable's value, coerced.
HRESULT TypedOutArguments::Bind(UINT k, VARIANT* variable, VARTYPE type, USHORT flags) {
    VARIANT& temporary = m_temporaries[k];
    if (variable->vt == (VT_BYREF | type)) {
        m_args[k].vt = variable->vt;  // already a reference of the right type
        m_args[k].byref = variable->byref;
        return S_OK;
    }
    if (flags & PARAMFLAG_FIN) {
        if (HRESULT hr = VariantChangeType(&temporary, variable, 0, type); FAILED(hr))
            return hr;
    } else {
        temporary.vt = type;  // zero of its type: 0, a null BSTR or interface
    }
    m_args[k].vt = VT_BYREF | type;
    m_args[k].byref = &temporary.llVal;  // the value's storage, whatever its type
    m_variables[k] = variable;
    return S_OK;
}
