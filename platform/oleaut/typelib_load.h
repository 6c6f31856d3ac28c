#pragma once
// Loading type libraries from files. A file is either an ELF executable carrying its library
// in the section ".comrt.typelib.1" (the TYPELIB resource 1 of Windows), or a .tlb file; both
// hold an MSFT type library, as MIDL and widl write it.
// As on Windows, "<file>\<n>" names the library resource n of <file> when no file of the
// whole name exists. Paths are UTF-16 here and UTF-8 on disk.
#include <span>

#include "platform/oleaut/oleauto.h"

// TYPE_E_CANTLOADLIBRARY when the file is missing, unreadable, an executable without the
// library, or neither; TYPE_E_INVDATAREAD / TYPE_E_UNSUPFORMAT for a damaged library or one
// with content the runtime does not read (see read_msft_typelib).
// Loading never registers (REGKIND_DEFAULT of Windows registers in some cases; here only
// REGKIND_REGISTER does).
HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
// REGKIND_REGISTER also registers the library for the file's absolute path (RegisterTypeLib,
// no help directory); a registration failure is returned and nothing is loaded.
HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);

namespace comrt {

// A library from MSFT bytes already in memory (a resource, a test's buffer).
HRESULT load_type_lib_image(std::span<const unsigned char> image, ITypeLib** out);

}  // namespace comrt
