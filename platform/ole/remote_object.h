#pragma once
// The client's stand-in for an object in a server process (the proxy manager). It is the
// object's identity on the client side and owns one proxy per interface asked for; all of
// them share its reference count, and its last release releases the server's object.
#include <atomic>
#include <map>
#include <memory>

#include "platform/ole/client_connection.h"
#include "platform/base/com_ptr.h"

namespace comrt {

class RemoteObject;

// A proxy for one interface of a RemoteObject. Proxies of dual interfaces are built at run
// time from type information; the few standard interfaces have hand-written proxies.
class Facet {
  public:
    virtual ~Facet() = default;
    // The interface pointer handed to callers.
    virtual void* pointer() = 0;
};

class RemoteObject {
  public:
    // Takes over one server-side reference to object `id` on `connection`.
    RemoteObject(std::shared_ptr<ClientConnection> connection, std::uint32_t id);
    ~RemoteObject();

    ULONG add_ref();
    ULONG release();
    // QueryInterface of every proxy: answered from the proxies already built or by asking
    // the server.
    HRESULT query(REFIID riid, void** ppv);
    // Builds the proxy for an interface the server has already handed out for this object
    // (after CreateInstance); `dual` names the dual interface behind an IDispatch.
    HRESULT adopt(REFIID riid, const IID& dual, void** ppv);

    ClientConnection& connection() { return *connection_; }
    std::shared_ptr<ClientConnection> shared_connection() const { return connection_; }
    std::uint32_t id() const { return id_; }

  private:
    HRESULT make_facet(REFIID riid, const IID& dual, void** ppv);

    std::shared_ptr<ClientConnection> connection_;
    std::uint32_t id_;
    std::atomic<ULONG> refs_{0};
    std::mutex lock_;
    std::map<IID, std::shared_ptr<Facet>> facets_;
};

// A new RemoteObject for server object `id` (one server-side reference), answering `riid`.
// On failure the server's reference is released.
HRESULT adopt_remote(std::shared_ptr<ClientConnection> connection, std::uint32_t id, REFIID riid,
                     const IID& dual, void** ppv);

// The dual-interface proxy for `iid` (also answering as IDispatch), built from the
// interface's registered type information.
HRESULT make_dual_facet(RemoteObject& owner, REFIID iid, std::shared_ptr<Facet>& out);

// Sends a request on the object's connection and parses the HRESULT that starts the reply;
// RPC_E_DISCONNECTED when the server is gone.
HRESULT remote_exchange(RemoteObject& owner, const std::vector<unsigned char>& request,
                        std::vector<unsigned char>* reply = nullptr);

}  // namespace comrt
