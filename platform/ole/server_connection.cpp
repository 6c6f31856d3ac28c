#include "platform/ole/server_connection.h"

#include <poll.h>

#include <algorithm>

#include "platform/ole/apartment.h"
#include "platform/ole/call_cancellation.h"
#include "platform/ole/marshal.h"
#include "platform/oleaut/error_info.h"
#include "platform/oleaut/oleauto.h"

namespace comrt {
namespace {

using wire::Op;

// Stands in for the outer object of an aggregation request that came from another process:
// the class object sees a non-null outer unknown, as it would in-process.
struct RemoteOuter final : IUnknown {
    HRESULT QueryInterface(REFIID, void** ppv) override {
        if (ppv != nullptr)
            *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
};
RemoteOuter g_remote_outer;

// A failure that says nothing about the interface, only about the server's state now: the
// client hears of it instead of being told that the interface is not there.
bool transient(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES) || hr == E_OUTOFMEMORY;
}

// What the calls of an interface about to be handed out will need is read now, while the
// client can still be told why it cannot have the interface; its first call then needs no
// descriptor. Interfaces without type information (IUnknown, IClassFactory) need none.
HRESULT prepare_calls(const IID& iid) {
    if (iid == IID_IUnknown || iid == IID_IClassFactory)
        return S_OK;
    std::shared_ptr<const WireInterface> methods;
    HRESULT hr = wire_interface(iid, methods);
    return transient(hr) ? hr : S_OK;
}

// The IID of the dual interface behind an object's IDispatch, from its own type information.
// E_NOINTERFACE for an IDispatch without it (it cannot be proxied).
HRESULT dispatch_iid(IUnknown* itf, IID& iid) {
    CComPtr<IDispatch> dispatch;
    if (FAILED(itf->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return E_NOINTERFACE;
    CComPtr<ITypeInfo> info;
    HRESULT hr = dispatch->GetTypeInfo(0, LOCALE_NEUTRAL, &info);
    if (FAILED(hr) || info == nullptr)
        return transient(hr) ? hr : E_NOINTERFACE;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || attr == nullptr)
        return E_NOINTERFACE;
    iid = attr->guid;
    info->ReleaseTypeAttr(attr);
    return prepare_calls(iid);
}

}  // namespace

ServerConnection::ServerConnection(unique_fd fd, ClassLookup lookup)
    : fd_(std::move(fd)), lookup_(lookup), assembler_(&MessageBudget::incoming(), [this] {
          waiting_ = false;
          apartment_watch_events(fd_.get(), POLLIN);
      }) {}

ServerConnection::~ServerConnection() {
    remotes_.clear();
    // Server locks a vanished client took are given back.
    for (auto& factory : locks_)
        factory->LockServer(FALSE);
}

bool ServerConnection::on_ready(short revents) {
    try {
        if (reply_) {
            switch (reply_->write_to(fd_.get())) {
                case OutgoingMessage::Status::more:
                    return true;
                case OutgoingMessage::Status::closed:
                    return false;
                case OutgoingMessage::Status::done:
                    reply_.reset();
                    apartment_watch_events(fd_.get(), POLLIN);
                    break;
            }
        } else if (waiting_) {
            // Only a hang-up or a failure is watched for while the budget is short.
            return (revents & (POLLHUP | POLLERR)) == 0;
        }
        for (;;) {
            std::vector<unsigned char> message;  // gone, storage and all, after each request
            switch (assembler_.read_from(fd_.get(), message)) {
                case MessageAssembler::Status::more:
                    return true;
                case MessageAssembler::Status::waiting:
                    waiting_ = true;
                    apartment_watch_events(fd_.get(), 0);
                    return true;
                case MessageAssembler::Status::closed:
                case MessageAssembler::Status::malformed:
                    return false;
                case MessageAssembler::Status::message:
                    if (!handle(message))
                        return false;
                    if (reply_) {
                        apartment_watch_events(fd_.get(), POLLOUT);
                        return true;
                    }
                    break;
            }
        }
    } catch (const wire::Malformed&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ServerConnection::send_reply(std::vector<unsigned char> reply) {
    if (reply.size() > wire::max_message) {
        // No client takes it: the caller learns that the call failed and keeps its objects.
        wire::Writer refusal;
        refusal.put<HRESULT>(E_OUTOFMEMORY);
        reply = std::move(refusal.bytes());
    }
    OutgoingMessage out(std::move(reply));
    switch (out.write_to(fd_.get())) {
        case OutgoingMessage::Status::done:
            return true;
        case OutgoingMessage::Status::closed:
            return false;
        case OutgoingMessage::Status::more:
            break;
    }
    reply_.emplace(std::move(out));
    return true;
}

ServerConnection::Remote* ServerConnection::find(std::uint32_t id) {
    auto it = remotes_.find(id);
    return it == remotes_.end() ? nullptr : &it->second;
}

IClassFactory* ServerConnection::find_factory(std::uint32_t id) {
    Remote* remote = find(id);
    if (remote == nullptr)
        return nullptr;
    auto it = remote->interfaces.find(IID_IClassFactory);
    // Stored as the IClassFactory the class object handed out, so the cast is exact.
    return it == remote->interfaces.end() ? nullptr : static_cast<IClassFactory*>(it->second.get());
}

std::uint32_t ServerConnection::add_remote(IUnknown* identity, const IID& iid, IUnknown* itf) {
    std::uint32_t id = next_id_++;
    Remote& remote = remotes_[id];
    remote.identity = identity;
    remote.interfaces[iid] = itf;
    return id;
}

void ServerConnection::create_instance(IClassFactory* factory, const IID& iid, bool has_outer,
                                       wire::Writer& reply) {
    CComPtr<IUnknown> object;
    HRESULT hr = factory->CreateInstance(has_outer ? &g_remote_outer : nullptr, iid,
                                         reinterpret_cast<void**>(&object));
    if (SUCCEEDED(hr) && object == nullptr)
        hr = E_UNEXPECTED;
    reply.put<HRESULT>(hr);
    if (FAILED(hr))
        return;
    CComPtr<IUnknown> identity;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    IID dual{};
    hr = iid == IID_IDispatch ? dispatch_iid(object, dual) : prepare_calls(iid);
    if (FAILED(hr)) {
        reply.bytes().clear();
        reply.put<HRESULT>(hr);
        return;
    }
    reply.put<std::uint32_t>(add_remote(identity, iid, object));
    if (iid == IID_IDispatch)
        add_dual(remotes_[next_id_ - 1], dual, reply);
}

void ServerConnection::add_dual(Remote& remote, const IID& dual, wire::Writer& reply) {
    CComPtr<IUnknown> dual_itf;
    if (SUCCEEDED(remote.identity->QueryInterface(dual, reinterpret_cast<void**>(&dual_itf))))
        remote.interfaces[dual] = dual_itf;
    reply.put_guid(dual);
}

ServerConnection::Remote* ServerConnection::read_remote(wire::Reader& in, IID& iid) {
    auto id = in.get<std::uint32_t>();
    iid = in.get_guid();
    in.expect_end();
    return find(id);
}

bool ServerConnection::handle(std::vector<unsigned char>& request) {
    wire::Reader in(request);
    wire::Writer reply;
    switch (dispatch(in, reply)) {
        case Outcome::refuse:
            return false;
        case Outcome::no_reply:
            return true;
        case Outcome::reply:
            break;
    }
    request = std::vector<unsigned char>();  // its storage goes before the reply is written
    return send_reply(std::move(reply.bytes()));
}

ServerConnection::Outcome ServerConnection::dispatch(wire::Reader& in, wire::Writer& reply) {
    switch (static_cast<Op>(in.get<std::uint8_t>())) {
        case Op::CreateInstance:
            return on_create_instance(in, reply);
        case Op::GetClassObject:
            return on_get_class_object(in, reply);
        case Op::FactoryCreate:
            return on_factory_create(in, reply);
        case Op::LockServer:
            return on_lock_server(in, reply);
        case Op::QueryInterface:
            return on_query_interface(in, reply);
        case Op::SupportsErrorInfo:
            return on_supports_error_info(in, reply);
        case Op::Release:
            return on_release(in);
        case Op::Call:
            return on_call(in, reply);
        default:
            return Outcome::refuse;
    }
}

ServerConnection::Outcome ServerConnection::on_create_instance(wire::Reader& in,
                                                               wire::Writer& reply) {
    CLSID clsid = in.get_guid();
    IID iid = in.get_guid();
    bool has_outer = in.get<std::uint8_t>() != 0;
    in.expect_end();
    HRESULT why_not = REGDB_E_CLASSNOTREG;
    IClassFactory* factory = lookup_(clsid, why_not);
    if (factory == nullptr)
        reply.put<HRESULT>(why_not);
    else
        create_instance(factory, iid, has_outer, reply);
    return Outcome::reply;
}

ServerConnection::Outcome ServerConnection::on_get_class_object(wire::Reader& in,
                                                                wire::Writer& reply) {
    CLSID clsid = in.get_guid();
    in.expect_end();
    HRESULT why_not = REGDB_E_CLASSNOTREG;
    IClassFactory* factory = lookup_(clsid, why_not);
    reply.put<HRESULT>(factory == nullptr ? why_not : S_OK);
    if (factory != nullptr)
        reply.put<std::uint32_t>(add_remote(factory, IID_IClassFactory, factory));
    return Outcome::reply;
}

ServerConnection::Outcome ServerConnection::on_factory_create(wire::Reader& in,
                                                              wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    bool has_outer = in.get<std::uint8_t>() != 0;
    in.expect_end();
    IClassFactory* factory = find_factory(id);
    if (factory == nullptr)
        return Outcome::refuse;
    create_instance(factory, iid, has_outer, reply);
    return Outcome::reply;
}

ServerConnection::Outcome ServerConnection::on_lock_server(wire::Reader& in, wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    bool lock = in.get<std::uint8_t>() != 0;
    in.expect_end();
    CComPtr<IClassFactory> factory(find_factory(id));
    if (factory == nullptr)
        return Outcome::refuse;
    // A connection gives back only locks it took: another client's must stand.
    auto held = std::find_if(locks_.begin(), locks_.end(),
                             [&](const auto& taken) { return taken.get() == factory.get(); });
    HRESULT hr = E_UNEXPECTED;
    if (lock || held != locks_.end())
        hr = factory->LockServer(lock ? TRUE : FALSE);
    if (SUCCEEDED(hr) && lock)
        locks_.push_back(factory);
    else if (SUCCEEDED(hr))
        locks_.erase(held);
    reply.put<HRESULT>(hr);
    return Outcome::reply;
}

ServerConnection::Outcome ServerConnection::on_query_interface(wire::Reader& in,
                                                               wire::Writer& reply) {
    IID iid{};
    Remote* remote = read_remote(in, iid);
    if (remote == nullptr)
        return Outcome::refuse;
    CComPtr<IUnknown> itf;
    HRESULT hr = remote->identity->QueryInterface(iid, reinterpret_cast<void**>(&itf));
    IID dual{};
    if (SUCCEEDED(hr))
        hr = iid == IID_IDispatch ? dispatch_iid(itf, dual) : prepare_calls(iid);
    reply.put<HRESULT>(hr);
    if (SUCCEEDED(hr)) {
        remote->interfaces[iid] = itf;
        if (iid == IID_IDispatch)
            add_dual(*remote, dual, reply);
    }
    return Outcome::reply;
}

ServerConnection::Outcome ServerConnection::on_supports_error_info(wire::Reader& in,
                                                                   wire::Writer& reply) {
    IID iid{};
    Remote* remote = read_remote(in, iid);
    if (remote == nullptr)
        return Outcome::refuse;
    CComPtr<ISupportErrorInfo> support;
    HRESULT hr =
        remote->identity->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support));
    reply.put<HRESULT>(SUCCEEDED(hr) ? support->InterfaceSupportsErrorInfo(iid) : hr);
    return Outcome::reply;
}

ServerConnection::Outcome ServerConnection::on_release(wire::Reader& in) {
    auto id = in.get<std::uint32_t>();
    in.expect_end();
    remotes_.erase(id);  // an id this client does not hold changes nothing
    return Outcome::no_reply;
}

ServerConnection::Outcome ServerConnection::on_call(wire::Reader& in, wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    auto slot = in.get<USHORT>();
    Remote* remote = find(id);
    if (remote == nullptr)
        return Outcome::refuse;
    auto it = remote->interfaces.find(iid);
    if (it == remote->interfaces.end())
        return Outcome::refuse;
    std::shared_ptr<const WireInterface> methods;
    if (HRESULT hr = wire_interface(iid, methods); FAILED(hr)) {
        reply.put<HRESULT>(hr);  // the client keeps its connection and may call again
        return Outcome::reply;
    }
    const WireMethod* method = methods->find(slot);
    if (method == nullptr)
        return Outcome::refuse;
    CComPtr<IUnknown> keep = it->second;  // the call may release the client's last ref
    CallCancellation cancellation(fd_.get());
    serve_call(keep.get(), *method, in, reply);
    if (cancellation.cancelled())
        return Outcome::refuse;  // the caller has gone: nobody to answer, its connection closes
    return Outcome::reply;
}

}  // namespace comrt
