#include "platform/ole/call_frame.h"

#include <algorithm>
#include <cstring>

#include "platform/base/bstr.h"
#include "platform/ole/error_info_codec.h"
#include "platform/ole/object_reference.h"
#include "platform/oleaut/error_info.h"

namespace comrt {
namespace {

// Writes the value at `where`, a value of the parameter's type.
void put_value(wire::Writer& out, Connection& via, const WireParam& p, const void* where) {
    if (p.vt == VT_BSTR) {
        BSTR b;
        std::memcpy(&b, where, sizeof b);
        out.put_text(b, SysStringLen(b), b != nullptr);
    } else if (p.vt == VT_UNKNOWN) {
        IUnknown* itf;
        std::memcpy(&itf, where, sizeof itf);
        write_object(out, via, itf, p.iid);
    } else if (p.vt == VT_VARIANT) {
        write_variant(out, via, *static_cast<const VARIANT*>(where));
    } else if (p.vt == wire_guid) {
        out.put_bytes(where, sizeof(GUID));
    } else {
        out.put_bytes(where, wire_value_size(p.vt));
    }
}

// Reads a value of the parameter's type into `target`, which owns nothing yet.
void get_value(wire::Reader& in, Connection& via, const WireParam& p, void* target) {
    if (p.vt == VT_BSTR) {
        auto text = in.get_text();
        BSTR b = nullptr;
        if (text) {
            b = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
            if (b == nullptr)
                throw std::bad_alloc();
        }
        std::memcpy(target, &b, sizeof b);
    } else if (p.vt == VT_UNKNOWN) {
        void* itf = nullptr;
        read_object(in, via, p.iid, &itf);
        std::memcpy(target, &itf, sizeof itf);
    } else if (p.vt == VT_VARIANT) {
        read_variant(in, via, *static_cast<VARIANT*>(target));
    } else {
        std::size_t size = p.vt == wire_guid ? sizeof(GUID) : wire_value_size(p.vt);
        unsigned char bytes[sizeof(GUID)] = {};
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = in.get<unsigned char>();
        std::memcpy(target, bytes, size);
    }
}

// Frees what a value of the parameter's type at `where` owns.
void free_value(const WireParam& p, void* where) {
    if (p.vt == VT_BSTR) {
        BSTR b;
        std::memcpy(&b, where, sizeof b);
        SysFreeString(b);
    } else if (p.vt == VT_UNKNOWN) {
        IUnknown* itf;
        std::memcpy(&itf, where, sizeof itf);
        if (itf != nullptr)
            itf->Release();
    } else if (p.vt == VT_VARIANT) {
        VariantClear(static_cast<VARIANT*>(where));
    }
}

// More than this many elements asked of an enumerator at once is refused.
constexpr ULONG max_array = 65536;

ULONG capacity_of(const WireMethod& method, const WireParam& p, void** args) {
    const WireParam& count = method.params[static_cast<std::size_t>(p.capacity_param)];
    ULONG capacity = 0;
    if (!count.by_ref && count.vt == VT_UI4)
        std::memcpy(&capacity, args[static_cast<std::size_t>(p.capacity_param)], sizeof capacity);
    return capacity;
}

void put_element(wire::Writer& out, Connection& via, const WireParam& p, const void* element) {
    if (p.vt == wire_connectdata) {
        const auto* data = static_cast<const CONNECTDATA*>(element);
        write_object(out, via, data->pUnk, IID_IUnknown);
        out.put<DWORD>(data->dwCookie);
    } else {
        write_object(out, via, *static_cast<IUnknown* const*>(element), p.iid);
    }
}

void get_element(wire::Reader& in, Connection& via, const WireParam& p, void* element) {
    if (p.vt == wire_connectdata) {
        auto* data = static_cast<CONNECTDATA*>(element);
        read_object(in, via, IID_IUnknown, reinterpret_cast<void**>(&data->pUnk));
        data->dwCookie = in.get<DWORD>();
    } else {
        read_object(in, via, p.iid, static_cast<void**>(element));
    }
}

std::size_t element_size(const WireParam& p) {
    return p.vt == wire_connectdata ? sizeof(CONNECTDATA) : sizeof(IUnknown*);
}

}  // namespace

void encode_arguments(wire::Writer& out, Connection& via, const WireMethod& method, void** args) {
    for (std::size_t i = 0; i < method.params.size(); ++i) {
        const WireParam& p = method.params[i];
        if (!p.by_ref) {
            put_value(out, via, p, args[i]);
            continue;
        }
        void* target = *static_cast<void**>(args[i]);
        out.put<std::uint8_t>(target != nullptr ? 1 : 0);
        if (target != nullptr && p.in)
            put_value(out, via, p, target);
    }
}

HRESULT decode_results(wire::Reader& in, Connection& via, const WireMethod& method, void** args) {
    HRESULT hr = in.get<HRESULT>();
    if (FAILED(hr) && in.at_end())
        return hr;  // refused before the call ran (a reply over the limit): nothing follows
    for (std::size_t i = 0; i < method.params.size(); ++i) {
        const WireParam& p = method.params[i];
        void* target = p.by_ref ? *static_cast<void**>(args[i]) : nullptr;
        if (target == nullptr || !p.out)
            continue;
        if (p.array()) {
            auto count = in.get<std::uint32_t>();
            if (count > capacity_of(method, p, args))
                throw wire::Malformed();
            for (std::uint32_t k = 0; k < count; ++k)
                get_element(in, via, p, static_cast<unsigned char*>(target) + k * element_size(p));
            continue;
        }
        // Read aside first: an in/out value is replaced, not leaked, and stays if this fails.
        VARIANT fresh;
        VariantInit(&fresh);
        get_value(in, via, p, p.vt == VT_VARIANT ? static_cast<void*>(&fresh) : &fresh.llVal);
        if (p.in || p.vt == VT_VARIANT)
            free_value(p, target);
        if (p.vt == VT_VARIANT)
            std::memcpy(target, &fresh, sizeof fresh);
        else
            std::memcpy(target, &fresh.llVal,
                        p.vt == wire_guid                       ? sizeof(GUID)
                        : p.vt == VT_BSTR || p.vt == VT_UNKNOWN ? sizeof(void*)
                                                                : wire_value_size(p.vt));
    }
    CComPtr<IErrorInfo> info = read_error_info(in);
    if (info != nullptr)
        SetErrorInfo(0, info);
    return hr;
}

CallFrame::CallFrame(const WireMethod& method, wire::Reader& in, Connection& via)
    : method_(method), via_(via), slots_(method.params.size()) {
    for (auto& slot : slots_) {
        VariantInit(&slot.arg);
        VariantInit(&slot.variant);
        slot.storage.value = 0;
        slot.guid = GUID{};
    }
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const WireParam& p = method.params[i];
        Slot& slot = slots_[i];
        if (!p.by_ref) {
            get_value(in, via, p, &slot.arg.llVal);
            slot.arg.vt = p.vt;
            continue;
        }
        if (p.array()) {
            slot.arg.vt = static_cast<VARTYPE>(VT_BYREF | VT_UNKNOWN);
            if (in.get<std::uint8_t>() == 0)
                continue;
            const VARIANTARG& count = slots_[static_cast<std::size_t>(p.capacity_param)].arg;
            if (count.vt != VT_UI4 || count.ulVal > max_array)
                throw MarshalFailure(E_INVALIDARG);
            if (p.vt == wire_connectdata) {
                slot.connections.assign(count.ulVal, CONNECTDATA{nullptr, 0});
                slot.arg.byref = slot.connections.data();
            } else {
                slot.objects.assign(count.ulVal, nullptr);
                slot.arg.byref = slot.objects.data();
            }
            continue;
        }
        void* storage = p.vt == VT_VARIANT  ? static_cast<void*>(&slot.variant)
                        : p.vt == wire_guid ? static_cast<void*>(&slot.guid)
                                            : static_cast<void*>(&slot.storage);
        slot.arg.vt = static_cast<VARTYPE>(VT_BYREF | (p.vt == wire_guid ? VARTYPE{VT_I4} : p.vt));
        bool present = in.get<std::uint8_t>() != 0;
        slot.arg.byref = present ? storage : nullptr;
        if (present && p.in)
            get_value(in, via, p, storage);
    }
    in.expect_end();
}

CallFrame::~CallFrame() {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const WireParam& p = method_.params[i];
        Slot& slot = slots_[i];
        for (IUnknown* object : slot.objects)
            if (object != nullptr)
                object->Release();
        for (CONNECTDATA& data : slot.connections)
            if (data.pUnk != nullptr)
                data.pUnk->Release();
        if (p.array())
            continue;
        if (!p.by_ref)
            free_value(p, &slot.arg.llVal);
        else if (p.vt == VT_VARIANT)
            VariantClear(&slot.variant);
        else if (p.vt != wire_guid)
            free_value(p, &slot.storage);
    }
}

HRESULT CallFrame::call(void* itf) {
    const std::size_t n = slots_.size();
    std::vector<VARTYPE> types(n);
    std::vector<VARIANTARG*> args(n);
    for (std::size_t i = 0; i < n; ++i) {
        types[i] = slots_[i].arg.vt;
        args[i] = &slots_[i].arg;
    }
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = DispCallFunc(itf, method_.slot * sizeof(void*), CC_STDCALL, VT_HRESULT,
                              static_cast<UINT>(n), types.data(), args.data(), &result);
    return SUCCEEDED(hr) ? result.scode : hr;
}

void CallFrame::write_results(wire::Writer& reply, HRESULT hr) {
    reply.put<HRESULT>(hr);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const WireParam& p = method_.params[i];
        if (!p.by_ref || !p.out || slots_[i].arg.byref == nullptr)
            continue;
        if (p.array()) {
            std::size_t count = filled(i, hr);
            reply.put<std::uint32_t>(static_cast<std::uint32_t>(count));
            for (std::size_t k = 0; k < count; ++k)
                put_element(reply, via_, p,
                            static_cast<unsigned char*>(slots_[i].arg.byref) + k * element_size(p));
            continue;
        }
        put_value(reply, via_, p, slots_[i].arg.byref);
    }
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || SUCCEEDED(hr))
        info.Release();
    write_error_info(reply, info);
}

std::size_t CallFrame::filled(std::size_t i, HRESULT hr) const {
    const WireParam& p = method_.params[i];
    std::size_t capacity = std::max(slots_[i].objects.size(), slots_[i].connections.size());
    std::size_t count = SUCCEEDED(hr) ? capacity : 0;  // all of them when nobody says
    if (p.filled_param >= 0) {
        const VARIANTARG& filled = slots_[static_cast<std::size_t>(p.filled_param)].arg;
        count = filled.byref != nullptr && SUCCEEDED(hr) ? *static_cast<ULONG*>(filled.byref) : 0;
    }
    return std::min(count, capacity);
}

void serve_call(Connection& via, void* itf, const WireMethod& method, wire::Reader& in,
                wire::Writer& reply) {
    HRESULT hr;
    try {
        CallFrame frame(method, in, via);
        SetErrorInfo(0, nullptr);  // only what this call sets travels back
        hr = frame.call(itf);
        try {
            frame.write_results(reply, hr);
            return;
        } catch (const MarshalFailure& failure) {
            hr = failure.hr;  // an out object that cannot travel fails the call
        }
    } catch (const MarshalFailure& failure) {
        hr = failure.hr;  // an argument that cannot be had: the method never runs
    }
    reply.bytes().clear();
    reply.put<HRESULT>(hr);
}

}  // namespace comrt
