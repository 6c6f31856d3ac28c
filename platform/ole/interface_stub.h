#pragma once
// IDispatch::Invoke across processes, for the dispinterfaces that have no vtable of their
// own (an event sink, as every script engine implements one) and IDispatch without type
// information. The request holds the DISPID, flags, locale, named DISPIDs and arguments (each
// a VARIANT; one by reference travels as what it points to) and whether a result is wanted;
// the reply the HRESULT, the result, the by-reference values, the EXCEPINFO and puArgErr.
#include "platform/base/interfaces.h"
#include "platform/ole/wire.h"

namespace comrt {

class Connection;

// The caller's side: writes the request after its operation, object id and IID.
void encode_invoke(wire::Writer& out, Connection& via, DISPID member, WORD flags, LCID lcid,
                   const DISPPARAMS& params, bool want_result);
// Reads the reply into the caller's result, by-reference arguments, EXCEPINFO and
// puArgErr; returns Invoke's HRESULT.
HRESULT decode_invoke_reply(wire::Reader& in, Connection& via, DISPPARAMS& params, VARIANT* result,
                            EXCEPINFO* excep, UINT* arg_err);

// The interface stub: decodes the request, calls `target`'s Invoke and writes the reply.
void serve_invoke(Connection& via, IDispatch* target, wire::Reader& in, wire::Writer& reply);

}  // namespace comrt
