#pragma once
// DispCallFunc: calls a function, or the vtable slot of an object, with arguments taken from
// VARIANTs, as OLE Automation does for late binding. The call is built at run time with libffi
// for the platform's C calling convention, which every CALLCONV of Windows maps to here
// (CC_STDCALL and CC_CDECL are accepted, others give E_INVALIDARG).
//
// With pvInstance non-null, oVft is the byte offset of the slot in the object's vtable and the
// object is passed first, as `this`; with pvInstance null, oVft is the function's address.
// Argument i has type prgvt[i]; its value is read from the matching member of *prgpvarg[i]
// (for VT_BYREF|x, VT_BSTR, VT_UNKNOWN and VT_DISPATCH the pointer; for VT_VARIANT the whole
// VARIANT by value). The result is stored in *pvargResult with type vtReturn (VT_EMPTY and
// VT_VOID: nothing, the result is VT_EMPTY; VT_HRESULT: in scode). An unsupported type gives
// DISP_E_BADVARTYPE.
#include "platform/oleaut/oleauto.h"

HRESULT DispCallFunc(void* pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn, UINT cActuals,
                     VARTYPE* prgvt, VARIANTARG** prgpvarg, VARIANT* pvargResult);
