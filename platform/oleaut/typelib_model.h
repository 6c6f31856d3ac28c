#pragma once
// A type library held in memory and owned, as read from an MSFT file: its type infos in the
// file's order, each with its members, and the types they name as a TYPEDESC-like chain. Text
// is UTF-8. Every model the runtime hands out has passed validate_typelib_model.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/hresult.h"
#include "platform/oleaut/oleauto.h"

namespace comrt {

// What a VT_USERDEFINED or an implemented type names: a type info of this library (by index)
// or an entry of TypeLibModel::imports.
struct TlbRef {
    bool imported = false;
    std::uint32_t index = 0;

    friend bool operator==(const TlbRef&, const TlbRef&) = default;
};

// The bounds of a C array (VT_CARRAY): per dimension, the count and the lower bound.
using TlbArrayBounds = std::vector<std::pair<ULONG, LONG>>;

// A TYPEDESC: `indirections` (VT_PTR, VT_SAFEARRAY or VT_CARRAY, outermost first) around `vt`,
// a base type or VT_USERDEFINED naming `ref`; `arrays` holds each VT_CARRAY's bounds, in order.
struct TlbType {
    std::vector<VARTYPE> indirections;
    VARTYPE vt = VT_EMPTY;
    TlbRef ref;
    std::vector<TlbArrayBounds> arrays;

    friend bool operator==(const TlbType&, const TlbType&) = default;
};

// A VARIANT's value as the library stores it: the bits of a number (its 2, 4 or 8 bytes,
// zero-extended), or text for VT_BSTR.
struct TlbValue {
    VARTYPE vt = VT_EMPTY;
    std::uint64_t bits = 0;
    std::string text;

    friend bool operator==(const TlbValue&, const TlbValue&) = default;
};

struct TlbParam {
    std::string name;  // empty: unnamed, as a property put's value is
    TlbType type;
    USHORT flags = PARAMFLAG_NONE;
    TlbValue default_value;  // with PARAMFLAG_FHASDEFAULT

    friend bool operator==(const TlbParam&, const TlbParam&) = default;
};

struct TlbFunc {
    std::string name;
    MEMBERID memid = 0;
    std::string help;
    DWORD help_context = 0;
    FUNCKIND funckind = FUNC_PUREVIRTUAL;
    INVOKEKIND invkind = INVOKE_FUNC;
    CALLCONV callconv = CC_STDCALL;
    WORD flags = 0;  // FUNCFLAG_*
    SHORT vtable_offset = 0;
    SHORT optional_count = 0;
    TlbType result;
    std::vector<TlbParam> params;

    friend bool operator==(const TlbFunc&, const TlbFunc&) = default;
};

struct TlbVar {
    std::string name;
    MEMBERID memid = 0;
    std::string help;
    DWORD help_context = 0;
    VARKIND varkind = VAR_CONST;
    WORD flags = 0;  // VARFLAG_*
    TlbType type;
    TlbValue value;    // VAR_CONST
    ULONG offset = 0;  // the others

    friend bool operator==(const TlbVar&, const TlbVar&) = default;
};

struct TlbImpl {
    TlbRef ref;
    INT flags = 0;  // IMPLTYPEFLAG_*

    friend bool operator==(const TlbImpl&, const TlbImpl&) = default;
};

// One type info. A dual interface is one entry of kind TKIND_DISPATCH with TYPEFLAG_FDUAL,
// whose functions are its vtable methods (the tables derive the dispatch view from them).
// Records and unions hold fields (VAR_PERINSTANCE), modules functions and constants.
struct TlbTypeInfo {
    TYPEKIND kind = TKIND_ENUM;
    std::string name;
    GUID guid{};
    std::string help;
    DWORD help_context = 0;
    WORD flags = 0;  // TYPEFLAG_*
    WORD major_version = 0;
    WORD minor_version = 0;
    ULONG size = 0;        // cbSizeInstance
    WORD alignment = 0;    // cbAlignment
    WORD vtable_size = 0;  // cbSizeVft as stored: the vtable's bytes, inherited slots included
    std::vector<TlbFunc> funcs;
    std::vector<TlbVar> vars;
    std::vector<TlbImpl> impls;  // a coclass's interfaces, an interface's base
    TlbType alias;               // TKIND_ALIAS

    friend bool operator==(const TlbTypeInfo&, const TlbTypeInfo&) = default;
};

// A type of another library, by its GUID (or, for a type without one, its index there);
// `href` is the HREFTYPE the file gives it.
struct TlbImport {
    HREFTYPE href = 0;
    GUID type{};
    std::int32_t type_index = -1;
    GUID library{};
    WORD major_version = 0;
    WORD minor_version = 0;
    std::string file;

    friend bool operator==(const TlbImport&, const TlbImport&) = default;
};

struct TypeLibModel {
    std::string name;
    GUID libid{};
    std::string help;
    std::string help_file;
    DWORD help_context = 0;
    WORD major_version = 0;
    WORD minor_version = 0;
    LCID lcid = LOCALE_NEUTRAL;
    SYSKIND syskind = SYS_WIN64;
    WORD flags = 0;  // LIBFLAG_*
    std::vector<TlbTypeInfo> types;
    std::vector<TlbImport> imports;
    // What every TKIND_DISPATCH answers as its implemented type 0, when the library names it.
    std::optional<TlbRef> idispatch;

    friend bool operator==(const TypeLibModel&, const TypeLibModel&) = default;
};

// Limits that keep a hostile file from asking for absurd amounts of memory or time.
inline constexpr std::size_t tlb_max_name_length = 255;  // what an MSFT name entry can hold
inline constexpr std::size_t tlb_max_help_length = 4096;
inline constexpr std::size_t tlb_max_items = 4000;  // types, members, parameters or imports
inline constexpr std::size_t tlb_max_indirections = 16;
inline constexpr std::size_t tlb_max_array_dims = 64;

// The stdole2 library, whose IUnknown and IDispatch every automation interface derives from.
inline constexpr GUID LIBID_stdole = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Whether `vt` may stand innermost in a TlbType (VT_USERDEFINED included).
bool is_model_base_type(VARTYPE vt);

// S_OK, or TYPE_E_INVDATAREAD naming nothing more: names are identifiers (parameters may have
// none)
// (letter or '_' first, then letters, digits, '_'), text is valid UTF-8 within the limits,
// kinds, types and flags are known, references name an existing type info or import, a
// default value is of its parameter's type, a retval parameter is the last one and an
// out-pointer, member ids are unique per type info (per invoke kind for functions), type
// names are unique and GUIDs are unique across the library.
HRESULT validate_typelib_model(const TypeLibModel& model);

}  // namespace comrt
