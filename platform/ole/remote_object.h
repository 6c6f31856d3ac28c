#pragma once
// The importing side's stand-in for an object of the peer process (the proxy manager). It is
// the object's identity on this side and owns one interface proxy per interface asked for;
// all of them share its reference count, and its last release posts the Release of the
// exporter's reference. Proxies of a connection that has closed fail at once with
// RPC_E_DISCONNECTED.
#include <atomic>
#include <map>
#include <memory>

#include "platform/base/com_ptr.h"
#include "platform/ole/connection.h"

namespace comrt {

class RemoteObject;

// An interface proxy of a RemoteObject. Proxies of vtable interfaces are built at run time
// from their descriptions, those of dispinterfaces send IDispatch::Invoke; IUnknown,
// IClassFactory and ISupportErrorInfo have hand-written proxies.
class Facet {
  public:
    virtual ~Facet() = default;
    // The interface pointer handed to callers.
    virtual void* pointer() = 0;
};

class RemoteObject {
  public:
    // What QueryInterface of any of its proxies answers with the proxy manager itself (no
    // reference taken), so that marshalling recognises a proxy.
    static constexpr IID iid = {
        0x6C0A7B31, 0x42D5, 0x4E2B, {0x9C, 0x61, 0x1E, 0x7A, 0x55, 0x30, 0xB2, 0x4D}};

    // Takes over one server-side reference to object `id` on `connection`.
    RemoteObject(std::shared_ptr<Connection> connection, std::uint32_t id);
    ~RemoteObject();

    ULONG add_ref();
    ULONG release();
    // QueryInterface of every proxy: answered from the proxies already built or by asking
    // the server.
    HRESULT query(REFIID riid, void** ppv);
    // Builds the proxy for an interface the server has already handed out for this object
    // (after CreateInstance); `dual` names the dual interface behind an IDispatch.
    HRESULT adopt(REFIID riid, const IID& dual, void** ppv);

    Connection& connection() { return *connection_; }
    std::shared_ptr<Connection> shared_connection() const { return connection_; }
    std::uint32_t id() const { return id_; }

  private:
    HRESULT make_facet(REFIID riid, const IID& dual, void** ppv);

    std::shared_ptr<Connection> connection_;
    std::uint32_t id_;
    std::atomic<ULONG> refs_{0};
    std::mutex lock_;
    std::map<IID, std::shared_ptr<Facet>> facets_;
};

// A new RemoteObject for server object `id` (one server-side reference), answering `riid`.
// On failure the server's reference is released.
HRESULT adopt_remote(std::shared_ptr<Connection> connection, std::uint32_t id, REFIID riid,
                     const IID& dual, void** ppv);

// The dual-interface proxy for `iid` (also answering as IDispatch), built from the
// interface's registered type information.
HRESULT make_dual_facet(RemoteObject& owner, REFIID iid, std::shared_ptr<Facet>& out);

// The proxy of the pure dispinterface `iid` (IID_IDispatch: an IDispatch without type
// information), whose calls are IDispatch::Invoke.
HRESULT make_dispatch_facet(RemoteObject& owner, REFIID iid, std::shared_ptr<Facet>& out);

// Sends a request on the object's connection and parses the HRESULT that starts the reply;
// RPC_E_DISCONNECTED when the peer is gone.
HRESULT remote_exchange(RemoteObject& owner, const std::vector<unsigned char>& request,
                        std::vector<unsigned char>* reply = nullptr);

}  // namespace comrt
