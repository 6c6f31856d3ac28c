#pragma once
// The runtime's ITypeInfo: one type of a type library, in its listed view or, for a dual
// interface, its vtable view. The object keeps its library alive.
#include <memory>

#include "platform/oleaut/typelib_tables.h"

namespace comrt {

// A new type info with one reference.
HRESULT create_type_info(ITypeLib* lib, std::shared_ptr<const TypeLibTables> tables,
                         std::size_t entry, TypeView view, ITypeInfo** out);

}  // namespace comrt
