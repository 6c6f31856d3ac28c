#pragma once
// Calls of dual interfaces across processes, marshalled from their type information as OLE
// Automation's type-library marshaller does: the proxy encodes the arguments of a vtable slot
// by the types its FUNCDESC declares, the stub decodes them and calls the same slot.
#include <memory>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/oleaut/oleauto.h"
#include "platform/ole/wire.h"

namespace comrt {

struct WireParam {
    VARTYPE vt;   // the value's type; for by_ref, the pointee's
    bool by_ref;  // passed as a pointer (out or in/out)
    bool in;      // the caller's value travels to the server
    bool out;     // the server's value travels back
};

struct WireMethod {
    USHORT slot;  // vtable slot
    std::vector<WireParam> params;
};

// The methods of a dual interface by vtable slot (slots 0-6 are IUnknown and IDispatch and
// absent), from the interface's registered type library. Cached per process.
struct WireInterface {
    IID iid;
    CComPtr<ITypeInfo> dispatch_info;  // what IDispatch of a proxy answers from
    CComPtr<ITypeInfo> vtable_info;
    std::vector<WireMethod> methods;  // methods after the IUnknown and IDispatch slots
    const WireMethod* find(USHORT slot) const;
};
HRESULT wire_interface(REFIID iid, std::shared_ptr<const WireInterface>& out);

// Bytes of a scalar of type `vt` on the wire; 0 for types that travel otherwise (VT_BSTR as
// text) or not at all.
std::size_t wire_value_size(VARTYPE vt);

// Server side: decodes the arguments of `method` from `in`, calls the slot on `itf`, and
// writes the HRESULT, the out values and any error information to `reply`.
void serve_call(void* itf, const WireMethod& method, wire::Reader& in, wire::Writer& reply);

// Error information as it travels with a failed call.
void write_error_info(wire::Writer& out, IErrorInfo* info);
CComPtr<IErrorInfo> read_error_info(wire::Reader& in);

}  // namespace comrt
