#pragma once
// How OLE Automation types are passed in a native call, for libffi: the one table shared by
// DispCallFunc (calls into a vtable) and the proxies (closures that stand in for a vtable).
#include <ffi.h>

#include "platform/base/variant.h"

namespace comrt {

// A value of type `vt` passed by value: scalars by their width and signedness; BSTRs,
// interface pointers and anything VT_BYREF as pointers. Null for a type that cannot be passed
// this way (VT_VARIANT by value is DispCallFunc's own affair).
ffi_type* ffi_type_of_value(VARTYPE vt);

}  // namespace comrt
