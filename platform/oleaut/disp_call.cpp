#include "platform/oleaut/disp_call.h"

#include "platform/oleaut/ffi_types.h"

#include <ffi.h>

#include <new>
#include <vector>

namespace {

// VARIANT as libffi sees it: four 16-bit words and two 64-bit words, 24 bytes. Size and
// alignment are filled in here so that libffi never writes to this shared description.
static_assert(sizeof(VARIANT) == 24 && alignof(VARIANT) == 8);
ffi_type* variant_elements[] = {&ffi_type_uint16, &ffi_type_uint16, &ffi_type_uint16,
                                &ffi_type_uint16, &ffi_type_uint64, &ffi_type_uint64,
                                nullptr};
ffi_type variant_type = {sizeof(VARIANT), alignof(VARIANT), FFI_TYPE_STRUCT, variant_elements};

// The libffi type of a value of type vt, and where its value sits inside a VARIANT.
ffi_type* ffi_type_of(VARTYPE vt, VARIANT* v, void** value) {
    if (vt == VT_VARIANT) {
        if (v)
            *value = v;
        return &variant_type;
    }
    ffi_type* type = comrt::ffi_type_of_value(vt);
    if (type != nullptr && v)
        // A pointer sits in byref, a scalar at the start of the value union: the same place.
        *value = type == &ffi_type_pointer ? static_cast<void*>(&v->byref)
                                           : static_cast<void*>(&v->llVal);
    return type;
}

// The function to call: the vtable slot at byte offset oVft of the object, or the address
// oVft itself without one.
HRESULT target_function(void* pvInstance, ULONG_PTR oVft, void*& function) {
    if (pvInstance != nullptr) {
        if (oVft % sizeof(void*) != 0)
            return E_INVALIDARG;
        void* const* vtable = *static_cast<void* const* const*>(pvInstance);
        function = vtable[oVft / sizeof(void*)];
    } else {
        function = reinterpret_cast<void*>(oVft);
    }
    return function == nullptr ? E_INVALIDARG : S_OK;
}

// The call's arguments for libffi, the object (`this`) first when there is one. `values`
// points into *pvInstance and the VARIANTs, so they must outlive the call.
HRESULT arguments_of(void*& pvInstance, UINT cActuals, VARTYPE* prgvt, VARIANTARG** prgpvarg,
                     std::vector<ffi_type*>& types, std::vector<void*>& values) {
    const std::size_t count = cActuals + (pvInstance ? 1 : 0);
    types.reserve(count);
    values.reserve(count);
    if (pvInstance) {
        types.push_back(&ffi_type_pointer);
        values.push_back(&pvInstance);
    }
    for (UINT i = 0; i < cActuals; ++i) {
        if (prgpvarg[i] == nullptr)
            return E_INVALIDARG;
        void* value = nullptr;
        ffi_type* type = ffi_type_of(prgvt[i], prgpvarg[i], &value);
        if (type == nullptr)
            return DISP_E_BADVARTYPE;
        types.push_back(type);
        values.push_back(value);
    }
    return S_OK;
}

// Where libffi leaves a result. Integral results narrower than a register come back widened
// to ffi_arg.
union CallResult {
    ffi_arg integral;
    std::int64_t wide;
    float single;
    double dbl;
    void* pointer;
};

// Stores a result of type vtReturn (not VT_EMPTY or VT_VOID) in a VARIANT.
void store_result(const CallResult& result, VARTYPE vtReturn, const ffi_type* return_type,
                  VARIANT& out) {
    out.vt = vtReturn;
    if (return_type == &ffi_type_pointer) {
        out.byref = result.pointer;
        return;
    }
    switch (vtReturn) {
        case VT_R4:
            out.fltVal = result.single;
            break;
        case VT_R8:
            out.dblVal = result.dbl;
            break;
        case VT_I8:
        case VT_UI8:
            out.llVal = result.wide;
            break;
        case VT_I1:
        case VT_UI1:
            out.bVal = static_cast<BYTE>(result.integral);
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            out.iVal = static_cast<SHORT>(result.integral);
            break;
        default:
            out.lVal = static_cast<LONG>(result.integral);
            break;
    }
}

}  // namespace

HRESULT DispCallFunc(void* pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn, UINT cActuals,
                     VARTYPE* prgvt, VARIANTARG** prgpvarg, VARIANT* pvargResult) {
    if (cc != CC_STDCALL && cc != CC_CDECL)
        return E_INVALIDARG;
    if (pvargResult == nullptr || (cActuals > 0 && (prgvt == nullptr || prgpvarg == nullptr)))
        return E_INVALIDARG;
    void* function = nullptr;
    if (HRESULT hr = target_function(pvInstance, oVft, function); FAILED(hr))
        return hr;

    bool returns_nothing = vtReturn == VT_EMPTY || vtReturn == VT_VOID;
    ffi_type* return_type =
        returns_nothing ? &ffi_type_void : ffi_type_of(vtReturn, nullptr, nullptr);
    if (return_type == nullptr || return_type == &variant_type)
        return DISP_E_BADVARTYPE;

    try {
        std::vector<ffi_type*> types;
        std::vector<void*> values;
        if (HRESULT hr = arguments_of(pvInstance, cActuals, prgvt, prgpvarg, types, values);
            FAILED(hr))
            return hr;
        ffi_cif cif;
        if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(types.size()), return_type,
                         types.data()) != FFI_OK)
            return E_INVALIDARG;
        CallResult result{};
        ffi_call(&cif, FFI_FN(function), &result, values.data());

        VariantInit(pvargResult);
        if (!returns_nothing)
            store_result(result, vtReturn, return_type, *pvargResult);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
