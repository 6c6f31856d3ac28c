#pragma once
// A type library described as data: what MIDL would compile from IDL. The runtime builds its
// type information (ITypeInfo, the .tlb image, registration entries) from such a description.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

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

// Compile-time agreement of a FuncDesc with the C++ method it describes, so that a type
// library's description and its interface's vtable cannot drift apart unnoticed:
//   static_assert(comrt::describes<&IFoo::Bar>(foo_funcs[0], "Bar"));
// The name comes from the caller (C++ has no reflection of names), the slot from the index
// the caller gives (the order of declaration), the parameter types from the method's type.
namespace comrt {
namespace func_desc_detail {

// Whether a parameter passed as T (the pointee for a pointer) is described by `vt`. Several
// VARTYPEs share one C++ type (VT_I4 and VT_INT are both a 32-bit int), so this is a match,
// not a mapping.
template <class T>
constexpr bool value_matches(VARTYPE vt) {
    if constexpr (std::is_same_v<T, BSTR>)
        return vt == VT_BSTR;
    else if constexpr (std::is_same_v<T, VARIANT>)
        return vt == VT_VARIANT;
    else if constexpr (std::is_same_v<T, IDispatch*>)
        return vt == VT_DISPATCH;
    else if constexpr (std::is_same_v<T, IUnknown*>)
        return vt == VT_UNKNOWN;
    else if constexpr (std::is_integral_v<T>) {
        // By size and sign, not by name: LONG is a long on Windows and an int here.
        constexpr bool sign = std::is_signed_v<T>;
        if constexpr (sizeof(T) == 1)
            return vt == (sign ? VT_I1 : VT_UI1);
        else if constexpr (sizeof(T) == 2)
            return sign ? vt == VT_I2 || vt == VT_BOOL : vt == VT_UI2;
        else if constexpr (sizeof(T) == 4)
            return sign ? vt == VT_I4 || vt == VT_INT || vt == VT_ERROR
                        : vt == VT_UI4 || vt == VT_UINT;
        else
            return vt == (sign ? VT_I8 : VT_UI8);
    } else if constexpr (std::is_same_v<T, float>)
        return vt == VT_R4;
    else if constexpr (std::is_same_v<T, double>)
        return vt == VT_R8;
    else
        return false;
}

// A BSTR or an interface pointer is a value; any other pointer passes its pointee by pointer.
template <class T>
constexpr bool is_by_value() {
    return !std::is_pointer_v<T> || std::is_same_v<T, BSTR> || std::is_same_v<T, IDispatch*> ||
           std::is_same_v<T, IUnknown*>;
}

template <class T>
constexpr bool param_matches(const ParamDesc& p) {
    if constexpr (is_by_value<T>())
        return !p.by_pointer && value_matches<T>(p.vt);
    else
        return p.by_pointer && value_matches<std::remove_pointer_t<T>>(p.vt);
}

template <class Method>
struct method_traits;

template <class R, class C, class... Args>
struct method_traits<R (C::*)(Args...)> {
    static constexpr bool returns_hresult = std::is_same_v<R, HRESULT>;
    static constexpr std::size_t arity = sizeof...(Args);
    static constexpr bool params_match(const ParamDesc* params) {
        [[maybe_unused]] std::size_t i = 0;
        return (param_matches<Args>(params[i++]) && ...);
    }
};

}  // namespace func_desc_detail

// Whether `f` describes `Method`: the same name, an HRESULT result, as many parameters, each
// of the method's type, and an out parameter only through a pointer.
template <auto Method>
constexpr bool describes(const FuncDesc& f, std::string_view name) {
    using traits = func_desc_detail::method_traits<decltype(Method)>;
    if (f.name != name || !traits::returns_hresult || f.params.size() != traits::arity)
        return false;
    for (const ParamDesc& p : f.params)
        if ((p.flags & PARAMFLAG_FOUT) != 0 && !p.by_pointer)
            return false;
    return traits::params_match(f.params.data());
}

}  // namespace comrt
