#include "platform/ole/wire_interface.h"

#include <cstring>

#include "platform/base/bstr.h"
#include "platform/ole/process_state.h"
#include "platform/oleaut/bstr_t.h"
#include "platform/oleaut/error_info.h"
#include "platform/oleaut/ffi_types.h"
#include "platform/registry/registry.h"

namespace comrt {
namespace {

// "1.0" -> 1, 0
bool parse_version(const std::string& text, WORD& major, WORD& minor) {
    auto dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    try {
        major = static_cast<WORD>(std::stoul(text.substr(0, dot)));
        minor = static_cast<WORD>(std::stoul(text.substr(dot + 1)));
    } catch (...) {
        return false;
    }
    return true;
}

// A type the wire carries: a scalar, a BSTR, a VARIANT (by reference) or an interface.
bool marshallable(const WireParam& p) {
    if (p.vt == VT_BSTR || p.vt == VT_UNKNOWN || wire_value_size(p.vt) != 0)
        return true;
    return p.by_ref && (p.vt == VT_VARIANT || p.vt == wire_guid);
}

HRESULT load_interface_info(REFIID iid, CComPtr<ITypeInfo>& dispatch_view,
                            CComPtr<ITypeInfo>& vtable_view, bool& by_invoke) {
    std::string key = "Interface\\" + guid_to_string(iid) + "\\TypeLib";
    auto libid_text = reg_get_string(HKEY_CLASSES_ROOT, key);
    auto version_text = reg_get_string(HKEY_CLASSES_ROOT, key, "Version");
    if (!libid_text || !version_text)
        return REGDB_E_IIDNOTREG;
    auto libid = guid_from_string(*libid_text);
    WORD major = 0, minor = 0;
    if (!libid || !parse_version(*version_text, major, minor))
        return REGDB_E_IIDNOTREG;
    CComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(*libid, major, minor, LOCALE_NEUTRAL, &library);
    if (FAILED(hr))
        return hr;
    hr = library->GetTypeInfoOfGuid(iid, &dispatch_view);
    if (FAILED(hr))
        return hr;
    TYPEATTR* attr = nullptr;
    hr = dispatch_view->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    TYPEKIND kind = attr->typekind;
    const bool dual = (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    dispatch_view->ReleaseTypeAttr(attr);
    if (kind == TKIND_INTERFACE) {
        vtable_view = dispatch_view;
        return S_OK;
    }
    if (kind == TKIND_DISPATCH && !dual) {
        by_invoke = true;  // a pure dispinterface: it has no vtable beyond IDispatch
        return S_OK;
    }
    // A dual interface's dispatch view refers to its vtable view as implemented type -1.
    HREFTYPE ref = 0;
    hr = dispatch_view->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (FAILED(hr))
        return hr;
    return dispatch_view->GetRefTypeInfo(ref, &vtable_view);
}

// The vtable view of a type the description refers to (a dual's dispatch view turned round).
CComPtr<ITypeInfo> vtable_view_of(CComPtr<ITypeInfo> info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)))
        return {};
    const bool dispatch = attr->typekind == TKIND_DISPATCH;
    info->ReleaseTypeAttr(attr);
    if (!dispatch)
        return info;
    HREFTYPE ref = 0;
    CComPtr<ITypeInfo> vtable;
    if (FAILED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
        FAILED(info->GetRefTypeInfo(ref, &vtable)))
        return {};
    return vtable;
}

// The interface a type names, if it names one: IUnknown*, IDispatch*, or a pointer to an
// interface of a type library.
bool interface_type(ITypeInfo* info, const TYPEDESC& t, IID& iid) {
    if (t.vt == VT_UNKNOWN || t.vt == VT_DISPATCH) {
        iid = t.vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch;
        return true;
    }
    if (t.vt != VT_PTR || t.lptdesc == nullptr || t.lptdesc->vt != VT_USERDEFINED)
        return false;
    CComPtr<ITypeInfo> named;
    if (FAILED(info->GetRefTypeInfo(t.lptdesc->hreftype, &named)))
        return false;
    TYPEATTR* attr = nullptr;
    if (FAILED(named->GetTypeAttr(&attr)))
        return false;
    const bool itf = attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH;
    iid = attr->guid;
    named->ReleaseTypeAttr(attr);
    return itf;
}

// The wire type of a value of type `t`: enumerations are 4-byte integers, aliases what
// they stand for.
VARTYPE value_type(ITypeInfo* info, const TYPEDESC& t) {
    if (t.vt != VT_USERDEFINED)
        return t.vt;
    CComPtr<ITypeInfo> named;
    if (FAILED(info->GetRefTypeInfo(t.hreftype, &named)))
        return VT_EMPTY;
    TYPEATTR* attr = nullptr;
    if (FAILED(named->GetTypeAttr(&attr)))
        return VT_EMPTY;
    VARTYPE vt = VT_EMPTY;
    if (attr->typekind == TKIND_ENUM)
        vt = VT_I4;
    else if (attr->typekind == TKIND_ALIAS && attr->tdescAlias.vt != VT_USERDEFINED)
        vt = attr->tdescAlias.vt;
    named->ReleaseTypeAttr(attr);
    return vt;
}

WireParam describe_param(ITypeInfo* info, const ELEMDESC& elem) {
    WireParam param{VT_EMPTY, false, true, false};
    const TYPEDESC& t = elem.tdesc;
    if (interface_type(info, t, param.iid)) {
        param.vt = VT_UNKNOWN;
        return param;
    }
    if (t.vt != VT_PTR) {
        param.vt = value_type(info, t);
        return param;
    }
    param.by_ref = true;
    USHORT flags = elem.paramdesc.wParamFlags;
    param.out = (flags & PARAMFLAG_FOUT) != 0;
    param.in = (flags & PARAMFLAG_FIN) != 0 || !param.out;
    if (t.lptdesc == nullptr)
        return param;
    if (interface_type(info, *t.lptdesc, param.iid))
        param.vt = VT_UNKNOWN;
    else
        param.vt = value_type(info, *t.lptdesc);
    return param;
}

HRESULT describe(ITypeInfo* info, WireInterface& out, int depth = 0) {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    WORD count = attr->cFuncs;
    WORD bases = attr->cImplTypes;
    info->ReleaseTypeAttr(attr);
    // The slots of the bases come first, from their own type information; IDispatch and
    // IUnknown are the proxy's own.
    if (bases > 0 && depth < 16) {
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> base;
        if (FAILED(info->GetRefTypeOfImplType(0, &ref)) || FAILED(info->GetRefTypeInfo(ref, &base)))
            return TYPE_E_ELEMENTNOTFOUND;
        TYPEATTR* base_attr = nullptr;
        if (FAILED(base->GetTypeAttr(&base_attr)))
            return TYPE_E_ELEMENTNOTFOUND;
        IID base_iid = base_attr->guid;
        base->ReleaseTypeAttr(base_attr);
        if (base_iid != IID_IDispatch && base_iid != IID_IUnknown) {
            CComPtr<ITypeInfo> vtable = vtable_view_of(base);
            if (vtable == nullptr)
                return TYPE_E_ELEMENTNOTFOUND;
            hr = describe(vtable, out, depth + 1);
            if (FAILED(hr))
                return hr;
        }
    }
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        hr = info->GetFuncDesc(i, &desc);
        if (FAILED(hr))
            return hr;
        WireMethod method{static_cast<USHORT>(desc->oVft / static_cast<SHORT>(sizeof(void*))), {}};
        bool ok = desc->elemdescFunc.tdesc.vt == VT_HRESULT;
        for (SHORT p = 0; p < desc->cParams && ok; ++p) {
            WireParam param = describe_param(info, desc->lprgelemdescParam[p]);
            ok = marshallable(param);
            method.params.push_back(param);
        }
        info->ReleaseFuncDesc(desc);
        if (method.slot < vtable_slot_of_first_method)
            continue;
        if (!ok)
            return DISP_E_BADVARTYPE;
        out.methods.push_back(std::move(method));
    }
    return S_OK;
}

}  // namespace

std::size_t wire_value_size(VARTYPE vt) {
    ffi_type* type = ffi_type_of_value(vt);
    return type == nullptr || type == &ffi_type_pointer ? 0 : type->size;
}

const WireMethod* WireInterface::find(USHORT slot) const {
    for (const auto& m : methods)
        if (m.slot == slot)
            return &m;
    return nullptr;
}

HRESULT wire_interface(REFIID iid, std::shared_ptr<const WireInterface>& out) {
    return process_state().wire_interfaces.get(
        iid, out, [&iid](std::shared_ptr<const WireInterface>& made) {
            auto built = std::make_shared<WireInterface>();
            built->iid = iid;
            if (!standard_interface(iid, *built)) {
                HRESULT hr = load_interface_info(iid, built->dispatch_info, built->vtable_info,
                                                 built->by_invoke);
                if (FAILED(hr))
                    return hr;
                if (!built->by_invoke) {
                    hr = describe(built->vtable_info, *built);
                    if (FAILED(hr))
                        return hr;
                }
            }
            made = std::move(built);
            return S_OK;
        });
}

}  // namespace comrt
