#include "platform/ole/server_connection.h"

#include <poll.h>

#include <algorithm>

#include "platform/ole/apartment.h"
#include "platform/ole/stub_manager.h"
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

}  // namespace

ServerConnection::ServerConnection(unique_fd fd, ClassLookup lookup)
    : fd_(fd.get()), lookup_(lookup), assembler_(&MessageBudget::incoming(), [this] {
          waiting_ = false;
          apartment_watch_events(fd_, POLLIN);
      }) {
    link_ = std::make_shared<Connection>(std::move(fd), Connection::Side::accepting, &assembler_);
    link_->serve_also([this](wire::Op op, wire::Reader& in, wire::Writer& reply) {
        return dispatch(op, in, reply);
    });
}

ServerConnection::~ServerConnection() {
    link_->serve_also(nullptr);
    link_->close();  // the client's objects go; proxies of its objects fail from now on
    // Server locks a vanished client took are given back.
    for (auto& factory : locks_)
        factory->LockServer(FALSE);
}

bool ServerConnection::on_ready(short revents) {
    try {
        if (link_->has_pending()) {
            switch (link_->write_pending()) {
                case OutgoingMessage::Status::more:
                    return true;
                case OutgoingMessage::Status::closed:
                    return false;
                case OutgoingMessage::Status::done:
                    break;
            }
        } else if (waiting_) {
            // Only a hang-up or a failure is watched for while the budget is short.
            return (revents & (POLLHUP | POLLERR)) == 0;
        }
        apartment_watch_events(fd_, POLLIN);
        for (;;) {
            if (!link_->connected())
                return false;
            std::vector<unsigned char> message;  // gone, storage and all, after each request
            switch (assembler_.read_from(fd_, message)) {
                case MessageAssembler::Status::more:
                    return true;
                case MessageAssembler::Status::waiting:
                    waiting_ = true;
                    apartment_watch_events(fd_, 0);
                    return true;
                case MessageAssembler::Status::closed:
                case MessageAssembler::Status::malformed:
                    return false;
                case MessageAssembler::Status::message:
                    // A reply belongs to a callback, which waits for it itself: none is due.
                    if (assembler_.accepting_side() || !link_->serve_incoming(message))
                        return false;
                    if (link_->has_pending()) {
                        apartment_watch_events(fd_, POLLOUT);
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

CComPtr<IClassFactory> ServerConnection::find_factory(std::uint32_t id) {
    // Stored as the IClassFactory the class object handed out, so the cast is exact.
    CComPtr<IUnknown> itf = link_->stubs().interface_of(id, IID_IClassFactory);
    return CComPtr<IClassFactory>(static_cast<IClassFactory*>(itf.get()));
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
    std::uint32_t id = link_->stubs().add(identity, iid, object);
    reply.put<std::uint32_t>(id);
    if (iid == IID_IDispatch) {
        CComPtr<IUnknown> dual_itf;
        if (dual != IID_IDispatch &&
            SUCCEEDED(identity->QueryInterface(dual, reinterpret_cast<void**>(&dual_itf))))
            link_->stubs().add_interface(id, dual, dual_itf);
        reply.put_guid(dual);
    }
}

Outcome ServerConnection::dispatch(wire::Op op, wire::Reader& in, wire::Writer& reply) {
    switch (op) {
        case Op::CreateInstance:
            return on_create_instance(in, reply);
        case Op::GetClassObject:
            return on_get_class_object(in, reply);
        case Op::FactoryCreate:
            return on_factory_create(in, reply);
        case Op::LockServer:
            return on_lock_server(in, reply);
        default:
            return Outcome::refuse;
    }
}

Outcome ServerConnection::on_create_instance(wire::Reader& in, wire::Writer& reply) {
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

Outcome ServerConnection::on_get_class_object(wire::Reader& in, wire::Writer& reply) {
    CLSID clsid = in.get_guid();
    in.expect_end();
    HRESULT why_not = REGDB_E_CLASSNOTREG;
    IClassFactory* factory = lookup_(clsid, why_not);
    reply.put<HRESULT>(factory == nullptr ? why_not : S_OK);
    if (factory != nullptr)
        reply.put<std::uint32_t>(link_->stubs().add(factory, IID_IClassFactory, factory));
    return Outcome::reply;
}

Outcome ServerConnection::on_factory_create(wire::Reader& in, wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    IID iid = in.get_guid();
    bool has_outer = in.get<std::uint8_t>() != 0;
    in.expect_end();
    CComPtr<IClassFactory> factory = find_factory(id);
    if (factory == nullptr)
        return Outcome::refuse;
    create_instance(factory, iid, has_outer, reply);
    return Outcome::reply;
}

Outcome ServerConnection::on_lock_server(wire::Reader& in, wire::Writer& reply) {
    auto id = in.get<std::uint32_t>();
    bool lock = in.get<std::uint8_t>() != 0;
    in.expect_end();
    CComPtr<IClassFactory> factory = find_factory(id);
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

}  // namespace comrt
