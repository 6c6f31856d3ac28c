#pragma once
// tlbdump's text of OLE Automation values: names of enumerations and flags, GUIDs, strings,
// VARIANTs and type descriptions. Everything is rendered by the tool itself, from numbers, so
// that both builds print the same bytes whatever their runtime's own formatting would be.
#include <string>

#include "platform/win32.h"

namespace tlbdump {

// UTF-8 of a UTF-16 string; an unpaired surrogate becomes U+FFFD.
std::string Utf8(const OLECHAR* text, std::size_t length);
// A BSTR as a quoted, escaped UTF-8 string ("" for a null BSTR).
std::string Quoted(BSTR text);
std::string GuidText(const GUID& guid);
std::string HexText(unsigned long long value);
std::string HresultText(HRESULT hr);

std::string TypeKindText(int kind);
std::string InvokeKindText(int kind);
std::string FuncKindText(int kind);
std::string CallConvText(int conv);
std::string VarKindText(int kind);
std::string SysKindText(int kind);
std::string VarTypeText(VARTYPE vt);

// A flag word as "0x<hex> NAME|NAME", bits without a name in hex.
std::string TypeFlagsText(unsigned flags);
std::string FuncFlagsText(unsigned flags);
std::string VarFlagsText(unsigned flags);
std::string ImplTypeFlagsText(unsigned flags);
std::string LibFlagsText(unsigned flags);
std::string ParamFlagsText(unsigned flags);

// A VARIANT as its type and value ("VT_I4 130", "VT_BSTR \"x\"").
std::string VariantText(const VARIANT& value);

// A type description, recursively: VT_PTR(VT_BSTR), VT_SAFEARRAY(VT_VARIANT),
// VT_USERDEFINED(stdole.IDispatch TKIND_DISPATCH), VT_CARRAY(VT_I4)[0:4]. `owner` resolves
// VT_USERDEFINED through GetRefTypeInfo.
std::string TypeDescText(ITypeInfo* owner, const TYPEDESC& desc);

// "lib.Name" of a type information: its containing library's name and its own.
std::string QualifiedName(ITypeInfo* info);

}  // namespace tlbdump
