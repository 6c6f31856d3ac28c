#pragma once
// The helpers a dual object's IDispatch forwards to, as in OLE Automation: its type
// information does the name look-up and the call through the object's vtable.
#include "platform/oleaut/oleauto.h"

// ptinfo->Invoke(_this, ...): _this is the dual interface pointer the type information
// describes.
HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                   DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr);
// ptinfo->GetIDsOfNames: the member's DISPID, then its parameters' positions.
HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgdispid);
