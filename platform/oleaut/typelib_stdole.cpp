#include "platform/oleaut/typelib_stdole.h"

#include <new>

#include "platform/base/com_ptr.h"
#include "platform/oleaut/type_lib_object.h"
#include "platform/oleaut/typelib_registration.h"

namespace comrt {
namespace {

enum StdoleType : std::uint32_t {
    guid_record,
    dispparams_record,
    excepinfo_record,
    iunknown,
    idispatch
};

TlbType base(VARTYPE vt, std::vector<VARTYPE> indirections = {}) {
    return {std::move(indirections), vt, {}, {}};
}

TlbType pointer_to(StdoleType record) {
    return {{VT_PTR}, VT_USERDEFINED, {false, record}, {}};
}

TlbParam in(const char* name, TlbType type) {
    return {name, std::move(type), PARAMFLAG_FIN, {}};
}

TlbParam out(const char* name, TlbType type) {
    return {name, std::move(type), PARAMFLAG_FOUT, {}};
}

TlbFunc method(const char* name, MEMBERID memid, SHORT slot, TlbType result,
               std::vector<TlbParam> params) {
    TlbFunc f;
    f.name = name;
    f.memid = memid;
    f.funckind = FUNC_PUREVIRTUAL;
    f.flags = FUNCFLAG_FRESTRICTED;
    f.vtable_offset = static_cast<SHORT>(slot * sizeof(void*));
    f.result = std::move(result);
    f.params = std::move(params);
    return f;
}

TlbTypeInfo record(const char* name, ULONG size, WORD alignment) {
    TlbTypeInfo t;
    t.kind = TKIND_RECORD;
    t.name = name;
    t.size = size;
    t.alignment = alignment;
    return t;
}

TlbTypeInfo interface_info(const char* name, const GUID& iid, WORD slots) {
    TlbTypeInfo t;
    t.kind = TKIND_INTERFACE;
    t.name = name;
    t.guid = iid;
    t.flags = TYPEFLAG_FHIDDEN;
    t.size = sizeof(void*);
    t.alignment = sizeof(void*);
    t.vtable_size = static_cast<WORD>(slots * sizeof(void*));
    return t;
}

TypeLibModel make_stdole_model() {
    TypeLibModel m;
    m.name = "stdole";
    m.libid = LIBID_stdole;
    m.help = "OLE Automation";
    m.major_version = 2;
    m.lcid = LOCALE_NEUTRAL;
    m.syskind = SYS_WIN64;
    m.types.push_back(record("GUID", 16, 4));
    m.types.push_back(record("DISPPARAMS", 24, 8));
    m.types.push_back(record("EXCEPINFO", 64, 8));

    const TlbType hresult = base(VT_HRESULT);
    const TlbType void_out = base(VT_VOID, {VT_PTR, VT_PTR});
    TlbTypeInfo unknown = interface_info("IUnknown", IID_IUnknown, 3);
    unknown.funcs.push_back(method("QueryInterface", 0x60000000, 0, hresult,
                                   {in("riid", pointer_to(guid_record)), out("ppvObj", void_out)}));
    unknown.funcs.push_back(method("AddRef", 0x60000001, 1, base(VT_UI4), {}));
    unknown.funcs.push_back(method("Release", 0x60000002, 2, base(VT_UI4), {}));
    m.types.push_back(std::move(unknown));

    TlbTypeInfo dispatch = interface_info("IDispatch", IID_IDispatch, 7);
    dispatch.flags = TYPEFLAG_FRESTRICTED;
    dispatch.impls.push_back({{false, iunknown}, 0});
    dispatch.funcs.push_back(method("GetTypeInfoCount", 0x60010000, 3, hresult,
                                    {out("pctinfo", base(VT_UINT, {VT_PTR}))}));
    dispatch.funcs.push_back(
        method("GetTypeInfo", 0x60010001, 4, hresult,
               {in("itinfo", base(VT_UINT)), in("lcid", base(VT_UI4)), out("pptinfo", void_out)}));
    dispatch.funcs.push_back(
        method("GetIDsOfNames", 0x60010002, 5, hresult,
               {in("riid", pointer_to(guid_record)), in("rgszNames", base(VT_I1, {VT_PTR, VT_PTR})),
                in("cNames", base(VT_UINT)), in("lcid", base(VT_UI4)),
                out("rgdispid", base(VT_I4, {VT_PTR}))}));
    dispatch.funcs.push_back(
        method("Invoke", 0x60010003, 6, hresult,
               {in("dispidMember", base(VT_I4)), in("riid", pointer_to(guid_record)),
                in("lcid", base(VT_UI4)), in("wFlags", base(VT_UI2)),
                in("pdispparams", pointer_to(dispparams_record)),
                out("pvarResult", base(VT_VARIANT, {VT_PTR})),
                out("pexcepinfo", pointer_to(excepinfo_record)),
                out("puArgErr", base(VT_UINT, {VT_PTR}))}));
    m.types.push_back(std::move(dispatch));
    return m;
}

}  // namespace

const TypeLibModel& stdole_model() {
    static const TypeLibModel model = make_stdole_model();
    return model;
}

HRESULT stdole_type_lib(ITypeLib** out) {
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    try {
        static const CComPtr<ITypeLib> lib = [] {
            CComPtr<ITypeLib> made;
            create_type_lib(stdole_model(), &made);
            return made;
        }();
        if (lib == nullptr)
            return E_OUTOFMEMORY;
        return CComPtr<ITypeLib>(lib).CopyTo(out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT imported_type_info(const TlbImport& import, ITypeInfo** out) {
    if (out == nullptr)
        return E_INVALIDARG;
    *out = nullptr;
    CComPtr<ITypeLib> lib;
    HRESULT hr = import.library == LIBID_stdole
                     ? stdole_type_lib(&lib)
                     : LoadRegTypeLib(import.library, import.major_version, import.minor_version,
                                      LOCALE_NEUTRAL, &lib);
    if (FAILED(hr))
        return hr;
    if (import.type_index >= 0)
        return import.library == LIBID_stdole
                   ? TYPE_E_ELEMENTNOTFOUND  // indexes of the real stdole2, not of this one
                   : lib->GetTypeInfo(static_cast<UINT>(import.type_index), out);
    return lib->GetTypeInfoOfGuid(import.type, out);
}

}  // namespace comrt
