#pragma once
// VariantChangeType for the types that cross kiv's interfaces: the integer types, VT_BOOL and
// VT_BSTR (decimal text), plus VT_EMPTY. Results as OLE Automation gives them: text that is no
// number DISP_E_TYPEMISMATCH, a value outside the target's range DISP_E_OVERFLOW. Text may
// carry blanks around it, a sign and a fraction (rounded half to even, as OLE does); VT_BOOL
// reads "True"/"False" in any case, or a number. A VT_BOOL becomes "-1"/"0", or "True"/"False"
// with VARIANT_ALPHABOOL. Floating-point, date, currency, decimal and object values are not
// converted here (DISP_E_BADVARTYPE); VT_NULL converts to nothing but itself.
#include "platform/base/variant.h"

inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// pvargDest must be initialised (it is cleared before being written) and may be pvarSrc.
// A VT_BYREF source is read through its pointer. On failure pvargDest is left as it was.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
