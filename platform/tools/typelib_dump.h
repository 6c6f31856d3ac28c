#pragma once
// The text tlbdump prints of a type library: the library's attributes, then every type
// information in order with its implemented types, functions, parameters and variables. It
// holds only what OLE Automation defines (no addresses, nothing of a runtime's own), so the
// Linux and Windows builds print the same text of the same file; a call that fails prints its
// HRESULT in place and the dump goes on.
#include <string>

#include "platform/win32.h"

namespace tlbdump {

std::string DumpTypeLib(ITypeLib* lib);

}  // namespace tlbdump
