#pragma once
// Reading an MSFT type library, the binary format MIDL, widl and ICreateTypeLib2 write and
// LoadTypeLib reads: a .tlb file, or the TYPELIB resource of an executable. Its enumerations,
// records, unions, modules, aliases, interfaces, dispinterfaces and coclasses become a
// TypeLibModel.
#include <span>

#include "platform/oleaut/typelib_model.h"

namespace comrt {

// S_OK with *model filled and validated; TYPE_E_CANTLOADLIBRARY for bytes that are not an
// MSFT library; TYPE_E_UNSUPFORMAT for another version of the format or a value of a type
// the runtime does not read; TYPE_E_INVDATAREAD for a damaged file; E_OUTOFMEMORY; E_POINTER
// without `model`. A refused file leaves *model empty.
HRESULT read_msft_typelib(std::span<const unsigned char> bytes, TypeLibModel* model);

// Whether the bytes start like an MSFT library (signature only).
bool looks_like_msft_typelib(std::span<const unsigned char> bytes);

}  // namespace comrt
