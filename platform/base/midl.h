#pragma once
// What the headers an IDL compiler generates expect of the SDK: `interface`, the GUID and
// interface declaration macros, and __CRT_UUID_DECL, through which an interface declared in
// IDL names its IID to uuidof<T>() (the way mingw-w64 gives __uuidof its answer).
#include "platform/base/guid.h"

#define interface struct
#define MIDL_INTERFACE(uuid) struct
#define DECLSPEC_UUID(uuid)
#define BEGIN_INTERFACE
#define END_INTERFACE
#define __RPC_USER

// A definition, never only a declaration: an inline variable is one object in every unit,
// so no unit has to be the one that defines INITGUID.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

namespace comrt {
// Specialised, with a `value`, for each interface an IDL compiler declared.
template <class T>
struct declared_uuid {};
}  // namespace comrt

#define __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)             \
    extern "C++" {                                                                   \
    template <>                                                                      \
    struct comrt::declared_uuid<type> {                                              \
        static constexpr GUID value = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}; \
    };                                                                               \
    }
