#pragma once
// What a call of a vtable interface carries, described from the interface's type information
// as OLE Automation's type-library marshaller does: per vtable slot, the types its FUNCDESC
// declares (the interface's own and those of its bases). The proxy encodes by it and the stub
// decodes by it (call_frame). The standard interfaces no type library describes
// (connection points) have hand-written descriptions of the same form.
#include <memory>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/ole/wire.h"
#include "platform/oleaut/oleauto.h"

namespace comrt {

class Connection;

// The GUID an argument passes by reference (REFIID in, IID* out); VT_CLSID's number.
inline constexpr VARTYPE wire_guid = 72;
// A CONNECTDATA (a sink and its cookie), as IEnumConnections::Next fills them.
inline constexpr VARTYPE wire_connectdata = 0x0FFE;

struct WireParam {
    VARTYPE vt;    // the value's type; for by_ref, the pointee's; VT_UNKNOWN for any interface
    bool by_ref;   // passed as a pointer (out or in/out)
    bool in;       // the caller's value travels to the callee
    bool out;      // the callee's value travels back
    IID iid = {};  // for an interface: which one
    // An out array (an enumerator's Next): the ULONG argument that gives its capacity, and the
    // ULONG* one the callee sets to how many it filled (-1: none).
    signed char capacity_param = -1;
    signed char filled_param = -1;
    bool array() const { return capacity_param >= 0; }
};

struct WireMethod {
    USHORT slot;  // vtable slot
    std::vector<WireParam> params;
};

// The methods of an interface by vtable slot (slots 0-6 are IUnknown and IDispatch and
// absent), from the interface's registered type library. Cached per process. A pure
// dispinterface has no methods: it is marshalled by IDispatch::Invoke (by_invoke).
struct WireInterface {
    IID iid;
    CComPtr<ITypeInfo> dispatch_info;  // what IDispatch of a proxy answers from (may be null)
    CComPtr<ITypeInfo> vtable_info;
    std::vector<WireMethod> methods;  // methods after the IUnknown and IDispatch slots
    bool by_invoke = false;
    const WireMethod* find(USHORT slot) const;
};
HRESULT wire_interface(REFIID iid, std::shared_ptr<const WireInterface>& out);
// The hand-written descriptions: IConnectionPointContainer, IConnectionPoint and the
// enumerators' Skip, Reset and Clone. False for any other interface.
bool standard_interface(REFIID iid, WireInterface& out);

// Bytes of a scalar of type `vt` on the wire; 0 for types that travel otherwise (VT_BSTR as
// text) or not at all.
std::size_t wire_value_size(VARTYPE vt);

}  // namespace comrt
