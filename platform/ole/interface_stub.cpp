#include "platform/ole/interface_stub.h"

#include <cstring>
#include <vector>

#include "platform/base/bstr.h"
#include "platform/ole/object_reference.h"
#include "platform/ole/wire_interface.h"

namespace comrt {
namespace {

// Arguments beyond this many are no call anyone makes; refusing them bounds the frame.
constexpr std::uint32_t max_arguments = 1024;

void put_bstr(wire::Writer& out, BSTR b) {
    out.put_text(b, SysStringLen(b), b != nullptr);
}

BSTR get_bstr(wire::Reader& in) {
    auto text = in.get_text();
    return text ? SysAllocStringLen(text->data(), static_cast<UINT>(text->size())) : nullptr;
}

// Stores a value that came back into what a by-reference argument points to, replacing
// (and freeing) what was there.
void store_by_ref(VARIANT& arg, VARIANT& fresh) {
    const VARTYPE base = arg.vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        VariantClear(arg.pvarVal);
        std::memcpy(arg.pvarVal, &fresh, sizeof fresh);
        VariantInit(&fresh);
        return;
    }
    if (fresh.vt != base) {
        VariantClear(&fresh);  // the callee cannot change the type of what it was lent
        return;
    }
    std::size_t size = sizeof(void*);
    if (base == VT_BSTR)
        SysFreeString(*arg.pbstrVal);
    else if (base == VT_UNKNOWN || base == VT_DISPATCH) {
        if (auto* old = *static_cast<IUnknown**>(arg.byref))
            old->Release();
    } else
        size = wire_value_size(base);
    std::memcpy(arg.byref, &fresh.llVal, size);
    VariantInit(&fresh);  // its value now belongs to the argument
}

}  // namespace

void encode_invoke(wire::Writer& out, Connection& via, DISPID member, WORD flags, LCID lcid,
                   const DISPPARAMS& params, bool want_result) {
    out.put<DISPID>(member);
    out.put<WORD>(flags);
    out.put<LCID>(lcid);
    out.put<std::uint8_t>(want_result ? 1 : 0);
    out.put<std::uint32_t>(params.cNamedArgs);
    for (UINT i = 0; i < params.cNamedArgs; ++i)
        out.put<DISPID>(params.rgdispidNamedArgs[i]);
    out.put<std::uint32_t>(params.cArgs);
    for (UINT i = 0; i < params.cArgs; ++i)
        write_variant(out, via, params.rgvarg[i]);
}

HRESULT decode_invoke_reply(wire::Reader& in, Connection& via, DISPPARAMS& params, VARIANT* result,
                            EXCEPINFO* excep, UINT* arg_err) {
    HRESULT hr = in.get<HRESULT>();
    if (in.at_end())
        return hr;  // failed before the call ran
    VARIANT fresh;
    if (in.get<std::uint8_t>() != 0) {
        read_variant(in, via, fresh);
        if (result != nullptr) {
            VariantClear(result);
            std::memcpy(result, &fresh, sizeof fresh);
        } else {
            VariantClear(&fresh);
        }
    }
    for (UINT i = 0; i < params.cArgs; ++i) {
        if ((params.rgvarg[i].vt & VT_BYREF) == 0)
            continue;
        read_variant(in, via, fresh);
        store_by_ref(params.rgvarg[i], fresh);
    }
    if (in.get<std::uint8_t>() != 0) {
        EXCEPINFO info{};
        info.wCode = in.get<WORD>();
        info.scode = in.get<SCODE>();
        info.bstrSource = get_bstr(in);
        info.bstrDescription = get_bstr(in);
        info.bstrHelpFile = get_bstr(in);
        info.dwHelpContext = in.get<DWORD>();
        if (excep != nullptr) {
            *excep = info;
        } else {
            SysFreeString(info.bstrSource);
            SysFreeString(info.bstrDescription);
            SysFreeString(info.bstrHelpFile);
        }
    }
    auto bad_arg = in.get<std::uint32_t>();
    if (arg_err != nullptr && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND))
        *arg_err = bad_arg;
    in.expect_end();
    return hr;
}

void serve_invoke(Connection& via, IDispatch* target, wire::Reader& in, wire::Writer& reply) {
    auto member = in.get<DISPID>();
    auto flags = in.get<WORD>();
    auto lcid = in.get<LCID>();
    const bool want_result = in.get<std::uint8_t>() != 0;
    auto named_count = in.get<std::uint32_t>();
    if (named_count > max_arguments)
        throw wire::Malformed();
    std::vector<DISPID> named(named_count);
    for (auto& id : named)
        id = in.get<DISPID>();
    auto count = in.get<std::uint32_t>();
    if (count > max_arguments || named_count > count)
        throw wire::Malformed();
    // The arguments as Invoke sees them, and what the by-reference ones point to.
    std::vector<VARIANT> args(count), held(count);
    struct Cleanup {
        std::vector<VARIANT>& args;
        std::vector<VARIANT>& held;
        ~Cleanup() {
            for (std::size_t i = 0; i < args.size(); ++i) {
                if ((args[i].vt & VT_BYREF) == 0)
                    VariantClear(&args[i]);
                VariantClear(&held[i]);
            }
        }
    } cleanup{args, held};
    for (auto& v : args)
        VariantInit(&v);
    for (auto& v : held)
        VariantInit(&v);
    HRESULT hr = S_OK;
    try {
        for (std::uint32_t i = 0; i < count; ++i) {
            VARTYPE vt = read_variant(in, via, held[i]);
            if ((vt & VT_BYREF) == 0) {
                std::memcpy(&args[i], &held[i], sizeof(VARIANT));
                VariantInit(&held[i]);
                continue;
            }
            args[i].vt = vt;
            args[i].byref = (vt & ~VT_BYREF) == VT_VARIANT ? static_cast<void*>(&held[i])
                                                           : static_cast<void*>(&held[i].llVal);
        }
        in.expect_end();
    } catch (const MarshalFailure& failure) {
        hr = failure.hr;
    }
    if (FAILED(hr)) {
        reply.put<HRESULT>(hr);
        return;
    }
    DISPPARAMS params{args.data(), named.data(), count, named_count};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT arg_err = 0;
    hr = target->Invoke(member, IID_NULL, lcid, flags, &params, want_result ? &result : nullptr,
                        &excep, &arg_err);
    if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn != nullptr)
        excep.pfnDeferredFillIn(&excep);
    try {
        reply.put<HRESULT>(hr);
        reply.put<std::uint8_t>(want_result ? 1 : 0);
        if (want_result)
            write_variant(reply, via, result);
        for (std::uint32_t i = 0; i < count; ++i)
            if ((args[i].vt & VT_BYREF) != 0)
                write_variant(reply, via, held[i]);
        reply.put<std::uint8_t>(hr == DISP_E_EXCEPTION ? 1 : 0);
        if (hr == DISP_E_EXCEPTION) {
            reply.put<WORD>(excep.wCode);
            reply.put<SCODE>(excep.scode);
            put_bstr(reply, excep.bstrSource);
            put_bstr(reply, excep.bstrDescription);
            put_bstr(reply, excep.bstrHelpFile);
            reply.put<DWORD>(excep.dwHelpContext);
        }
        reply.put<std::uint32_t>(arg_err);
    } catch (const MarshalFailure& failure) {
        reply.bytes().clear();
        reply.put<HRESULT>(failure.hr);
    }
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
}

}  // namespace comrt
