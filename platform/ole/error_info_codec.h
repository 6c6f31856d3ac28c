#pragma once
// Error information as it travels with a failed call: its GUID, source, description, help
// file and context, rebuilt on the caller's side as a new IErrorInfo.
#include "platform/base/com_ptr.h"
#include "platform/ole/wire.h"
#include "platform/oleaut/oleauto.h"

namespace comrt {

void write_error_info(wire::Writer& out, IErrorInfo* info);
// Null when the call carried none.
CComPtr<IErrorInfo> read_error_info(wire::Reader& in);

}  // namespace comrt
