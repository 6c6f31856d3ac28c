#include "platform/oleaut/typeinfo_invoke.h"

#include <new>
#include <utility>
#include <vector>

#include "platform/base/bstr.h"
#include "platform/base/com_ptr.h"
#include "platform/oleaut/disp_call.h"
#include "platform/oleaut/error_info.h"
#include "platform/oleaut/integer_vartype.h"
#include "platform/oleaut/variant_change_type.h"

namespace comrt {
namespace {

// The argument values passed to the method; those the call made (coerced copies, the retval
// slot) are freed with it, those borrowed from the caller are not.
//
// A typed out-parameter may also be given a caller's VARIANT by reference (VT_BYREF |
// VT_VARIANT), which is how scripting engines pass every variable: the method then writes a
// temporary of the declared type, which moves into the caller's variable only when the call
// succeeds (write_back), so a failed call leaves the variable as it was.
struct CallArguments {
    explicit CallArguments(std::size_t n)
        : values(n), owned(n, false), types(n), pointers(n), temporaries(n), write_back(n) {
        for (std::size_t i = 0; i < n; ++i) {
            VariantInit(&values[i]);
            pointers[i] = &values[i];
        }
    }
    ~CallArguments() {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (owned[i])
                VariantClear(&values[i]);
            VariantClear(&temporaries[i]);  // what a failed call left there; empty after a move
        }
    }

    // Moves each temporary into the caller's variable it stands for.
    void write_back_results() {
        for (std::size_t i = 0; i < write_back.size(); ++i) {
            if (write_back[i] == nullptr)
                continue;
            VariantClear(write_back[i]);
            *write_back[i] = temporaries[i];
            VariantInit(&temporaries[i]);
        }
    }
    CallArguments(const CallArguments&) = delete;
    CallArguments& operator=(const CallArguments&) = delete;

    std::vector<VARIANT> values;
    std::vector<bool> owned;
    std::vector<VARTYPE> types;
    std::vector<VARIANTARG*> pointers;
    std::vector<VARIANT> temporaries;  // value-initialised: a method that writes nothing leaves 0
    std::vector<VARIANT*> write_back;
};

struct OwnedVariant {
    OwnedVariant() { VariantInit(&v); }
    ~OwnedVariant() { VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT v;
};

bool is_missing(const VARIANT* arg) {
    return arg == nullptr || (arg->vt == VT_ERROR && arg->scode == DISP_E_PARAMNOTFOUND);
}

bool is_optional(const TlbParam& p) {
    return (p.flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0;
}

// The types a vtable call can pass (see DispCallFunc): by value, or through one pointer.
bool is_supported_value(VARTYPE vt) {
    return is_integer_vartype(vt) || vt == VT_BOOL || vt == VT_ERROR || vt == VT_R4 ||
           vt == VT_R8 || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN ||
           vt == VT_VARIANT;
}

bool by_pointer(const TlbParam& p) {
    return p.type.indirections.size() == 1 && p.type.indirections[0] == VT_PTR;
}

bool is_invocable(const TlbFunc& f) {
    if ((f.invkind != INVOKE_FUNC && f.invkind != INVOKE_PROPERTYGET) ||
        f.funckind == FUNC_DISPATCH || !f.result.indirections.empty() || f.result.vt != VT_HRESULT)
        return false;
    for (const TlbParam& p : f.params)
        if ((!p.type.indirections.empty() && !by_pointer(p)) || !is_supported_value(p.type.vt) ||
            (p.flags & PARAMFLAG_FLCID))
            return false;
    return true;
}

void fill_excepinfo(EXCEPINFO* ei, IErrorInfo* info, HRESULT hr) {
    *ei = EXCEPINFO{};
    ei->scode = hr;
    if (info == nullptr)
        return;
    // A text that cannot be copied is left out; the scode still tells what failed.
    info->GetSource(&ei->bstrSource);
    info->GetDescription(&ei->bstrDescription);
    info->GetHelpFile(&ei->bstrHelpFile);
    info->GetHelpContext(&ei->dwHelpContext);
}

// Binds the typed out-parameter i to a temporary of its type that stands for the caller's
// `variable`; an [in, out] parameter starts from the variable's value, coerced.
HRESULT bind_through_temporary(const TlbParam& p, std::size_t i, VARIANT* variable,
                               CallArguments& call) {
    VARIANT& temporary = call.temporaries[i];
    const VARTYPE vt = p.type.vt;
    if (p.flags & PARAMFLAG_FIN) {
        if (HRESULT hr = VariantChangeType(&temporary, variable, 0, vt); FAILED(hr))
            return hr == DISP_E_BADVARTYPE ? DISP_E_TYPEMISMATCH : hr;
    } else {
        temporary.vt = vt;  // zero of its type: a null BSTR, 0
    }
    call.values[i].byref = &temporary.llVal;  // the union's storage, whatever the type
    call.write_back[i] = variable;
    return S_OK;
}

// Binds declared parameter i to the caller's argument (null when not passed).
HRESULT bind(const TlbParam& p, const FuncTable& table, std::size_t i, const VARIANT* arg,
             CallArguments& call) {
    VARIANT& value = call.values[i];
    const VARTYPE vt = p.type.vt;
    if (by_pointer(p)) {
        call.types[i] = VT_BYREF | vt;
        value.vt = call.types[i];
        if (is_missing(arg))
            return S_OK;  // value.byref stays null
        if (arg->vt == (VT_BYREF | vt)) {
            value.byref = arg->byref;
            return S_OK;
        }
        if (arg->vt != (VT_BYREF | VT_VARIANT) || arg->pvarVal == nullptr)
            return DISP_E_TYPEMISMATCH;
        if (arg->pvarVal->vt == (VT_BYREF | vt)) {
            value.byref = arg->pvarVal->byref;
            return S_OK;
        }
        return bind_through_temporary(p, i, arg->pvarVal, call);
    }
    call.types[i] = vt;
    if (is_missing(arg)) {
        if (p.flags & PARAMFLAG_FHASDEFAULT) {
            // The library's value, of the parameter's type: borrowed when it is, else a copy.
            const VARIANT& given = table.defaults[i].varDefaultValue;
            if (given.vt == VT_VARIANT)  // what a null default pointer reads as: nothing
                return S_OK;             // value stays VT_EMPTY
            if (vt == VT_VARIANT || given.vt == vt) {
                value = given;
                return S_OK;
            }
            HRESULT hr = VariantChangeType(&value, &given, 0, vt);
            if (SUCCEEDED(hr))
                call.owned[i] = true;
            return hr == DISP_E_BADVARTYPE ? DISP_E_TYPEMISMATCH : hr;
        }
        if ((p.flags & PARAMFLAG_FOPT) && (vt == VT_VARIANT || vt == VT_ERROR)) {
            VARIANT missing;
            VariantInit(&missing);
            missing.vt = VT_ERROR;
            missing.scode = DISP_E_PARAMNOTFOUND;
            if (vt == VT_VARIANT) {
                value = missing;
            } else {
                value.vt = VT_ERROR;
                value.scode = DISP_E_PARAMNOTFOUND;
            }
            return S_OK;
        }
        return DISP_E_PARAMNOTOPTIONAL;
    }
    if (vt == VT_VARIANT) {  // passed as it is, by value; the caller keeps what it owns
        value = arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal ? *arg->pvarVal : *arg;
        return S_OK;
    }
    if (arg->vt == vt) {
        value = *arg;  // borrowed
        return S_OK;
    }
    HRESULT hr = VariantChangeType(&value, arg, 0, vt);
    if (SUCCEEDED(hr))
        call.owned[i] = true;
    return hr == DISP_E_BADVARTYPE ? DISP_E_TYPEMISMATCH : hr;
}

}  // namespace

HRESULT invoke_method(const TlbFunc& func, const FuncTable& table, void* instance, WORD wFlags,
                      DISPPARAMS* dp, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (instance == nullptr || dp == nullptr)
        return E_INVALIDARG;
    // DISPATCH_METHOD and DISPATCH_PROPERTYGET are INVOKE_FUNC's and INVOKE_PROPERTYGET's bits.
    if (!(wFlags & func.invkind) || !is_invocable(func))
        return DISP_E_MEMBERNOTFOUND;
    if (dp->cArgs > 0 && dp->rgvarg == nullptr)
        return E_INVALIDARG;
    if (dp->cNamedArgs > 0)
        return DISP_E_NONAMEDARGS;

    const std::size_t n = func.params.size();
    const bool has_retval = n > 0 && (func.params.back().flags & PARAMFLAG_FRETVAL);
    const std::size_t visible = n - (has_retval ? 1 : 0);
    std::size_t required = 0;
    while (required < visible && !is_optional(func.params[required]))
        ++required;
    const std::size_t given = dp->cArgs;
    if (given > visible || given < required)
        return DISP_E_BADPARAMCOUNT;

    try {
        CallArguments call(n);
        OwnedVariant retval;
        for (std::size_t i = 0; i < visible; ++i) {
            const VARIANT* arg = i < given ? &dp->rgvarg[given - 1 - i] : nullptr;
            if (HRESULT hr = bind(func.params[i], table, i, arg, call); FAILED(hr)) {
                if (puArgErr != nullptr)
                    *puArgErr = static_cast<UINT>(arg ? given - 1 - i : 0);
                return hr;
            }
        }
        if (has_retval) {
            // The method writes its result straight into the variant the caller receives.
            call.types[n - 1] = VT_BYREF | func.params.back().type.vt;
            call.values[n - 1].vt = call.types[n - 1];
            call.values[n - 1].byref = &retval.v.llVal;
        }

        CComPtr<IErrorInfo> earlier;
        GetErrorInfo(0, &earlier);  // set aside: only what the method sets belongs to this call
        VARIANT returned;
        HRESULT hr = DispCallFunc(instance, static_cast<ULONG_PTR>(table.stored_view.oVft),
                                  CC_STDCALL, VT_HRESULT, static_cast<UINT>(n), call.types.data(),
                                  call.pointers.data(), &returned);
        CComPtr<IErrorInfo> fresh;
        GetErrorInfo(0, &fresh);
        SetErrorInfo(0, fresh ? fresh.get() : earlier.get());
        if (FAILED(hr))
            return hr;

        if (has_retval)
            retval.v.vt = func.params.back().type.vt;  // owned from here on
        if (FAILED(returned.scode)) {
            if (pExcepInfo != nullptr)
                fill_excepinfo(pExcepInfo, fresh, returned.scode);
            return DISP_E_EXCEPTION;
        }
        call.write_back_results();
        if (pVarResult != nullptr) {
            VariantInit(pVarResult);
            if (has_retval)
                std::swap(*pVarResult, retval.v);
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt
