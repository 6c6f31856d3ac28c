#include "platform/oleaut/ffi_types.h"

namespace comrt {

ffi_type* ffi_type_of_value(VARTYPE vt) {
    if ((vt & VT_BYREF) || vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_PTR)
        return &ffi_type_pointer;
    switch (vt) {
        case VT_I1:
            return &ffi_type_sint8;
        case VT_UI1:
            return &ffi_type_uint8;
        case VT_I2:
        case VT_BOOL:
            return &ffi_type_sint16;
        case VT_UI2:
            return &ffi_type_uint16;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
        case VT_HRESULT:
            return &ffi_type_sint32;
        case VT_UI4:
        case VT_UINT:
            return &ffi_type_uint32;
        case VT_I8:
            return &ffi_type_sint64;
        case VT_UI8:
            return &ffi_type_uint64;
        case VT_R4:
            return &ffi_type_float;
        case VT_R8:
            return &ffi_type_double;
        default:
            return nullptr;
    }
}

}  // namespace comrt
