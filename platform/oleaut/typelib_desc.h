#pragma once
// A type library described as data: what MIDL would compile from IDL. The runtime builds its
// type information (ITypeInfo, the .tlb image, registration entries) from such a description.
#include <span>
#include <string_view>

#ifdef _WIN32
#include "platform/windows/win32_sdk.h"  // VARTYPE, PARAMFLAG_*, SYSKIND from oleauto.h
#else
#include "platform/base/guid.h"
#include "platform/base/variant.h"

inline constexpr USHORT PARAMFLAG_NONE = 0x00;  // no direction attribute: an input
inline constexpr USHORT PARAMFLAG_FIN = 0x01;
inline constexpr USHORT PARAMFLAG_FOUT = 0x02;
inline constexpr USHORT PARAMFLAG_FRETVAL = 0x08;
inline constexpr USHORT PARAMFLAG_FOPT = 0x10;
inline constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };
#endif

namespace comrt {

struct ParamDesc {
    std::string_view name;
    VARTYPE vt;                  // the pointee's type when by_pointer
    bool by_pointer;             // e.g. LONG* is {VT_I4, true}
    USHORT flags;                // PARAMFLAG_*
    LONGLONG default_value = 0;  // meaningful with PARAMFLAG_FHASDEFAULT
};

// A method of a dual interface: returns HRESULT, invoked as DISPATCH_METHOD.
struct FuncDesc {
    std::string_view name;
    DISPID dispid;
    std::string_view help;  // empty: none
    std::span<const ParamDesc> params;
};

// Derived from IDispatch: vtable slots 0-6 are IUnknown and IDispatch, methods follow in order.
struct InterfaceDesc {
    std::string_view name;
    IID iid;
    std::string_view help;
    bool dual;
    bool oleautomation;
    bool nonextensible;
    std::span<const FuncDesc> funcs;
};

struct EnumConstDesc {
    std::string_view name;
    LONG value;
};

struct EnumDesc {
    std::string_view name;  // the typedef's name
    GUID guid;              // on the typedef
    std::string_view help;
    std::span<const EnumConstDesc> constants;
};

struct CoClassDesc {
    std::string_view name;
    CLSID clsid;
    std::string_view help;
    const InterfaceDesc* default_interface;
    bool creatable;
};

struct TypeLibDesc {
    std::string_view name;
    GUID libid;
    std::string_view help;
    WORD major_version;
    WORD minor_version;
    LCID lcid;
    SYSKIND syskind;
    std::span<const EnumDesc> enums;
    std::span<const InterfaceDesc> interfaces;
    std::span<const CoClassDesc> coclasses;
};

inline constexpr USHORT vtable_slot_of_first_method = 7;  // after IUnknown and IDispatch

}  // namespace comrt
