#pragma once
// The VARTYPEs of plain integers: signed and unsigned, of one to eight bytes, and INT/UINT.
#include "platform/base/variant.h"

namespace comrt {

constexpr bool is_integer_vartype(VARTYPE vt) noexcept {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

}  // namespace comrt
