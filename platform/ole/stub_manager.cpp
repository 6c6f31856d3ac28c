#include "platform/ole/stub_manager.h"

#include "platform/ole/call_cancellation.h"
#include "platform/ole/call_frame.h"
#include "platform/ole/connection.h"
#include "platform/ole/interface_stub.h"
#include "platform/oleaut/oleauto.h"

namespace comrt {
namespace {

using wire::Op;

// A failure that says nothing about the interface, only about this side's state now: the
// peer hears of it instead of being told that the interface is not there.
bool transient(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES) || hr == E_OUTOFMEMORY;
}

}  // namespace

HRESULT prepare_calls(const IID& iid) {
    if (iid == IID_IUnknown || iid == IID_IClassFactory || iid == IID_IDispatch)
        return S_OK;
    std::shared_ptr<const WireInterface> methods;
    HRESULT hr = wire_interface(iid, methods);
    return transient(hr) ? hr : S_OK;
}

HRESULT dispatch_iid(IUnknown* itf, IID& iid) {
    CComPtr<IDispatch> dispatch;
    if (FAILED(itf->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return E_NOINTERFACE;
    iid = IID_IDispatch;  // a script's sink: no type information, every call an Invoke
    CComPtr<ITypeInfo> info;
    HRESULT hr = dispatch->GetTypeInfo(0, LOCALE_NEUTRAL, &info);
    if (transient(hr))
        return hr;
    if (FAILED(hr) || info == nullptr)
        return S_OK;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || attr == nullptr)
        return S_OK;
    const bool dual = attr->typekind == TKIND_INTERFACE || (attr->wTypeFlags & TYPEFLAG_FDUAL);
    const IID described = attr->guid;
    info->ReleaseTypeAttr(attr);
    std::shared_ptr<const WireInterface> methods;
    hr = wire_interface(described, methods);
    if (transient(hr))
        return hr;
    // Only a registered interface can be proxied by its own description.
    if (dual && SUCCEEDED(hr))
        iid = described;
    return S_OK;
}

std::uint32_t StubManager::add(IUnknown* identity, const IID& iid, IUnknown* itf) {
    std::lock_guard guard(lock_);
    std::uint32_t id = next_id_++;
    Exported& entry = exported_[id];
    entry.identity = identity;
    entry.interfaces[iid] = itf;
    return id;
}

void StubManager::add_interface(std::uint32_t id, const IID& iid, IUnknown* itf) {
    std::lock_guard guard(lock_);
    auto it = exported_.find(id);
    if (it != exported_.end())
        it->second.interfaces[iid] = itf;
}

CComPtr<IUnknown> StubManager::interface_of(std::uint32_t id, const IID& iid) {
    std::lock_guard guard(lock_);
    auto it = exported_.find(id);
    if (it == exported_.end())
        return {};
    auto found = it->second.interfaces.find(iid);
    return found == it->second.interfaces.end() ? CComPtr<IUnknown>() : found->second;
}

CComPtr<IUnknown> StubManager::identity_of(std::uint32_t id) {
    std::lock_guard guard(lock_);
    auto it = exported_.find(id);
    return it == exported_.end() ? CComPtr<IUnknown>() : it->second.identity;
}

void StubManager::clear() {
    std::map<std::uint32_t, Exported> gone;
    {
        std::lock_guard guard(lock_);
        gone.swap(exported_);
    }
    // Released outside the lock: an object's last release may call out again.
}

std::size_t StubManager::size() {
    std::lock_guard guard(lock_);
    return exported_.size();
}

Outcome StubManager::handle(wire::Op op, wire::Reader& in, wire::Writer& reply, Connection& via) {
    switch (op) {
        case Op::QueryInterface:
            return on_query_interface(in, reply);
        case Op::SupportsErrorInfo:
            return on_supports_error_info(in, reply);
        case Op::Release:
            return on_release(in);
        case Op::Call:
            return on_call(in, reply, via);
        case Op::Invoke:
            return on_invoke(in, reply, via);
        default:
            return Outcome::unknown;
    }
}

Outcome StubManager::on_query_interface(wire::Reader& in, wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    in.expect_end();
    CComPtr<IUnknown> identity = identity_of(id);
    if (identity == nullptr)
        return Outcome::refuse;
    CComPtr<IUnknown> itf;
    HRESULT hr = identity->QueryInterface(iid, reinterpret_cast<void**>(&itf));
    IID dual{};
    if (SUCCEEDED(hr))
        hr = iid == IID_IDispatch ? dispatch_iid(itf, dual) : prepare_calls(iid);
    reply.put<HRESULT>(hr);
    if (SUCCEEDED(hr)) {
        add_interface(id, iid, itf);
        if (iid == IID_IDispatch) {
            CComPtr<IUnknown> dual_itf;
            if (dual != IID_IDispatch &&
                SUCCEEDED(identity->QueryInterface(dual, reinterpret_cast<void**>(&dual_itf))))
                add_interface(id, dual, dual_itf);
            reply.put_guid(dual);
        }
    }
    return Outcome::reply;
}

Outcome StubManager::on_supports_error_info(wire::Reader& in, wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    in.expect_end();
    CComPtr<IUnknown> identity = identity_of(id);
    if (identity == nullptr)
        return Outcome::refuse;
    CComPtr<ISupportErrorInfo> support;
    HRESULT hr =
        identity->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support));
    reply.put<HRESULT>(SUCCEEDED(hr) ? support->InterfaceSupportsErrorInfo(iid) : hr);
    return Outcome::reply;
}

Outcome StubManager::on_release(wire::Reader& in) {
    auto id = in.get<std::uint32_t>();
    in.expect_end();
    Exported gone;
    {
        std::lock_guard guard(lock_);
        auto it = exported_.find(id);
        if (it == exported_.end())
            return Outcome::no_reply;  // an id the peer does not hold changes nothing
        gone = std::move(it->second);
        exported_.erase(it);
    }
    return Outcome::no_reply;
}

Outcome StubManager::on_call(wire::Reader& in, wire::Writer& reply, Connection& via) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    auto slot = in.get<USHORT>();
    CComPtr<IUnknown> itf = interface_of(id, iid);  // the call may release the peer's last ref
    if (itf == nullptr)
        return Outcome::refuse;
    std::shared_ptr<const WireInterface> methods;
    if (HRESULT hr = wire_interface(iid, methods); FAILED(hr)) {
        reply.put<HRESULT>(hr);  // the peer keeps its connection and may call again
        return Outcome::reply;
    }
    const WireMethod* method = methods->find(slot);
    if (method == nullptr)
        return Outcome::refuse;
    CallCancellation cancellation(via.fd());
    serve_call(via, itf.get(), *method, in, reply);
    if (cancellation.cancelled() || !via.connected())
        return Outcome::refuse;  // the caller has gone: nobody to answer, its connection closes
    return Outcome::reply;
}

Outcome StubManager::on_invoke(wire::Reader& in, wire::Writer& reply, Connection& via) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    CComPtr<IUnknown> itf = interface_of(id, iid);
    if (itf == nullptr)
        return Outcome::refuse;
    CallCancellation cancellation(via.fd());
    // Every interface marshalled by Invoke is an IDispatch, or begins with one.
    serve_invoke(via, static_cast<IDispatch*>(itf.get()), in, reply);
    if (cancellation.cancelled() || !via.connected())
        return Outcome::refuse;
    return Outcome::reply;
}

}  // namespace comrt
