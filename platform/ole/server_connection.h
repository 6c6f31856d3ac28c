#pragma once
// One client process as the server sees it: the objects it holds and the server locks it
// took. Closing the connection, by the client or by its death, releases all of them.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/base/unique_fd.h"
#include "platform/ole/channel.h"
#include "platform/ole/wire.h"

namespace comrt {

// Finds the class object registered for a CLSID; null when none or suspended.
using ClassLookup = IClassFactory* (*)(const CLSID&, HRESULT& why_not);

class ServerConnection {
  public:
    ServerConnection(unique_fd fd, ClassLookup lookup);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    int fd() const { return fd_.get(); }
    // Writes what is left of a reply, then handles the requests that have arrived, one at a
    // time: the next is read only once the reply to the last is out. False when the
    // connection is finished (closed or malformed).
    bool on_ready(short revents);
    // A client that stopped half-way through a message since `cutoff` (see MessageAssembler).
    bool stalled_before(std::chrono::steady_clock::time_point cutoff) const {
        return assembler_.stalled_before(cutoff);
    }
    void excuse_until(std::chrono::steady_clock::time_point now) { assembler_.excuse_until(now); }

  private:
    struct Remote {
        CComPtr<IUnknown> identity;
        std::map<IID, CComPtr<IUnknown>> interfaces;
    };
    // What a request leaves to do: send the reply, nothing (a release), or close the
    // connection (a request that makes no sense, or a caller that has gone).
    enum class Outcome { reply, no_reply, refuse };

    // Handles one request; false for a request that makes no sense (closes the connection).
    bool handle(std::vector<unsigned char>& request);
    Outcome dispatch(wire::Reader& in, wire::Writer& reply);
    Outcome on_create_instance(wire::Reader& in, wire::Writer& reply);
    Outcome on_get_class_object(wire::Reader& in, wire::Writer& reply);
    Outcome on_factory_create(wire::Reader& in, wire::Writer& reply);
    Outcome on_lock_server(wire::Reader& in, wire::Writer& reply);
    Outcome on_query_interface(wire::Reader& in, wire::Writer& reply);
    Outcome on_supports_error_info(wire::Reader& in, wire::Writer& reply);
    Outcome on_release(wire::Reader& in);
    Outcome on_call(wire::Reader& in, wire::Writer& reply);
    // Writes the reply as far as the socket takes it now and keeps the rest for later; false
    // when the client is gone.
    bool send_reply(std::vector<unsigned char> reply);
    void create_instance(IClassFactory* factory, const IID& iid, bool has_outer,
                         wire::Writer& reply);
    std::uint32_t add_remote(IUnknown* identity, const IID& iid, IUnknown* itf);
    Remote* find(std::uint32_t id);
    // Reads a request's object id and IID (all that it holds); null for an id the client
    // does not hold.
    Remote* read_remote(wire::Reader& in, IID& iid);
    // Keeps the dual interface behind the IDispatch just handed out and names it in the reply.
    void add_dual(Remote& remote, const IID& dual, wire::Writer& reply);
    // The class object behind remote `id`; null when it is none.
    IClassFactory* find_factory(std::uint32_t id);

    unique_fd fd_;
    ClassLookup lookup_;
    MessageAssembler assembler_;
    std::optional<OutgoingMessage> reply_;  // the part the client has not taken yet
    bool waiting_ = false;                  // for the budget of unfinished messages
    std::map<std::uint32_t, Remote> remotes_;
    std::vector<CComPtr<IClassFactory>> locks_;  // one entry per LockServer(TRUE) not undone
    std::uint32_t next_id_ = 1;
};

}  // namespace comrt
