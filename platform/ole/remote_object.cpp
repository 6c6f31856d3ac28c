#include "platform/ole/remote_object.h"

#include <cstring>

#include "platform/ole/wire.h"

namespace comrt {
namespace {

using wire::Op;

// A facet whose IUnknown is its object's.
template <class Interface>
class OwnedFacet : public Facet, public Interface {
  public:
    explicit OwnedFacet(RemoteObject& owner) : owner_(owner) {}
    void* pointer() override { return static_cast<Interface*>(this); }
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return owner_.query(riid, ppv); }
    ULONG AddRef() override { return owner_.add_ref(); }
    ULONG Release() override { return owner_.release(); }

  protected:
    RemoteObject& owner_;
};

// IUnknown of the object itself: the identity every QueryInterface(IID_IUnknown) returns.
class IdentityFacet final : public OwnedFacet<IUnknown> {
  public:
    using OwnedFacet::OwnedFacet;
};

class FactoryFacet final : public OwnedFacet<IClassFactory> {
  public:
    using OwnedFacet::OwnedFacet;

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        wire::Writer request;
        request.put(Op::FactoryCreate);
        request.put<std::uint32_t>(owner_.id());
        request.put_guid(riid);
        request.put<std::uint8_t>(outer != nullptr ? 1 : 0);
        std::vector<unsigned char> reply;
        HRESULT hr = remote_exchange(owner_, request.bytes(), &reply);
        if (FAILED(hr))
            return hr;
        wire::Reader in(reply);
        try {
            in.get<HRESULT>();
            auto id = in.get<std::uint32_t>();
            IID dual = riid == IID_IDispatch ? in.get_guid() : riid;
            return adopt_new(id, riid, dual, ppv);
        } catch (const wire::Malformed&) {
            return RPC_E_INVALID_DATAPACKET;
        }
    }
    HRESULT LockServer(BOOL lock) override {
        wire::Writer request;
        request.put(Op::LockServer);
        request.put<std::uint32_t>(owner_.id());
        request.put<std::uint8_t>(lock ? 1 : 0);
        return remote_exchange(owner_, request.bytes());
    }

  private:
    HRESULT adopt_new(std::uint32_t id, REFIID riid, const IID& dual, void** ppv);
};

class ErrorInfoSupportFacet final : public OwnedFacet<ISupportErrorInfo> {
  public:
    using OwnedFacet::OwnedFacet;
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        wire::Writer request;
        request.put(Op::SupportsErrorInfo);
        request.put<std::uint32_t>(owner_.id());
        request.put_guid(riid);
        return remote_exchange(owner_, request.bytes());
    }
};

}  // namespace

HRESULT remote_exchange(RemoteObject& owner, const std::vector<unsigned char>& request,
                        std::vector<unsigned char>* reply) {
    if (!owner.connection().connected())
        return RPC_E_DISCONNECTED;
    auto answer = owner.connection().exchange(request);
    if (!answer || answer->size() < sizeof(HRESULT))
        return RPC_E_DISCONNECTED;
    HRESULT hr;
    std::memcpy(&hr, answer->data(), sizeof hr);
    if (reply != nullptr)
        *reply = std::move(*answer);
    return hr;
}

HRESULT FactoryFacet::adopt_new(std::uint32_t id, REFIID riid, const IID& dual, void** ppv) {
    return adopt_remote(owner_.shared_connection(), id, riid, dual, ppv);
}

HRESULT adopt_remote(std::shared_ptr<Connection> connection, std::uint32_t id, REFIID riid,
                     const IID& dual, void** ppv) {
    RemoteObject* object;
    try {
        object = std::make_unique<RemoteObject>(std::move(connection), id).release();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // the server's reference goes with the connection
    }
    // From here the object owns itself through its count.
    object->add_ref();
    HRESULT hr = object->adopt(riid, dual, ppv);
    object->release();  // the proxy's own reference keeps it, or this was the last one
    return hr;
}

RemoteObject::RemoteObject(std::shared_ptr<Connection> connection, std::uint32_t id)
    : connection_(std::move(connection)), id_(id) {}

RemoteObject::~RemoteObject() {
    if (!connection_->connected())
        return;  // the exporter released everything of the connection when it closed
    wire::Writer request;
    request.put(Op::Release);
    request.put<std::uint32_t>(id_);
    connection_->post(request.bytes());
}

ULONG RemoteObject::add_ref() {
    return ++refs_;
}

ULONG RemoteObject::release() {
    ULONG left = --refs_;
    if (left == 0) {
        std::unique_ptr<RemoteObject> self(this);  // the last reference owns the proxy manager
    }
    return left;
}

HRESULT RemoteObject::make_facet(REFIID riid, const IID& dual, void** ppv) {
    std::shared_ptr<Facet> facet;
    try {
        if (riid == IID_IUnknown)
            facet = std::make_shared<IdentityFacet>(*this);
        else if (riid == IID_IClassFactory)
            facet = std::make_shared<FactoryFacet>(*this);
        else if (riid == IID_ISupportErrorInfo)
            facet = std::make_shared<ErrorInfoSupportFacet>(*this);
        else {
            IID dual_iid = riid == IID_IDispatch ? dual : riid;
            auto it = facets_.find(dual_iid);
            if (it != facets_.end()) {
                facet = it->second;
            } else {
                HRESULT hr = dual_iid == IID_IDispatch ? make_dispatch_facet(*this, dual_iid, facet)
                                                       : make_dual_facet(*this, dual_iid, facet);
                if (FAILED(hr))
                    return hr;
                facets_[dual_iid] = facet;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    facets_[riid] = facet;
    *ppv = facet->pointer();
    add_ref();
    return S_OK;
}

HRESULT RemoteObject::adopt(REFIID riid, const IID& dual, void** ppv) {
    std::lock_guard guard(lock_);
    auto it = facets_.find(riid);
    if (it != facets_.end()) {
        *ppv = it->second->pointer();
        add_ref();
        return S_OK;
    }
    return make_facet(riid, dual, ppv);
}

HRESULT RemoteObject::query(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == iid) {
        *ppv = this;
        return S_OK;
    }
    {
        std::lock_guard guard(lock_);
        auto it = facets_.find(riid);
        if (it != facets_.end()) {
            *ppv = it->second->pointer();
            add_ref();
            return S_OK;
        }
        if (riid == IID_IUnknown)
            return make_facet(riid, riid, ppv);
    }
    wire::Writer request;
    request.put(Op::QueryInterface);
    request.put<std::uint32_t>(id_);
    request.put_guid(riid);
    std::vector<unsigned char> reply;
    HRESULT hr = remote_exchange(*this, request.bytes(), &reply);
    if (FAILED(hr))
        return hr;
    IID dual = riid;
    try {
        wire::Reader in(reply);
        in.get<HRESULT>();
        if (riid == IID_IDispatch)
            dual = in.get_guid();
    } catch (const wire::Malformed&) {
        return RPC_E_INVALID_DATAPACKET;
    }
    return adopt(riid, dual, ppv);
}

}  // namespace comrt
