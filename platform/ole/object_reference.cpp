#include "platform/ole/object_reference.h"

#include <cstring>

#include "platform/base/bstr.h"
#include "platform/ole/connection.h"
#include "platform/ole/remote_object.h"
#include "platform/ole/wire_interface.h"

namespace comrt {
namespace {

enum class Ref : std::uint8_t { null = 0, sender = 1, receiver = 2 };

void put_bstr(wire::Writer& out, BSTR b) {
    out.put_text(b, SysStringLen(b), b != nullptr);
}

BSTR get_bstr(wire::Reader& in) {
    auto text = in.get_text();
    if (!text)
        return nullptr;
    BSTR b = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    if (b == nullptr)
        throw std::bad_alloc();
    return b;
}

// Where the value of a variant of type `vt` (without VT_BYREF) lies: in the variant itself,
// or, for VT_BYREF, behind its pointer.
const void* value_of(const VARIANT& v) {
    return (v.vt & VT_BYREF) != 0 ? v.byref : static_cast<const void*>(&v.llVal);
}

}  // namespace

void write_object(wire::Writer& out, Connection& via, IUnknown* itf, const IID& iid) {
    if (itf == nullptr) {
        out.put(Ref::null);
        return;
    }
    RemoteObject* proxy = nullptr;
    if (SUCCEEDED(itf->QueryInterface(RemoteObject::iid, reinterpret_cast<void**>(&proxy))) &&
        proxy != nullptr && &proxy->connection() == &via) {
        out.put(Ref::receiver);  // the peer's own object comes home
        out.put<std::uint32_t>(proxy->id());
        return;
    }
    CComPtr<IUnknown> identity;
    HRESULT hr = itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (FAILED(hr) || identity == nullptr)
        throw MarshalFailure(FAILED(hr) ? hr : E_NOINTERFACE);
    IID dual = iid;
    hr = iid == IID_IDispatch ? dispatch_iid(itf, dual) : prepare_calls(iid);
    if (FAILED(hr))
        throw MarshalFailure(hr);
    std::uint32_t id = via.stubs().add(identity, iid, itf);
    if (dual != iid) {
        CComPtr<IUnknown> dual_itf;
        if (SUCCEEDED(identity->QueryInterface(dual, reinterpret_cast<void**>(&dual_itf))))
            via.stubs().add_interface(id, dual, dual_itf);
    }
    out.put(Ref::sender);
    out.put<std::uint32_t>(id);
    out.put_guid(iid);
    out.put_guid(dual);
}

void read_object(wire::Reader& in, Connection& via, const IID& iid, void** ppv) {
    *ppv = nullptr;
    switch (in.get<Ref>()) {
        case Ref::null:
            return;
        case Ref::receiver: {
            CComPtr<IUnknown> identity = via.stubs().identity_of(in.get<std::uint32_t>());
            if (identity == nullptr)
                throw wire::Malformed();
            HRESULT hr = identity->QueryInterface(iid, ppv);
            if (FAILED(hr))
                throw MarshalFailure(hr);
            return;
        }
        case Ref::sender: {
            auto id = in.get<std::uint32_t>();
            IID sent = in.get_guid();
            IID dual = in.get_guid();
            void* as_sent = nullptr;
            HRESULT hr = adopt_remote(via.shared_from_this(), id, sent, dual, &as_sent);
            if (FAILED(hr))
                throw MarshalFailure(hr);
            CComPtr<IUnknown> adopted;
            adopted.Attach(static_cast<IUnknown*>(as_sent));
            if (sent == iid) {
                *ppv = adopted.Detach();
                return;
            }
            hr = adopted->QueryInterface(iid, ppv);
            if (FAILED(hr))
                throw MarshalFailure(hr);
            return;
        }
    }
    throw wire::Malformed();
}

void write_variant(wire::Writer& out, Connection& via, const VARIANT& value) {
    out.put<VARTYPE>(value.vt);
    const VARTYPE base = value.vt & ~VT_BYREF;
    const bool by_ref = (value.vt & VT_BYREF) != 0;
    if (by_ref && value.byref == nullptr)
        throw MarshalFailure(E_POINTER);
    const void* where = value_of(value);
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
            if (by_ref)
                throw MarshalFailure(DISP_E_BADVARTYPE);
            return;
        case VT_BSTR: {
            BSTR b;
            std::memcpy(&b, where, sizeof b);
            put_bstr(out, b);
            return;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            IUnknown* itf;
            std::memcpy(&itf, where, sizeof itf);
            write_object(out, via, itf, base == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
            return;
        }
        case VT_VARIANT:
            if (!by_ref)
                throw MarshalFailure(DISP_E_BADVARTYPE);
            write_variant(out, via, *value.pvarVal);
            return;
        default: {
            std::size_t size = wire_value_size(base);
            if (size == 0)
                throw MarshalFailure(DISP_E_BADVARTYPE);
            out.put_bytes(where, size);
            return;
        }
    }
}

VARTYPE read_variant(wire::Reader& in, Connection& via, VARIANT& value) {
    const auto vt = in.get<VARTYPE>();
    const VARTYPE base = vt & ~VT_BYREF;
    VariantInit(&value);
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
            value.vt = base;
            break;
        case VT_BSTR:
            value.bstrVal = get_bstr(in);
            value.vt = VT_BSTR;
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            void* itf = nullptr;
            read_object(in, via, base == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &itf);
            value.punkVal = static_cast<IUnknown*>(itf);
            value.vt = base;
            break;
        }
        case VT_VARIANT:
            // A variant by reference travels as the variant it points to.
            read_variant(in, via, value);
            return vt;
        default: {
            std::size_t size = wire_value_size(base);
            if (size == 0 || (vt & ~(VT_BYREF | VT_TYPEMASK)) != 0)
                throw wire::Malformed();
            unsigned char bytes[8] = {};
            for (std::size_t i = 0; i < size; ++i)
                bytes[i] = in.get<unsigned char>();
            std::memcpy(&value.llVal, bytes, size);
            value.vt = base;
            break;
        }
    }
    return vt;
}

}  // namespace comrt
