#include "platform/ole/marshal.h"

#include <cstring>
#include <map>
#include <mutex>

#include "platform/base/bstr.h"
#include "platform/oleaut/bstr_t.h"
#include "platform/oleaut/error_info.h"
#include "platform/oleaut/ffi_types.h"
#include "platform/registry/registry.h"

namespace comrt {
namespace {

bool marshallable(VARTYPE vt) {
    return vt == VT_BSTR || wire_value_size(vt) != 0;
}

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

HRESULT load_interface_info(REFIID iid, CComPtr<ITypeInfo>& dispatch_view,
                            CComPtr<ITypeInfo>& vtable_view) {
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
    dispatch_view->ReleaseTypeAttr(attr);
    if (kind == TKIND_INTERFACE) {
        vtable_view = dispatch_view;
        return S_OK;
    }
    // A dual interface's dispatch view refers to its vtable view as implemented type -1.
    HREFTYPE ref = 0;
    hr = dispatch_view->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (FAILED(hr))
        return hr;
    return dispatch_view->GetRefTypeInfo(ref, &vtable_view);
}

HRESULT describe(ITypeInfo* info, WireInterface& out) {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        hr = info->GetFuncDesc(i, &desc);
        if (FAILED(hr))
            return hr;
        WireMethod method{static_cast<USHORT>(desc->oVft / static_cast<SHORT>(sizeof(void*))), {}};
        bool ok = desc->elemdescFunc.tdesc.vt == VT_HRESULT;
        for (SHORT p = 0; p < desc->cParams && ok; ++p) {
            const ELEMDESC& elem = desc->lprgelemdescParam[p];
            WireParam param{elem.tdesc.vt, false, true, false};
            if (param.vt == VT_PTR) {
                param.by_ref = true;
                param.vt = elem.tdesc.lptdesc != nullptr ? elem.tdesc.lptdesc->vt
                                                         : static_cast<VARTYPE>(VT_EMPTY);
                USHORT flags = elem.paramdesc.wParamFlags;
                param.out = (flags & PARAMFLAG_FOUT) != 0;
                param.in = (flags & PARAMFLAG_FIN) != 0 || !param.out;
            }
            ok = marshallable(param.vt);
            method.params.push_back(param);
        }
        info->ReleaseFuncDesc(desc);
        if (!ok)
            return DISP_E_BADVARTYPE;
        if (method.slot >= vtable_slot_of_first_method)
            out.methods.push_back(std::move(method));
    }
    return S_OK;
}

std::mutex g_cache_lock;
std::map<IID, std::shared_ptr<const WireInterface>> g_cache;

// Storage for one argument on the server side while the call runs.
struct ArgumentSlot {
    VARIANTARG arg;
    union {
        LONGLONG value;
        BSTR text;
    } storage;
};

void read_value(wire::Reader& in, VARTYPE vt, void* target) {
    if (vt == VT_BSTR) {
        auto text = in.get_text();
        BSTR b = nullptr;
        if (text) {
            b = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
            if (b == nullptr)
                throw std::bad_alloc();
        }
        std::memcpy(target, &b, sizeof b);
        return;
    }
    std::size_t size = wire_value_size(vt);
    unsigned char bytes[8] = {};
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = in.get<unsigned char>();
    std::memcpy(target, bytes, size);
}

void write_value(wire::Writer& out, VARTYPE vt, const void* source) {
    if (vt == VT_BSTR) {
        BSTR b;
        std::memcpy(&b, source, sizeof b);
        out.put_text(b, SysStringLen(b), b != nullptr);
        return;
    }
    out.put_bytes(source, wire_value_size(vt));
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
    std::lock_guard guard(g_cache_lock);
    auto it = g_cache.find(iid);
    if (it != g_cache.end()) {
        out = it->second;
        return S_OK;
    }
    auto built = std::make_shared<WireInterface>();
    built->iid = iid;
    HRESULT hr = load_interface_info(iid, built->dispatch_info, built->vtable_info);
    if (FAILED(hr))
        return hr;
    hr = describe(built->vtable_info, *built);
    if (FAILED(hr))
        return hr;
    g_cache[iid] = built;
    out = built;
    return S_OK;
}

void write_error_info(wire::Writer& out, IErrorInfo* info) {
    out.put<std::uint8_t>(info != nullptr ? 1 : 0);
    if (info == nullptr)
        return;
    GUID guid{};
    info->GetGUID(&guid);
    out.put_guid(guid);
    _bstr_t source, description, help_file;
    info->GetSource(source.GetAddress());
    info->GetDescription(description.GetAddress());
    info->GetHelpFile(help_file.GetAddress());
    DWORD context = 0;
    info->GetHelpContext(&context);
    for (const _bstr_t* text : {&source, &description, &help_file})
        out.put_text(text->GetBSTR(), text->length(), text->GetBSTR() != nullptr);
    out.put<DWORD>(context);
}

CComPtr<IErrorInfo> read_error_info(wire::Reader& in) {
    CComPtr<IErrorInfo> result;
    if (in.get<std::uint8_t>() == 0)
        return result;
    GUID guid = in.get_guid();
    auto source = in.get_text();
    auto description = in.get_text();
    auto help_file = in.get_text();
    auto context = in.get<DWORD>();
    CComPtr<ICreateErrorInfo> builder;
    if (FAILED(CreateErrorInfo(&builder)))
        return result;
    builder->SetGUID(guid);
    if (source)
        builder->SetSource(source->data());
    if (description)
        builder->SetDescription(description->data());
    if (help_file)
        builder->SetHelpFile(help_file->data());
    builder->SetHelpContext(context);
    builder.QueryInterface(&result);
    return result;
}

void serve_call(void* itf, const WireMethod& method, wire::Reader& in, wire::Writer& reply) {
    const std::size_t n = method.params.size();
    std::vector<ArgumentSlot> slots(n);
    std::vector<VARTYPE> types(n);
    std::vector<VARIANTARG*> args(n);
    // Frees what the stub allocated, whatever happens to the call.
    struct Cleanup {
        std::vector<ArgumentSlot>& slots;
        const WireMethod& method;
        ~Cleanup() {
            for (std::size_t i = 0; i < slots.size(); ++i)
                if (method.params[i].vt == VT_BSTR)
                    SysFreeString(method.params[i].by_ref ? slots[i].storage.text
                                                          : slots[i].arg.bstrVal);
        }
    } cleanup{slots, method};
    for (std::size_t i = 0; i < n; ++i) {
        const WireParam& p = method.params[i];
        ArgumentSlot& slot = slots[i];
        VariantInit(&slot.arg);
        slot.storage.value = 0;
        if (!p.by_ref) {
            slot.arg.vt = p.vt;
            read_value(in, p.vt, &slot.arg.llVal);
        } else {
            slot.arg.vt = static_cast<VARTYPE>(VT_BYREF | p.vt);
            bool present = in.get<std::uint8_t>() != 0;
            slot.arg.byref = present ? &slot.storage : nullptr;
            if (present && p.in)
                read_value(in, p.vt, &slot.storage);
        }
        types[i] = slot.arg.vt;
        args[i] = &slot.arg;
    }
    in.expect_end();

    SetErrorInfo(0, nullptr);  // only what this call sets travels back
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = DispCallFunc(itf, method.slot * sizeof(void*), CC_STDCALL, VT_HRESULT,
                              static_cast<UINT>(n), types.data(), args.data(), &result);
    if (SUCCEEDED(hr))
        hr = result.scode;

    reply.put<HRESULT>(hr);
    for (std::size_t i = 0; i < n; ++i) {
        const WireParam& p = method.params[i];
        if (p.by_ref && p.out && slots[i].arg.byref != nullptr)
            write_value(reply, p.vt, &slots[i].storage);
    }
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || SUCCEEDED(hr))
        info.Release();
    write_error_info(reply, info);
}

}  // namespace comrt
