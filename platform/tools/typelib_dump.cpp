#include "platform/tools/typelib_dump.h"

#include <vector>

#include "platform/tools/ole_holders.h"
#include "platform/tools/type_text.h"

namespace tlbdump {
namespace {

std::string Text(const Bstr& text) {
    return text.Get() ? Utf8(text.Get(), SysStringLen(text.Get())) : std::string();
}

std::string Dec(long long value) {
    return std::to_string(value);
}
std::string MemberIdText(MEMBERID memid) {
    return HexText(static_cast<std::uint32_t>(memid));
}

class Dumper {
  public:
    explicit Dumper(std::string& out) : out_(out) {}

    void Library(ITypeLib* lib);

  private:
    void Line(const std::string& indent, const std::string& text) { out_ += indent + text + "\n"; }
    void Documentation(const std::string& indent, ITypeInfo* info, MEMBERID memid);
    void TypeInfo(const std::string& indent, ITypeLib* lib, ITypeInfo* info, bool dual_view);
    void ImplTypes(const std::string& indent, ITypeInfo* info, const TYPEATTR& attr);
    void Function(const std::string& indent, ITypeInfo* info, UINT index);
    void Variable(const std::string& indent, ITypeInfo* info, UINT index);
    void DualView(const std::string& indent, ITypeLib* lib, ITypeInfo* info);

    std::string& out_;
};

void Dumper::Library(ITypeLib* lib) {
    Bstr name, doc, help_file;
    DWORD help_context = 0;
    HRESULT hr = lib->GetDocumentation(-1, name.Out(), doc.Out(), &help_context, help_file.Out());
    if (FAILED(hr)) {
        Line("", "library <GetDocumentation " + HresultText(hr) + ">");
    } else {
        Line("", "library " + Text(name));
        Line("  ", "doc " + Quoted(doc.Get()));
        Line("  ", "helpcontext " + Dec(help_context));
        Line("  ", "helpfile " + Quoted(help_file.Get()));
    }
    TLIBATTR* raw = nullptr;
    hr = lib->GetLibAttr(&raw);
    LibAttrPtr attr(SUCCEEDED(hr) ? raw : nullptr, LibAttrRelease{lib});
    if (!attr) {
        Line("  ", "<GetLibAttr " + HresultText(hr) + ">");
    } else {
        Line("  ", "libid " + GuidText(attr->guid));
        Line("  ", "version " + Dec(attr->wMajorVerNum) + "." + Dec(attr->wMinorVerNum));
        Line("  ", "lcid " + HexText(attr->lcid));
        Line("  ", "syskind " + SysKindText(attr->syskind));
        Line("  ", "flags " + LibFlagsText(attr->wLibFlags));
    }
    UINT count = lib->GetTypeInfoCount();
    Line("  ", "types " + Dec(count));
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind = TKIND_MAX;
        hr = lib->GetTypeInfoType(i, &kind);
        Line("", "type " + Dec(i) + " " +
                     (SUCCEEDED(hr) ? TypeKindText(kind)
                                    : "<GetTypeInfoType " + HresultText(hr) + ">"));
        CComPtr<ITypeInfo> info;
        hr = lib->GetTypeInfo(i, &info);
        if (FAILED(hr)) {
            Line("  ", "<GetTypeInfo " + HresultText(hr) + ">");
            continue;
        }
        TypeInfo("  ", lib, info, false);
    }
}

void Dumper::Documentation(const std::string& indent, ITypeInfo* info, MEMBERID memid) {
    Bstr name, doc;
    DWORD help_context = 0;
    HRESULT hr = info->GetDocumentation(memid, name.Out(), doc.Out(), &help_context, nullptr);
    if (FAILED(hr)) {
        Line(indent, "<GetDocumentation " + HresultText(hr) + ">");
        return;
    }
    Line(indent, "name " + Text(name));
    Line(indent, "doc " + Quoted(doc.Get()));
    Line(indent, "helpcontext " + Dec(help_context));
}

void Dumper::TypeInfo(const std::string& indent, ITypeLib* lib, ITypeInfo* info, bool dual_view) {
    Documentation(indent, info, MEMBERID_NIL);
    CComPtr<ITypeLib> container;
    UINT index = 0;
    HRESULT hr = info->GetContainingTypeLib(&container, &index);
    Line(indent, "index " + (SUCCEEDED(hr) ? Dec(index)
                                           : "<GetContainingTypeLib " + HresultText(hr) + ">"));
    TypeAttrPtr attr = GetTypeAttr(info, &hr);
    if (!attr) {
        Line(indent, "<GetTypeAttr " + HresultText(hr) + ">");
        return;
    }
    Line(indent, "typekind " + TypeKindText(attr->typekind));
    Line(indent, "guid " + GuidText(attr->guid));
    if (!dual_view && !IsEqualGUID(attr->guid, GUID_NULL)) {
        // A dual interface's two views share a GUID: the library answers with its first.
        CComPtr<ITypeInfo> by_guid;
        hr = lib->GetTypeInfoOfGuid(attr->guid, &by_guid);
        Line(indent, "by guid " + (SUCCEEDED(hr) ? QualifiedName(by_guid)
                                                 : "<GetTypeInfoOfGuid " + HresultText(hr) + ">"));
    }
    Line(indent, "version " + Dec(attr->wMajorVerNum) + "." + Dec(attr->wMinorVerNum));
    Line(indent, "flags " + TypeFlagsText(attr->wTypeFlags));
    Line(indent, "cFuncs " + Dec(attr->cFuncs) + " cVars " + Dec(attr->cVars) + " cImplTypes " +
                     Dec(attr->cImplTypes));
    Line(indent, "cbSizeVft " + Dec(attr->cbSizeVft) + " cbSizeInstance " +
                     Dec(attr->cbSizeInstance) + " cbAlignment " + Dec(attr->cbAlignment));
    if (attr->typekind == TKIND_ALIAS)
        Line(indent, "alias " + TypeDescText(info, attr->tdescAlias));
    ImplTypes(indent, info, *attr);
    for (UINT i = 0; i < attr->cFuncs; ++i)
        Function(indent, info, i);
    for (UINT i = 0; i < attr->cVars; ++i)
        Variable(indent, info, i);
    if (!dual_view && attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & 0x40) != 0)
        DualView(indent, lib, info);  // TYPEFLAG_FDUAL
}

void Dumper::ImplTypes(const std::string& indent, ITypeInfo* info, const TYPEATTR& attr) {
    for (UINT i = 0; i < attr.cImplTypes; ++i) {
        std::string text = "impl " + Dec(i) + " ";
        HREFTYPE ref = 0;
        HRESULT hr = info->GetRefTypeOfImplType(i, &ref);
        CComPtr<ITypeInfo> target;
        if (SUCCEEDED(hr))
            hr = info->GetRefTypeInfo(ref, &target);
        if (FAILED(hr)) {
            text += "<" + HresultText(hr) + ">";
        } else {
            TypeAttrPtr target_attr = GetTypeAttr(target, &hr);
            text += QualifiedName(target) + " " +
                    (target_attr ? TypeKindText(target_attr->typekind)
                                 : "<GetTypeAttr " + HresultText(hr) + ">");
        }
        INT flags = 0;
        hr = info->GetImplTypeFlags(i, &flags);
        text += " flags " + (SUCCEEDED(hr) ? ImplTypeFlagsText(static_cast<unsigned>(flags))
                                           : "<GetImplTypeFlags " + HresultText(hr) + ">");
        Line(indent, text);
    }
}

void Dumper::Function(const std::string& indent, ITypeInfo* info, UINT index) {
    FUNCDESC* raw = nullptr;
    HRESULT hr = info->GetFuncDesc(index, &raw);
    FuncDescPtr desc(SUCCEEDED(hr) ? raw : nullptr, FuncDescRelease{info});
    if (!desc) {
        Line(indent, "func " + Dec(index) + " <GetFuncDesc " + HresultText(hr) + ">");
        return;
    }
    const std::string inner = indent + "  ";
    Line(indent, "func " + Dec(index) + " memid " + MemberIdText(desc->memid));
    Documentation(inner, info, desc->memid);
    Line(inner, InvokeKindText(desc->invkind) + " " + FuncKindText(desc->funckind) + " " +
                    CallConvText(desc->callconv) + " oVft " + Dec(desc->oVft));
    Line(inner, "flags " + FuncFlagsText(desc->wFuncFlags));
    Line(inner, "cParams " + Dec(desc->cParams) + " cParamsOpt " + Dec(desc->cParamsOpt) +
                    " cScodes " + Dec(desc->cScodes));
    Line(inner, "returns " + TypeDescText(info, desc->elemdescFunc.tdesc));

    const UINT wanted = static_cast<UINT>(desc->cParams) + 1;
    std::vector<Bstr> names(wanted);
    std::vector<BSTR> raw_names(wanted, nullptr);
    UINT got = 0;
    hr = info->GetNames(desc->memid, raw_names.data(), wanted, &got);
    for (UINT i = 0; i < got && i < wanted; ++i)
        *names[i].Out() = raw_names[i];
    if (FAILED(hr)) {
        Line(inner, "names <GetNames " + HresultText(hr) + ">");
    } else {
        std::string list = "names " + Dec(got);
        for (UINT i = 0; i < got && i < wanted; ++i)
            list += " " + Text(names[i]);
        Line(inner, list);
    }
    for (SHORT i = 0; i < desc->cParams; ++i) {
        const ELEMDESC& param = desc->lprgelemdescParam[i];
        const UINT slot = static_cast<UINT>(i) + 1;
        std::string text = "param " + Dec(i) + " " + (slot < got ? Text(names[slot]) : "<unnamed>");
        text += " " + TypeDescText(info, param.tdesc);
        text += " flags " + ParamFlagsText(param.paramdesc.wParamFlags);
        if ((param.paramdesc.wParamFlags & 0x20) != 0) {  // PARAMFLAG_FHASDEFAULT
            text += " default ";
            text += param.paramdesc.pparamdescex
                        ? VariantText(param.paramdesc.pparamdescex->varDefaultValue)
                        : "<none>";
        }
        Line(inner, text);
    }
}

void Dumper::Variable(const std::string& indent, ITypeInfo* info, UINT index) {
    VARDESC* raw = nullptr;
    HRESULT hr = info->GetVarDesc(index, &raw);
    VarDescPtr desc(SUCCEEDED(hr) ? raw : nullptr, VarDescRelease{info});
    if (!desc) {
        Line(indent, "var " + Dec(index) + " <GetVarDesc " + HresultText(hr) + ">");
        return;
    }
    const std::string inner = indent + "  ";
    Line(indent, "var " + Dec(index) + " memid " + MemberIdText(desc->memid));
    Documentation(inner, info, desc->memid);
    Line(inner, VarKindText(desc->varkind) + " " + TypeDescText(info, desc->elemdescVar.tdesc));
    Line(inner, "flags " + VarFlagsText(desc->wVarFlags));
    if (desc->varkind == VAR_CONST) {
        Line(inner, "value " + (desc->lpvarValue ? VariantText(*desc->lpvarValue) : "<none>"));
    } else if (desc->varkind == VAR_PERINSTANCE) {
        Line(inner, "oInst " + Dec(desc->oInst));
    }
}

// A dual interface is listed as its dispatch view; the vtable view is its implemented type -1.
void Dumper::DualView(const std::string& indent, ITypeLib* lib, ITypeInfo* info) {
    HREFTYPE ref = 0;
    HRESULT hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    CComPtr<ITypeInfo> vtable_view;
    if (SUCCEEDED(hr))
        hr = info->GetRefTypeInfo(ref, &vtable_view);
    if (FAILED(hr)) {
        Line(indent, "vtable view <" + HresultText(hr) + ">");
        return;
    }
    Line(indent, "vtable view");
    TypeInfo(indent + "  ", lib, vtable_view, true);
}

}  // namespace

std::string DumpTypeLib(ITypeLib* lib) {
    std::string out;
    Dumper(out).Library(lib);
    return out;
}

}  // namespace tlbdump
