// The descriptions of the standard interfaces of connectable objects, which no type library
// holds: the same form as those read from type information, so one encoder and one decoder
// carry every call, the enumerators' Next and its out array included.
#include "platform/base/connection_points.h"
#include "platform/ole/wire_interface.h"

namespace comrt {
namespace {

WireParam in_value(VARTYPE vt) {
    return WireParam{vt, false, true, false};
}
WireParam in_object(const IID& iid) {
    return WireParam{VT_UNKNOWN, false, true, false, iid};
}
WireParam in_guid() {
    return WireParam{wire_guid, true, true, false};
}
WireParam out_value(VARTYPE vt) {
    return WireParam{vt, true, false, true};
}
WireParam out_object(const IID& iid) {
    return WireParam{VT_UNKNOWN, true, false, true, iid};
}

// Next(ULONG capacity, out array, ULONG* filled), Skip(ULONG), Reset(), Clone(out self).
void enumerator(WireInterface& out, const IID& self, WireParam element) {
    element.capacity_param = 0;
    element.filled_param = 2;
    out.methods = {{3, {in_value(VT_UI4), element, out_value(VT_UI4)}},
                   {4, {in_value(VT_UI4)}},
                   {5, {}},
                   {6, {out_object(self)}}};
}

}  // namespace

bool standard_interface(REFIID iid, WireInterface& out) {
    if (iid == IID_IConnectionPointContainer) {
        out.methods = {{3, {out_object(IID_IEnumConnectionPoints)}},
                       {4, {in_guid(), out_object(IID_IConnectionPoint)}}};
    } else if (iid == IID_IConnectionPoint) {
        out.methods = {{3, {out_value(wire_guid)}},
                       {4, {out_object(IID_IConnectionPointContainer)}},
                       {5, {in_object(IID_IUnknown), out_value(VT_UI4)}},
                       {6, {in_value(VT_UI4)}},
                       {7, {out_object(IID_IEnumConnections)}}};
    } else if (iid == IID_IEnumConnections) {
        enumerator(out, iid, out_value(wire_connectdata));
    } else if (iid == IID_IEnumConnectionPoints) {
        enumerator(out, iid, out_object(IID_IConnectionPoint));
    } else {
        return false;
    }
    out.iid = iid;
    return true;
}

}  // namespace comrt
