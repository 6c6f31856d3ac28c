#pragma once
// The text tlbdump prints of a type library: the library's attributes, then every type
// information in order with its implemented types, functions, parameters and variables. It
// holds only what OLE Automation defines (no addresses, nothing of a runtime's own), so the
// Linux and Windows builds print the same text of the same file; a call that fails prints its
// HRESULT in place and the dump goes on.
//
// Left out: what OLE reserves or leaves unset for the kinds a library holds (TYPEATTR's lcid,
// dwReserved, memidConstructor/Destructor, lpstrSchema and idldescType; FUNCDESC's SCODE list
// beyond its count; VARDESC's lpstrSchema), the help file of types and members (one per
// library: the library's is printed), and the address of an object in a default value (only
// whether there is one).
#include <string>

#include "platform/win32.h"

namespace tlbdump {

std::string DumpTypeLib(ITypeLib* lib);

}  // namespace tlbdump
