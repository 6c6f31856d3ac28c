#include "platform/windows/typelib_writer.h"

#include <vector>

namespace comrt {
namespace {

std::wstring Wide(std::string_view text) {
    return std::wstring(text.begin(), text.end());  // names and help texts are ASCII
}

// The element description of one parameter, owning what it points to.
struct Param {
    TYPEDESC pointee{};
    PARAMDESCEX default_value{};
    ELEMDESC elem{};
};

class Writer {
  public:
    explicit Writer(std::string& step) : m_step(step) {}

    HRESULT Check(HRESULT hr, const char* step) {
        if (FAILED(hr))
            m_step = step;
        return hr;
    }

    HRESULT Enum(ICreateTypeLib2* lib, const EnumDesc& desc) {
        CComPtr<ICreateTypeInfo> info;
        HRESULT hr = Check(
            lib->CreateTypeInfo(const_cast<LPOLESTR>(Wide(desc.name).c_str()), TKIND_ENUM, &info),
            "CreateTypeInfo (enum)");
        if (SUCCEEDED(hr))
            hr = Check(info->SetGuid(desc.guid), "SetGuid (enum)");
        if (SUCCEEDED(hr) && !desc.help.empty())
            hr = info->SetDocString(const_cast<LPOLESTR>(Wide(desc.help).c_str()));
        for (UINT i = 0; SUCCEEDED(hr) && i < desc.constants.size(); ++i) {
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_I4;
            value.lVal = desc.constants[i].value;
            VARDESC var{};
            var.memid = static_cast<MEMBERID>(0x40000000 + i);
            var.lpvarValue = &value;
            var.elemdescVar.tdesc.vt = VT_I4;
            var.varkind = VAR_CONST;
            hr = Check(info->AddVarDesc(i, &var), "AddVarDesc");
            if (SUCCEEDED(hr))
                hr = Check(
                    info->SetVarName(i, const_cast<LPOLESTR>(Wide(desc.constants[i].name).c_str())),
                    "SetVarName");
        }
        return SUCCEEDED(hr) ? Check(info->LayOut(), "LayOut (enum)") : hr;
    }

    HRESULT Function(ICreateTypeInfo* info, UINT index, const FuncDesc& desc) {
        std::vector<Param> params(desc.params.size());
        std::vector<ELEMDESC> elems;
        for (std::size_t i = 0; i < params.size(); ++i) {
            const ParamDesc& p = desc.params[i];
            Param& param = params[i];
            if (p.by_pointer) {
                param.pointee.vt = p.vt;
                param.elem.tdesc.vt = VT_PTR;
                param.elem.tdesc.lptdesc = &param.pointee;
            } else {
                param.elem.tdesc.vt = p.vt;
            }
            param.elem.paramdesc.wParamFlags = p.flags;
            if (p.flags & PARAMFLAG_FHASDEFAULT) {
                param.default_value.cBytes = sizeof(PARAMDESCEX);
                VariantInit(&param.default_value.varDefaultValue);
                param.default_value.varDefaultValue.vt = p.vt;
                param.default_value.varDefaultValue.llVal = p.default_value;
                param.elem.paramdesc.pparamdescex = &param.default_value;
            }
            elems.push_back(param.elem);
        }
        FUNCDESC func{};
        func.memid = desc.dispid;
        func.lprgelemdescParam = elems.data();
        func.funckind = FUNC_PUREVIRTUAL;
        func.invkind = INVOKE_FUNC;
        func.callconv = CC_STDCALL;
        func.cParams = static_cast<SHORT>(elems.size());
        func.oVft = static_cast<SHORT>((vtable_slot_of_first_method + index) * sizeof(void*));
        func.elemdescFunc.tdesc.vt = VT_HRESULT;
        HRESULT hr = Check(info->AddFuncDesc(index, &func), "AddFuncDesc");
        std::vector<std::wstring> names{Wide(desc.name)};
        for (const ParamDesc& p : desc.params)
            names.push_back(Wide(p.name));
        std::vector<LPOLESTR> pointers;
        for (std::wstring& name : names)
            pointers.push_back(name.data());
        if (SUCCEEDED(hr))
            hr = Check(info->SetFuncAndParamNames(index, pointers.data(),
                                                  static_cast<UINT>(pointers.size())),
                       "SetFuncAndParamNames");
        if (SUCCEEDED(hr) && !desc.help.empty())
            hr = Check(info->SetFuncDocString(index, const_cast<LPOLESTR>(Wide(desc.help).c_str())),
                       "SetFuncDocString");
        return hr;
    }

    HRESULT Interface(ICreateTypeLib2* lib, const InterfaceDesc& desc, ITypeInfo** created) {
        CComPtr<ICreateTypeInfo> info;
        HRESULT hr = Check(lib->CreateTypeInfo(const_cast<LPOLESTR>(Wide(desc.name).c_str()),
                                               TKIND_INTERFACE, &info),
                           "CreateTypeInfo (interface)");
        if (SUCCEEDED(hr))
            hr = Check(info->SetGuid(desc.iid), "SetGuid (interface)");
        if (SUCCEEDED(hr) && !desc.help.empty())
            hr = info->SetDocString(const_cast<LPOLESTR>(Wide(desc.help).c_str()));
        // A dual interface derives from IDispatch, whose description is stdole2's.
        CComPtr<ITypeLib> stdole;
        CComPtr<ITypeInfo> dispatch;
        HREFTYPE base = 0;
        if (SUCCEEDED(hr))
            hr = Check(LoadTypeLib(L"stdole2.tlb", &stdole), "LoadTypeLib (stdole2)");
        if (SUCCEEDED(hr))
            hr = Check(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch), "IDispatch");
        if (SUCCEEDED(hr))
            hr = Check(info->AddRefTypeInfo(dispatch, &base), "AddRefTypeInfo (IDispatch)");
        if (SUCCEEDED(hr))
            hr = Check(info->AddImplType(0, base), "AddImplType (IDispatch)");
        UINT flags = 0;
        if (desc.dual)
            flags |= TYPEFLAG_FDUAL;
        if (desc.oleautomation)
            flags |= TYPEFLAG_FOLEAUTOMATION;
        if (desc.nonextensible)
            flags |= TYPEFLAG_FNONEXTENSIBLE;
        if (SUCCEEDED(hr))
            hr = Check(info->SetTypeFlags(flags), "SetTypeFlags (interface)");
        for (UINT i = 0; SUCCEEDED(hr) && i < desc.funcs.size(); ++i)
            hr = Function(info, i, desc.funcs[i]);
        if (SUCCEEDED(hr))
            hr = Check(info->LayOut(), "LayOut (interface)");
        if (SUCCEEDED(hr))
            hr = Check(info->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(created)),
                       "ITypeInfo (interface)");
        return hr;
    }

    HRESULT CoClass(ICreateTypeLib2* lib, const CoClassDesc& desc, ITypeInfo* interface_info) {
        CComPtr<ICreateTypeInfo> info;
        HRESULT hr = Check(lib->CreateTypeInfo(const_cast<LPOLESTR>(Wide(desc.name).c_str()),
                                               TKIND_COCLASS, &info),
                           "CreateTypeInfo (coclass)");
        if (SUCCEEDED(hr))
            hr = Check(info->SetGuid(desc.clsid), "SetGuid (coclass)");
        if (SUCCEEDED(hr) && !desc.help.empty())
            hr = info->SetDocString(const_cast<LPOLESTR>(Wide(desc.help).c_str()));
        if (SUCCEEDED(hr) && desc.creatable)
            hr = Check(info->SetTypeFlags(TYPEFLAG_FCANCREATE), "SetTypeFlags (coclass)");
        HREFTYPE ref = 0;
        if (SUCCEEDED(hr))
            hr = Check(info->AddRefTypeInfo(interface_info, &ref), "AddRefTypeInfo (coclass)");
        if (SUCCEEDED(hr))
            hr = Check(info->AddImplType(0, ref), "AddImplType (coclass)");
        if (SUCCEEDED(hr))
            hr = Check(info->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT), "SetImplTypeFlags");
        return SUCCEEDED(hr) ? Check(info->LayOut(), "LayOut (coclass)") : hr;
    }

  private:
    std::string& m_step;
};

}  // namespace

HRESULT write_typelib_file(const TypeLibDesc& desc, const std::wstring& path, std::string& step) {
    Writer writer(step);
    CComPtr<ICreateTypeLib2> lib;
    HRESULT hr = writer.Check(CreateTypeLib2(desc.syskind, path.c_str(), &lib), "CreateTypeLib2");
    if (SUCCEEDED(hr))
        hr = writer.Check(lib->SetName(const_cast<LPOLESTR>(Wide(desc.name).c_str())), "SetName");
    if (SUCCEEDED(hr))
        hr = writer.Check(lib->SetGuid(desc.libid), "SetGuid");
    if (SUCCEEDED(hr))
        hr = writer.Check(lib->SetVersion(desc.major_version, desc.minor_version), "SetVersion");
    if (SUCCEEDED(hr))
        hr = writer.Check(lib->SetLcid(desc.lcid), "SetLcid");
    if (SUCCEEDED(hr) && !desc.help.empty())
        hr = lib->SetDocString(const_cast<LPOLESTR>(Wide(desc.help).c_str()));
    for (const EnumDesc& e : desc.enums)
        if (SUCCEEDED(hr))
            hr = writer.Enum(lib, e);
    std::vector<CComPtr<ITypeInfo>> interfaces(desc.interfaces.size());
    for (std::size_t i = 0; SUCCEEDED(hr) && i < desc.interfaces.size(); ++i)
        hr = writer.Interface(lib, desc.interfaces[i], &interfaces[i]);
    for (const CoClassDesc& c : desc.coclasses) {
        const std::size_t index =
            static_cast<std::size_t>(c.default_interface - desc.interfaces.data());
        if (SUCCEEDED(hr))
            hr = writer.CoClass(lib, c, interfaces[index]);
    }
    if (SUCCEEDED(hr))
        hr = writer.Check(lib->SaveAllChanges(), "SaveAllChanges");
    return hr;
}

}  // namespace comrt
