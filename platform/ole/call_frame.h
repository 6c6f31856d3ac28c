#pragma once
// The one encoder and the one decoder of a vtable call: the proxy writes the arguments by
// their descriptions (WireMethod) and reads the results back; the stub's CallFrame reads the
// arguments into the frame the method is called with and writes the results.
#include <vector>

#include "platform/base/connection_points.h"
#include "platform/ole/wire_interface.h"

namespace comrt {

// Server side: decodes the arguments of `method` from `in`, calls the slot on `itf`, and
// writes the HRESULT, the out values and any error information to `reply` (the vtable
// interfaces' interface stub).
void serve_call(Connection& via, void* itf, const WireMethod& method, wire::Reader& in,
                wire::Writer& reply);

// The one encoder of a call: the caller's side writes the arguments (`args[i]` points at
// argument i, as libffi hands it over) and reads the results back into them.
void encode_arguments(wire::Writer& out, Connection& via, const WireMethod& method, void** args);
// Reads the out values into the caller's arguments; returns the HRESULT of the call.
HRESULT decode_results(wire::Reader& in, Connection& via, const WireMethod& method, void** args);

// The one decoder: the callee's side of a call, its arguments as the stub holds them while
// the call runs.
class CallFrame {
  public:
    CallFrame(const WireMethod& method, wire::Reader& in, Connection& via);
    ~CallFrame();
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;
    // Calls the slot on `itf`; the HRESULT.
    HRESULT call(void* itf);
    // The HRESULT, the out values and any error information.
    void write_results(wire::Writer& reply, HRESULT hr);
    // Argument i as the callee receives it (for tests): VT_BYREF for pointers.
    const VARIANTARG& argument(std::size_t i) const { return slots_[i].arg; }

  private:
    struct Slot {
        VARIANTARG arg;
        union {
            LONGLONG value;
            BSTR text;
            IUnknown* object;
        } storage;
        GUID guid;
        VARIANT variant;
        std::vector<IUnknown*> objects;        // an out array of interfaces
        std::vector<CONNECTDATA> connections;  // an out array of CONNECTDATA
    };
    // How many elements of out array `i` the callee filled.
    std::size_t filled(std::size_t i, HRESULT hr) const;
    const WireMethod& method_;
    Connection& via_;
    std::vector<Slot> slots_;
};

}  // namespace comrt
