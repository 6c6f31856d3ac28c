#pragma once
// A type library held in memory and owned: the same content as a comrt::TypeLibDesc, but with
// its own strings and vectors, so it can come from a .tlb image as well as from source. Text is
// UTF-8. Every model the runtime hands out has passed validate_typelib_model.
#include <optional>
#include <string>
#include <vector>

#include "platform/base/hresult.h"
#include "platform/oleaut/typelib_desc.h"

namespace comrt {

struct TlbParam {
    std::string name;
    VARTYPE vt = VT_EMPTY;  // the pointee's type when by_pointer
    bool by_pointer = false;
    USHORT flags = PARAMFLAG_NONE;
    LONGLONG default_value = 0;  // meaningful with PARAMFLAG_FHASDEFAULT

    friend bool operator==(const TlbParam&, const TlbParam&) = default;
};

struct TlbFunc {
    std::string name;
    DISPID dispid = 0;
    std::string help;
    std::vector<TlbParam> params;

    friend bool operator==(const TlbFunc&, const TlbFunc&) = default;
};

// Derived from IDispatch: methods occupy the vtable slots from vtable_slot_of_first_method on.
struct TlbInterface {
    std::string name;
    IID iid{};
    std::string help;
    bool dual = false;
    bool oleautomation = false;
    bool nonextensible = false;
    std::vector<TlbFunc> funcs;

    friend bool operator==(const TlbInterface&, const TlbInterface&) = default;
};

struct TlbEnumConst {
    std::string name;
    LONG value = 0;

    friend bool operator==(const TlbEnumConst&, const TlbEnumConst&) = default;
};

struct TlbEnum {
    std::string name;
    GUID guid{};
    std::string help;
    std::vector<TlbEnumConst> constants;

    friend bool operator==(const TlbEnum&, const TlbEnum&) = default;
};

struct TlbCoClass {
    std::string name;
    CLSID clsid{};
    std::string help;
    std::optional<std::uint32_t> default_interface;  // index into TypeLibModel::interfaces
    bool creatable = false;

    friend bool operator==(const TlbCoClass&, const TlbCoClass&) = default;
};

struct TypeLibModel {
    std::string name;
    GUID libid{};
    std::string help;
    WORD major_version = 0;
    WORD minor_version = 0;
    LCID lcid = LOCALE_NEUTRAL;
    SYSKIND syskind = SYS_WIN64;
    std::vector<TlbEnum> enums;
    std::vector<TlbInterface> interfaces;
    std::vector<TlbCoClass> coclasses;

    friend bool operator==(const TypeLibModel&, const TypeLibModel&) = default;
};

// Limits that keep a hostile image from asking for absurd amounts of memory or time.
inline constexpr std::size_t tlb_max_name_length = 1024;
inline constexpr std::size_t tlb_max_help_length = 4096;
inline constexpr std::size_t tlb_max_items = 4000;  // types, members, constants or parameters

// The parameter types the runtime can pass through a vtable (see DispCallFunc).
bool is_supported_param_type(VARTYPE vt);

// S_OK, or TYPE_E_INVDATAREAD naming nothing more: names are non-empty identifiers
// (letter or '_' first, then letters, digits, '_'), text is valid UTF-8 within the limits,
// types are supported, flags are known, a default value fits its integer type, optional
// parameters are trailing, a retval parameter is the last one and an out-pointer, DISPIDs
// are unique per interface, GUIDs are unique across the library, and a coclass names an
// existing interface.
HRESULT validate_typelib_model(const TypeLibModel& model);

// The model of a description; throws std::invalid_argument when the description would not
// pass validation (a programming error in the description).
TypeLibModel typelib_model_from_desc(const TypeLibDesc& desc);

}  // namespace comrt
