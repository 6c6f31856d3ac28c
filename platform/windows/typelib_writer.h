#pragma once
// Writes a type library from its description (platform/oleaut/typelib_desc.h) through
// oleaut32's CreateTypeLib2: the Windows build's counterpart of the runtime's image writer,
// since mingw-w64 has no MIDL to compile an .idl.
#include <string>

#include "platform/oleaut/typelib_desc.h"

namespace comrt {

// Writes `desc` to the file `path`; S_OK or the failing call's HRESULT, with the step that
// failed in `step`.
HRESULT write_typelib_file(const TypeLibDesc& desc, const std::wstring& path, std::string& step);

}  // namespace comrt
