#pragma once
// The runtime's own stdole2: the IUnknown and IDispatch that every automation interface
// derives from, with the records their methods name (GUID, DISPPARAMS, EXCEPINFO, without
// their fields), as OLE's stdole2.tlb describes them. There is no stdole2.tlb to load here.
#include "platform/oleaut/typelib_model.h"

namespace comrt {

// Its model, built once, and where IUnknown and IDispatch are in it.
const TypeLibModel& stdole_model();
inline constexpr std::size_t stdole_iunknown = 3;
inline constexpr std::size_t stdole_idispatch = 4;

// The library, built once; E_OUTOFMEMORY.
HRESULT stdole_type_lib(ITypeLib** out);

// The type info an import names: IUnknown and IDispatch of stdole2 from the runtime's own
// library (TYPE_E_ELEMENTNOTFOUND for its other types), a type of another library through
// that library's registration (LoadRegTypeLib's failure when it is not registered).
HRESULT imported_type_info(const TlbImport& import, ITypeInfo** out);

}  // namespace comrt
