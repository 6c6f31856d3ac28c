#include "platform/ole/server_connection.h"

#include <poll.h>

#include <algorithm>

#include "platform/ole/apartment.h"
#include "platform/ole/call_cancellation.h"
#include "platform/oleaut/error_info.h"
#include "platform/ole/marshal.h"
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

// The IID of the dual interface behind an object's IDispatch, from its own type information.
bool dispatch_iid(IUnknown* itf, IID& iid) {
    CComPtr<IDispatch> dispatch;
    if (FAILED(itf->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return false;
    CComPtr<ITypeInfo> info;
    if (FAILED(dispatch->GetTypeInfo(0, LOCALE_NEUTRAL, &info)) || info == nullptr)
        return false;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || attr == nullptr)
        return false;
    iid = attr->guid;
    info->ReleaseTypeAttr(attr);
    return true;
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
    if (iid == IID_IDispatch && !dispatch_iid(object, dual)) {
        // An IDispatch without type information cannot be proxied.
        reply.bytes().clear();
        reply.put<HRESULT>(E_NOINTERFACE);
        return;
    }
    reply.put<std::uint32_t>(add_remote(identity, iid, object));
    if (iid == IID_IDispatch) {
        CComPtr<IUnknown> dual_itf;
        if (SUCCEEDED(identity->QueryInterface(dual, reinterpret_cast<void**>(&dual_itf))))
            remotes_[next_id_ - 1].interfaces[dual] = dual_itf;
        reply.put_guid(dual);
    }
}

bool ServerConnection::handle(std::vector<unsigned char>& request) {
    wire::Reader in(request);
    wire::Writer reply;
    auto op = static_cast<Op>(in.get<std::uint8_t>());
    switch (op) {
        case Op::CreateInstance: {
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
            break;
        }
        case Op::GetClassObject: {
            CLSID clsid = in.get_guid();
            in.expect_end();
            HRESULT why_not = REGDB_E_CLASSNOTREG;
            IClassFactory* factory = lookup_(clsid, why_not);
            reply.put<HRESULT>(factory == nullptr ? why_not : S_OK);
            if (factory != nullptr)
                reply.put<std::uint32_t>(add_remote(factory, IID_IClassFactory, factory));
            break;
        }
        case Op::FactoryCreate: {
            auto id = in.get<std::uint32_t>();
            IID iid = in.get_guid();
            bool has_outer = in.get<std::uint8_t>() != 0;
            in.expect_end();
            IClassFactory* factory = find_factory(id);
            if (factory == nullptr)
                return false;
            create_instance(factory, iid, has_outer, reply);
            break;
        }
        case Op::LockServer: {
            auto id = in.get<std::uint32_t>();
            bool lock = in.get<std::uint8_t>() != 0;
            in.expect_end();
            CComPtr<IClassFactory> factory(find_factory(id));
            if (factory == nullptr)
                return false;
            // A connection gives back only locks it took: another client's must stand.
            auto held = std::find_if(locks_.begin(), locks_.end(), [&](const auto& taken) {
                return taken.get() == factory.get();
            });
            HRESULT hr = E_UNEXPECTED;
            if (lock || held != locks_.end())
                hr = factory->LockServer(lock ? TRUE : FALSE);
            if (SUCCEEDED(hr) && lock)
                locks_.push_back(factory);
            else if (SUCCEEDED(hr))
                locks_.erase(held);
            reply.put<HRESULT>(hr);
            break;
        }
        case Op::QueryInterface: {
            auto id = in.get<std::uint32_t>();
            IID iid = in.get_guid();
            in.expect_end();
            Remote* remote = find(id);
            if (remote == nullptr)
                return false;
            CComPtr<IUnknown> itf;
            HRESULT hr = remote->identity->QueryInterface(iid, reinterpret_cast<void**>(&itf));
            IID dual{};
            if (SUCCEEDED(hr) && iid == IID_IDispatch && !dispatch_iid(itf, dual))
                hr = E_NOINTERFACE;  // an IDispatch without type information cannot be proxied
            reply.put<HRESULT>(hr);
            if (SUCCEEDED(hr)) {
                remote->interfaces[iid] = itf;
                if (iid == IID_IDispatch) {
                    CComPtr<IUnknown> dual_itf;
                    if (SUCCEEDED(remote->identity->QueryInterface(
                            dual, reinterpret_cast<void**>(&dual_itf))))
                        remote->interfaces[dual] = dual_itf;
                    reply.put_guid(dual);
                }
            }
            break;
        }
        case Op::SupportsErrorInfo: {
            auto id = in.get<std::uint32_t>();
            IID iid = in.get_guid();
            in.expect_end();
            Remote* remote = find(id);
            if (remote == nullptr)
                return false;
            CComPtr<ISupportErrorInfo> support;
            HRESULT hr = remote->identity->QueryInterface(IID_ISupportErrorInfo,
                                                          reinterpret_cast<void**>(&support));
            reply.put<HRESULT>(SUCCEEDED(hr) ? support->InterfaceSupportsErrorInfo(iid) : hr);
            break;
        }
        case Op::Release: {
            auto id = in.get<std::uint32_t>();
            in.expect_end();
            remotes_.erase(id);  // no reply; an id this client does not hold changes nothing
            return true;
        }
        case Op::Call: {
            auto id = in.get<std::uint32_t>();
            IID iid = in.get_guid();
            auto slot = in.get<USHORT>();
            Remote* remote = find(id);
            if (remote == nullptr)
                return false;
            auto it = remote->interfaces.find(iid);
            if (it == remote->interfaces.end())
                return false;
            std::shared_ptr<const WireInterface> methods;
            if (FAILED(wire_interface(iid, methods)))
                return false;
            const WireMethod* method = methods->find(slot);
            if (method == nullptr)
                return false;
            CComPtr<IUnknown> keep = it->second;  // the call may release the client's last ref
            CallCancellation cancellation(fd_.get());
            serve_call(keep.get(), *method, in, reply);
            if (cancellation.cancelled())
                return false;  // the caller has gone: nobody to answer, its connection closes
            break;
        }
        default:
            return false;
    }
    request = std::vector<unsigned char>();  // its storage goes before the reply is written
    return send_reply(std::move(reply.bytes()));
}

}  // namespace comrt
