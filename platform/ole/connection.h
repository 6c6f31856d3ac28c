#pragma once
// One connection between two processes, as either end sees it. Either end sends requests:
// an exchange is a request and its reply, and exchanges nest. While a thread waits for its
// reply it serves the peer's requests that arrive meanwhile, on that thread, as a
// single-threaded apartment does: a callback, and calls the callback makes back into this
// side's objects. Each end exports its objects through its own stub manager.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/ole/channel.h"
#include "platform/ole/stub_manager.h"
#include "platform/ole/wire.h"

namespace comrt {

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    enum class Side { connecting, accepting };
    // Requests the side serves besides the stub manager's (the server's activation requests).
    using Requests = std::function<Outcome(wire::Op, wire::Reader&, wire::Writer&)>;

    // `incoming`: the assembler of the connection's messages; null for one of its own.
    Connection(unique_fd fd, Side side, MessageAssembler* incoming = nullptr);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_.get(); }
    Side side() const { return side_; }
    StubManager& stubs() { return stubs_; }
    void serve_also(Requests requests) { requests_ = std::move(requests); }

    // Sends `request` and waits for its reply, serving the peer's requests meanwhile; nullopt
    // when the peer is gone (then every later exchange fails at once too), when it sends a
    // message longer than wire::max_message (likewise), when the accepting side's peer
    // neither answers nor closes within the callback time-out (likewise), or when `request`
    // is that long (then nothing is sent and the connection stays usable).
    std::optional<std::vector<unsigned char>> exchange(const std::vector<unsigned char>& request);
    // Sends a request that has no reply.
    void post(const std::vector<unsigned char>& request);
    bool connected() const { return connected_; }
    // Gives the connection up: nothing more is sent or read, the objects exported on it are
    // released, and its proxies fail at once.
    void lose();
    // lose(), and the descriptor is closed (its owner is done with it).
    void close();

    // The server's end: a request that arrived through the message loop. Serves it and
    // sends the reply (what the socket does not take now stays pending); false when the
    // connection is to close.
    bool serve_incoming(std::vector<unsigned char>& request);
    // Writes what is left of a pending reply without waiting.
    OutgoingMessage::Status write_pending();
    bool has_pending() const { return pending_.has_value(); }

  private:
    Outcome serve(wire::Reader& in, wire::Writer& reply);
    // Sends the requests posted while a request was served, once its reply is out: a
    // release the served call made must not overtake a reply that still names the object.
    void flush_deferred();
    // A reply's bytes, or E_OUTOFMEMORY alone for one longer than wire::max_message.
    static std::vector<unsigned char> sendable(wire::Writer& reply);
    // Sends a whole message, waiting for the socket as needed (until the time-out on the
    // accepting side); a pending reply goes first.
    bool send(std::vector<unsigned char> message, bool accepting_side);
    bool wait_for(short events, std::chrono::steady_clock::time_point deadline);
    std::optional<std::vector<unsigned char>> receive(bool& accepting_side);
    std::chrono::steady_clock::time_point deadline() const;

    std::recursive_mutex lock_;  // one exchange at a time; its thread may nest more
    unique_fd fd_;
    Side side_;
    std::optional<MessageAssembler> own_incoming_;
    MessageAssembler* incoming_;
    std::optional<OutgoingMessage> pending_;
    std::atomic<bool> connected_{true};  // read by proxies on any thread
    std::chrono::milliseconds callback_timeout_;
    Requests requests_;
    int serving_ = 0;  // requests of the peer being served on this connection
    std::vector<std::vector<unsigned char>> deferred_;
    StubManager stubs_;  // last: its objects go before the rest of the connection
};

// How long the accepting side waits for a peer that neither answers nor closes:
// COMRT_CALLBACK_TIMEOUT_MS, 30 s when unset.
std::chrono::milliseconds callback_timeout();

}  // namespace comrt
