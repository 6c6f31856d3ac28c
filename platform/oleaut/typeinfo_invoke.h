#pragma once
// The work of ITypeInfo::Invoke for one method of an interface derived from IDispatch, done as
// OLE Automation does it for a dual interface: positional arguments (rgvarg holds them in
// reverse order), by-value arguments coerced to the declared type with VariantChangeType
// (a VT_BYREF argument is read through its pointer), out-pointers given as VT_BYREF|<type>
// (a null pointer when the caller passes VT_ERROR/DISP_E_PARAMNOTFOUND), omitted trailing
// optional arguments taking their default value, then the vtable slot called through
// DispCallFunc.
//
// Errors: a method not asked for with DISPATCH_METHOD, or a property get without
// DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND; named arguments DISP_E_NONAMEDARGS; too
// many or too few arguments DISP_E_BADPARAMCOUNT; a required argument passed as missing
// DISP_E_PARAMNOTOPTIONAL; a coercion's failure (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW) or an
// out-argument of the wrong type (DISP_E_TYPEMISMATCH) with *puArgErr = its index in rgvarg.
// A failure HRESULT from the method gives DISP_E_EXCEPTION with *pExcepInfo filled from the
// error information the method set during the call (scode = its HRESULT); that information
// stays the thread's, as for a direct call. Error information older than the call is never
// reported as the call's: when the method sets none, the thread's earlier one is kept as it was.
#include "platform/oleaut/typelib_model.h"
#include "platform/oleaut/typelib_tables.h"

namespace comrt {

HRESULT invoke_method(const TlbFunc& func, const FuncTable& table, void* instance, WORD wFlags,
                      DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                      UINT* puArgErr);

}  // namespace comrt
