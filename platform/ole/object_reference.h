#pragma once
// Interface pointers and VARIANTs inside calls. A pointer travels as null, as an object of
// the sender (exported into the sender's stub manager: its id and interface), or as an
// object of the receiver's own table (its id: a proxy passed back arrives as the real
// object). A proxy of another connection is re-exported like any object.
#include <stdexcept>

#include "platform/base/interfaces.h"
#include "platform/ole/wire.h"

namespace comrt {

class Connection;

// A value that cannot be marshalled; the call fails with `hr`.
struct MarshalFailure : std::runtime_error {
    explicit MarshalFailure(HRESULT why) : std::runtime_error("cannot marshal"), hr(why) {}
    HRESULT hr;
};

// Writes `itf` (an `iid`, or null) for the peer of `via`; an object of this side becomes
// one more reference in `via`'s stub manager.
void write_object(wire::Writer& out, Connection& via, IUnknown* itf, const IID& iid);
// Reads a pointer written by write_object: a new reference in *ppv (null for null).
void read_object(wire::Reader& in, Connection& via, const IID& iid, void** ppv);

// A VARIANT: its type, then its value (for VT_BYREF the value pointed to).
void write_variant(wire::Writer& out, Connection& via, const VARIANT& value);
// Reads a VARIANT into `value` (cleared by the caller), always without VT_BYREF; returns the
// type as written, VT_BYREF included.
VARTYPE read_variant(wire::Reader& in, Connection& via, VARIANT& value);

}  // namespace comrt
