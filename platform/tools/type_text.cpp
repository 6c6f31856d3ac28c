#include "platform/tools/type_text.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "platform/tools/ole_holders.h"

namespace tlbdump {
namespace {

struct Name {
    unsigned value;
    const char* name;
};

template <std::size_t N>
std::string NameOf(const Name (&names)[N], int value) {
    for (const Name& n : names) {
        if (n.value == static_cast<unsigned>(value))
            return n.name;
    }
    return std::to_string(value);
}

template <std::size_t N>
std::string FlagsText(const Name (&names)[N], unsigned flags) {
    std::string text = HexText(flags);
    unsigned rest = flags;
    char separator = ' ';
    for (const Name& n : names) {
        if ((flags & n.value) == 0)
            continue;
        text += separator;
        text += n.name;
        separator = '|';
        rest &= ~n.value;
    }
    if (rest != 0) {
        text += separator;
        text += HexText(rest);
    }
    return text;
}

// The values are OLE's; the tool names them itself, so that it prints the same on a runtime
// that declares only part of them.
constexpr Name kTypeKinds[] = {{0, "TKIND_ENUM"},      {1, "TKIND_RECORD"},   {2, "TKIND_MODULE"},
                               {3, "TKIND_INTERFACE"}, {4, "TKIND_DISPATCH"}, {5, "TKIND_COCLASS"},
                               {6, "TKIND_ALIAS"},     {7, "TKIND_UNION"}};
constexpr Name kInvokeKinds[] = {{1, "INVOKE_FUNC"},
                                 {2, "INVOKE_PROPERTYGET"},
                                 {4, "INVOKE_PROPERTYPUT"},
                                 {8, "INVOKE_PROPERTYPUTREF"}};
constexpr Name kFuncKinds[] = {{0, "FUNC_VIRTUAL"},
                               {1, "FUNC_PUREVIRTUAL"},
                               {2, "FUNC_NONVIRTUAL"},
                               {3, "FUNC_STATIC"},
                               {4, "FUNC_DISPATCH"}};
constexpr Name kCallConvs[] = {{0, "CC_FASTCALL"},  {1, "CC_CDECL"},    {2, "CC_PASCAL"},
                               {3, "CC_MACPASCAL"}, {4, "CC_STDCALL"},  {5, "CC_FPFASTCALL"},
                               {6, "CC_SYSCALL"},   {7, "CC_MPWCDECL"}, {8, "CC_MPWPASCAL"}};
constexpr Name kVarKinds[] = {
    {0, "VAR_PERINSTANCE"}, {1, "VAR_STATIC"}, {2, "VAR_CONST"}, {3, "VAR_DISPATCH"}};
constexpr Name kSysKinds[] = {{0, "SYS_WIN16"}, {1, "SYS_WIN32"}, {2, "SYS_MAC"}, {3, "SYS_WIN64"}};
constexpr Name kVarTypes[] = {
    {0, "VT_EMPTY"},        {1, "VT_NULL"},      {2, "VT_I2"},         {3, "VT_I4"},
    {4, "VT_R4"},           {5, "VT_R8"},        {6, "VT_CY"},         {7, "VT_DATE"},
    {8, "VT_BSTR"},         {9, "VT_DISPATCH"},  {10, "VT_ERROR"},     {11, "VT_BOOL"},
    {12, "VT_VARIANT"},     {13, "VT_UNKNOWN"},  {14, "VT_DECIMAL"},   {16, "VT_I1"},
    {17, "VT_UI1"},         {18, "VT_UI2"},      {19, "VT_UI4"},       {20, "VT_I8"},
    {21, "VT_UI8"},         {22, "VT_INT"},      {23, "VT_UINT"},      {24, "VT_VOID"},
    {25, "VT_HRESULT"},     {26, "VT_PTR"},      {27, "VT_SAFEARRAY"}, {28, "VT_CARRAY"},
    {29, "VT_USERDEFINED"}, {30, "VT_LPSTR"},    {31, "VT_LPWSTR"},    {36, "VT_RECORD"},
    {37, "VT_INT_PTR"},     {38, "VT_UINT_PTR"}, {64, "VT_FILETIME"},  {65, "VT_BLOB"},
    {71, "VT_CF"},          {72, "VT_CLSID"}};
constexpr Name kVarTypeModifiers[] = {
    {0x1000, "VT_VECTOR"}, {0x2000, "VT_ARRAY"}, {0x4000, "VT_BYREF"}};

constexpr Name kTypeFlags[] = {
    {0x1, "FAPPOBJECT"},       {0x2, "FCANCREATE"},      {0x4, "FLICENSED"},
    {0x8, "FPREDECLID"},       {0x10, "FHIDDEN"},        {0x20, "FCONTROL"},
    {0x40, "FDUAL"},           {0x80, "FNONEXTENSIBLE"}, {0x100, "FOLEAUTOMATION"},
    {0x200, "FRESTRICTED"},    {0x400, "FAGGREGATABLE"}, {0x800, "FREPLACEABLE"},
    {0x1000, "FDISPATCHABLE"}, {0x2000, "FREVERSEBIND"}, {0x4000, "FPROXY"}};
constexpr Name kFuncFlags[] = {{0x1, "FRESTRICTED"},        {0x2, "FSOURCE"},
                               {0x4, "FBINDABLE"},          {0x8, "FREQUESTEDIT"},
                               {0x10, "FDISPLAYBIND"},      {0x20, "FDEFAULTBIND"},
                               {0x40, "FHIDDEN"},           {0x80, "FUSESGETLASTERROR"},
                               {0x100, "FDEFAULTCOLLELEM"}, {0x200, "FUIDEFAULT"},
                               {0x400, "FNONBROWSABLE"},    {0x800, "FREPLACEABLE"},
                               {0x1000, "FIMMEDIATEBIND"}};
constexpr Name kVarFlags[] = {
    {0x1, "FREADONLY"},        {0x2, "FSOURCE"},         {0x4, "FBINDABLE"},
    {0x8, "FREQUESTEDIT"},     {0x10, "FDISPLAYBIND"},   {0x20, "FDEFAULTBIND"},
    {0x40, "FHIDDEN"},         {0x80, "FRESTRICTED"},    {0x100, "FDEFAULTCOLLELEM"},
    {0x200, "FUIDEFAULT"},     {0x400, "FNONBROWSABLE"}, {0x800, "FREPLACEABLE"},
    {0x1000, "FIMMEDIATEBIND"}};
constexpr Name kImplTypeFlags[] = {
    {0x1, "FDEFAULT"}, {0x2, "FSOURCE"}, {0x4, "FRESTRICTED"}, {0x8, "FDEFAULTVTABLE"}};
constexpr Name kLibFlags[] = {
    {0x1, "FRESTRICTED"}, {0x2, "FCONTROL"}, {0x4, "FHIDDEN"}, {0x8, "FHASDISKIMAGE"}};
constexpr Name kParamFlags[] = {{0x1, "FIN"},          {0x2, "FOUT"},  {0x4, "FLCID"},
                                {0x8, "FRETVAL"},      {0x10, "FOPT"}, {0x20, "FHASDEFAULT"},
                                {0x40, "FHASCUSTDATA"}};

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

template <class Number>
std::string NumberText(Number value) {
    char buffer[64];
    auto result = std::to_chars(std::begin(buffer), std::end(buffer), value);
    return std::string(buffer, result.ptr);
}

// Currency: a 64-bit count of ten-thousandths.
std::string CurrencyText(long long value) {
    unsigned long long magnitude = value < 0 ? 0 - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%llu.%04llu", value < 0 ? "-" : "", magnitude / 10000,
                  magnitude % 10000);
    return buffer;
}

// comrt declares ARRAYDESC only once it reads C arrays; until then a C array is printed
// without its bounds (and so differs from Windows, as it should).
template <class Desc>
concept Declared = requires {
    sizeof(Desc);
};

template <class Desc>
std::string CArrayText(ITypeInfo* owner, const Desc* array) {
    if constexpr (Declared<Desc>) {
        if (array == nullptr)
            return "VT_CARRAY(<null>)";
        std::string text = "VT_CARRAY(" + TypeDescText(owner, array->tdescElem) + ")";
        for (USHORT i = 0; i < array->cDims; ++i) {
            text += "[" + std::to_string(array->rgbounds[i].lLbound) + ":" +
                    std::to_string(array->rgbounds[i].cElements) + "]";
        }
        return text;
    } else {
        return "VT_CARRAY(<no ARRAYDESC>)";
    }
}

std::string UserDefinedText(ITypeInfo* owner, HREFTYPE ref) {
    CComPtr<ITypeInfo> target;
    HRESULT hr = owner->GetRefTypeInfo(ref, &target);
    if (FAILED(hr))
        return "VT_USERDEFINED(<GetRefTypeInfo " + HresultText(hr) + ">)";
    TypeAttrPtr attr = GetTypeAttr(target, &hr);
    std::string kind =
        attr ? TypeKindText(attr->typekind) : "<GetTypeAttr " + HresultText(hr) + ">";
    return "VT_USERDEFINED(" + QualifiedName(target) + " " + kind + ")";
}

}  // namespace

std::string Utf8(const OLECHAR* text, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length) {
            std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::string Quoted(BSTR text) {
    std::string raw = text ? Utf8(text, SysStringLen(text)) : std::string();
    std::string out = "\"";
    for (char ch : raw) {
        auto byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string GuidText(const GUID& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buffer;
}

std::string HexText(unsigned long long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llX", value);
    return buffer;
}

std::string HresultText(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "hr=0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

std::string TypeKindText(int kind) {
    return NameOf(kTypeKinds, kind);
}
std::string InvokeKindText(int kind) {
    return NameOf(kInvokeKinds, kind);
}
std::string FuncKindText(int kind) {
    return NameOf(kFuncKinds, kind);
}
std::string CallConvText(int conv) {
    return NameOf(kCallConvs, conv);
}
std::string VarKindText(int kind) {
    return NameOf(kVarKinds, kind);
}
std::string SysKindText(int kind) {
    return NameOf(kSysKinds, kind);
}

std::string VarTypeText(VARTYPE vt) {
    std::string text;
    for (const Name& modifier : kVarTypeModifiers) {
        if ((vt & modifier.value) != 0)
            text += std::string(modifier.name) + "|";
    }
    return text + NameOf(kVarTypes, vt & 0x0FFF);
}

std::string TypeFlagsText(unsigned flags) {
    return FlagsText(kTypeFlags, flags);
}
std::string FuncFlagsText(unsigned flags) {
    return FlagsText(kFuncFlags, flags);
}
std::string VarFlagsText(unsigned flags) {
    return FlagsText(kVarFlags, flags);
}
std::string ImplTypeFlagsText(unsigned flags) {
    return FlagsText(kImplTypeFlags, flags);
}
std::string LibFlagsText(unsigned flags) {
    return FlagsText(kLibFlags, flags);
}
std::string ParamFlagsText(unsigned flags) {
    return FlagsText(kParamFlags, flags);
}

std::string VariantText(const VARIANT& v) {
    std::string type = VarTypeText(v.vt);
    switch (v.vt) {
        case 0:  // VT_EMPTY
        case 1:  // VT_NULL
            return type;
        case 2:
            return type + " " + std::to_string(v.iVal);
        case 3:
            return type + " " + std::to_string(v.lVal);
        case 4:
            return type + " " + NumberText(v.fltVal);
        case 5:
        case 7:  // VT_DATE: days since 30 December 1899
            return type + " " + NumberText(v.dblVal);
        case 6:
            return type + " " + CurrencyText(v.llVal);
        case 8:
            return type + " " + Quoted(v.bstrVal);
        case 9:   // VT_DISPATCH
        case 13:  // VT_UNKNOWN: an object's address is no part of the text
            return type + (v.punkVal ? " <object>" : " null");
        case 10:
            return type + " " + HexText(static_cast<unsigned>(v.scode));
        case 11:
            return type + " " + std::to_string(v.boolVal);
        case 16:
            return type + " " + std::to_string(static_cast<signed char>(v.cVal));
        case 17:
            return type + " " + std::to_string(v.bVal);
        case 18:
            return type + " " + std::to_string(v.uiVal);
        case 19:
            return type + " " + std::to_string(v.ulVal);
        case 20:
            return type + " " + std::to_string(v.llVal);
        case 21:
            return type + " " + std::to_string(v.ullVal);
        case 22:
            return type + " " + std::to_string(v.intVal);
        case 23:
            return type + " " + std::to_string(v.uintVal);
        default:
            return type + " <unrendered>";
    }
}

std::string TypeDescText(ITypeInfo* owner, const TYPEDESC& desc) {
    switch (desc.vt & 0x0FFF) {
        case 26:  // VT_PTR
        case 27:  // VT_SAFEARRAY
            if (desc.lptdesc == nullptr)
                return VarTypeText(desc.vt) + "(<null>)";
            return VarTypeText(desc.vt) + "(" + TypeDescText(owner, *desc.lptdesc) + ")";
        case 28:
            return CArrayText(owner, desc.lpadesc);
        case 29:
            return UserDefinedText(owner, desc.hreftype);
        default:
            return VarTypeText(desc.vt);
    }
}

std::string QualifiedName(ITypeInfo* info) {
    Bstr name;
    HRESULT hr = info->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr);
    std::string own = SUCCEEDED(hr) ? Utf8(name.Get(), SysStringLen(name.Get()))
                                    : "<GetDocumentation " + HresultText(hr) + ">";
    CComPtr<ITypeLib> lib;
    UINT index = 0;
    hr = info->GetContainingTypeLib(&lib, &index);
    if (FAILED(hr))
        return "<GetContainingTypeLib " + HresultText(hr) + ">." + own;
    Bstr lib_name;
    hr = lib->GetDocumentation(-1, lib_name.Out(), nullptr, nullptr, nullptr);
    if (FAILED(hr))
        return "<GetDocumentation " + HresultText(hr) + ">." + own;
    return Utf8(lib_name.Get(), SysStringLen(lib_name.Get())) + "." + own;
}

}  // namespace tlbdump
