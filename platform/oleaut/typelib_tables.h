#pragma once
// A type library's descriptions in the form ITypeLib and ITypeInfo hand out: TYPEATTR,
// FUNCDESC, VARDESC, TLIBATTR and UTF-16 names, built once from a validated model and never
// changed afterwards, so the objects may share them across threads without locks. Descriptions
// handed to clients point into these tables and stay valid while the library lives.
//
// Type infos are listed in the library's order: enumerations, then interfaces, then coclasses.
// A dual interface is listed as its TKIND_DISPATCH view; its TKIND_INTERFACE (vtable) view is
// reached with GetRefTypeOfImplType(-1), as in OLE.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/oleaut/oleauto.h"
#include "platform/oleaut/typelib_model.h"

namespace comrt {

// A method as both views describe it. The dispatch view hides a retval parameter (it becomes
// the return type) and returns VT_VOID otherwise; the vtable view returns HRESULT.
struct FuncTable {
    std::u16string name;
    std::u16string help;
    std::vector<std::u16string> param_names;
    std::vector<TYPEDESC> pointees;     // targets of VT_PTR parameters
    std::vector<PARAMDESCEX> defaults;  // targets of pparamdescex
    std::vector<ELEMDESC> params;
    TYPEDESC retval_pointee{};
    FUNCDESC dispatch_view{};
    FUNCDESC vtable_view{};
};

struct ConstTable {
    std::u16string name;
    VARIANT value{};
    VARDESC desc{};
};

enum class TypeView { listed, vtable };

struct TypeEntry {
    TYPEKIND kind;            // as listed
    std::size_t model_index;  // into the model's enums, interfaces or coclasses
    std::u16string name;
    std::u16string help;
    TYPEATTR listed_attr{};
    std::optional<TYPEATTR> vtable_attr;  // dual interfaces only
    std::vector<std::unique_ptr<FuncTable>> funcs;
    std::vector<std::unique_ptr<ConstTable>> constants;
};

// The stdole IDispatch every interface here derives from; the runtime has no typeinfo for it.
inline constexpr HREFTYPE href_stdole_idispatch = 0xFFFFFFF0u;
inline constexpr MEMBERID enum_constant_memid_base = 0x40000000;

class TypeLibTables {
  public:
    // `model` must have passed validate_typelib_model.
    explicit TypeLibTables(TypeLibModel model);
    TypeLibTables(const TypeLibTables&) = delete;
    TypeLibTables& operator=(const TypeLibTables&) = delete;

    const TypeLibModel& model() const { return model_; }
    const TLIBATTR& lib_attr() const { return lib_attr_; }
    const std::u16string& name() const { return name_; }
    const std::u16string& help() const { return help_; }
    const std::vector<TypeEntry>& entries() const { return entries_; }

    static HREFTYPE href_of(std::size_t entry, TypeView view) {
        return static_cast<HREFTYPE>(entry << 2 | (view == TypeView::vtable ? 1 : 0));
    }
    // The entry and view an href names, if it names one of this library.
    std::optional<std::pair<std::size_t, TypeView>> resolve(HREFTYPE href) const;

    std::optional<std::size_t> find_func(std::size_t entry, MEMBERID memid) const;

  private:
    TypeLibModel model_;
    TLIBATTR lib_attr_{};
    std::u16string name_, help_;
    std::vector<TypeEntry> entries_;
};

// Name comparison as OLE does it: without regard to case (ASCII and Latin-1 letters).
bool names_equal(std::u16string_view a, std::u16string_view b);

}  // namespace comrt
