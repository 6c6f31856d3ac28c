#pragma once
// The runtime's ITypeLib over a type library model. FindName and GetTypeComp answer
// E_NOTIMPL; everything else behaves as OLE's.
#include "platform/oleaut/oleauto.h"
#include "platform/oleaut/typelib_model.h"

namespace comrt {

// A new library object with one reference. The model is validated first (TYPE_E_INVDATAREAD).
HRESULT create_type_lib(TypeLibModel model, ITypeLib** out);
}  // namespace comrt
