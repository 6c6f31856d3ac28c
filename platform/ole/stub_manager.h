#pragma once
// The stub manager of one connection: the objects this side exported on it (id -> identity
// and the interfaces handed out), each id one reference the peer holds, and the requests
// that reach them: QueryInterface, Release, Call, SupportsErrorInfo, Invoke. The interface
// stubs it runs are serve_call (vtable calls) and serve_invoke (IDispatch::Invoke).
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/base/com_ptr.h"
#include "platform/ole/wire.h"

namespace comrt {

class Connection;

// What a request leaves to do: send the reply, nothing (a release), close the connection
// (a request that makes no sense, or a caller that has gone), or let another handler try.
enum class Outcome { reply, no_reply, refuse, unknown };

class StubManager {
  public:
    StubManager() = default;
    StubManager(const StubManager&) = delete;
    StubManager& operator=(const StubManager&) = delete;

    // A new id for `identity`, handing out `itf` as `iid`: one reference of the peer's.
    std::uint32_t add(IUnknown* identity, const IID& iid, IUnknown* itf);
    void add_interface(std::uint32_t id, const IID& iid, IUnknown* itf);
    // The interface `iid` of object `id` as handed out; null when the peer holds no such one.
    CComPtr<IUnknown> interface_of(std::uint32_t id, const IID& iid);
    CComPtr<IUnknown> identity_of(std::uint32_t id);
    // Releases every exported object (the connection closed).
    void clear();
    std::size_t size();

    // Serves the stub manager's requests; Outcome::unknown for any other operation.
    Outcome handle(wire::Op op, wire::Reader& in, wire::Writer& reply, Connection& via);

  private:
    struct Exported {
        CComPtr<IUnknown> identity;
        std::map<IID, CComPtr<IUnknown>> interfaces;
    };
    Outcome on_query_interface(wire::Reader& in, wire::Writer& reply);
    Outcome on_supports_error_info(wire::Reader& in, wire::Writer& reply);
    Outcome on_release(wire::Reader& in);
    Outcome on_call(wire::Reader& in, wire::Writer& reply, Connection& via);
    Outcome on_invoke(wire::Reader& in, wire::Writer& reply, Connection& via);

    std::mutex lock_;  // guards the table; never held while an object runs
    std::map<std::uint32_t, Exported> exported_;
    std::uint32_t next_id_ = 1;
};

// The IID of the dual interface behind an object's IDispatch, from its own type information;
// IID_IDispatch itself for an IDispatch without one (it is marshalled by Invoke).
HRESULT dispatch_iid(IUnknown* itf, IID& iid);
// Reads what the calls of an interface about to be handed out will need, while the peer can
// still be told why it cannot have the interface.
HRESULT prepare_calls(const IID& iid);

}  // namespace comrt
