#pragma once
// One client process as the server sees it: the objects it holds (the connection's stub
// manager) and the server locks it took. Closing the connection, by the client or by its
// death, releases all of them, and the server's proxies of the client's objects fail at once.
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/base/unique_fd.h"
#include "platform/ole/channel.h"
#include "platform/ole/connection.h"
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

    int fd() const { return fd_; }
    // Writes what is left of a reply, then handles the requests that have arrived, one at a
    // time: the next is read only once the reply to the last is out. False when the
    // connection is finished (closed, malformed, or given up during a callback).
    bool on_ready(short revents);
    // A client that stopped half-way through a message since `cutoff` (see MessageAssembler).
    bool stalled_before(std::chrono::steady_clock::time_point cutoff) const {
        return assembler_.stalled_before(cutoff);
    }
    void excuse_until(std::chrono::steady_clock::time_point now) { assembler_.excuse_until(now); }

  private:
    // The activation requests, which only the server serves.
    Outcome dispatch(wire::Op op, wire::Reader& in, wire::Writer& reply);
    Outcome on_create_instance(wire::Reader& in, wire::Writer& reply);
    Outcome on_get_class_object(wire::Reader& in, wire::Writer& reply);
    Outcome on_factory_create(wire::Reader& in, wire::Writer& reply);
    Outcome on_lock_server(wire::Reader& in, wire::Writer& reply);
    void create_instance(IClassFactory* factory, const IID& iid, bool has_outer,
                         wire::Writer& reply);
    // The class object behind exported object `id`; null when it is none.
    CComPtr<IClassFactory> find_factory(std::uint32_t id);

    int fd_;
    ClassLookup lookup_;
    MessageAssembler assembler_;
    bool waiting_ = false;                       // for the budget of unfinished messages
    std::vector<CComPtr<IClassFactory>> locks_;  // one entry per LockServer(TRUE) not undone
    std::shared_ptr<Connection> link_;  // owns the socket; proxies of the client's objects share it
};

}  // namespace comrt
