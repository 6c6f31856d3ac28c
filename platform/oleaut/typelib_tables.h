#pragma once
// A type library's descriptions in the form ITypeLib and ITypeInfo hand out: TYPEATTR,
// FUNCDESC, VARDESC, TLIBATTR and UTF-16 names, built once from a validated model and never
// changed afterwards, so the objects may share them across threads without locks. Descriptions
// handed to clients point into these tables and stay valid while the library lives.
//
// Type infos are listed in the library's order. A dual interface is listed as its
// TKIND_DISPATCH view; its TKIND_INTERFACE (vtable) view is reached with
// GetRefTypeOfImplType(-1), as in OLE. HREFTYPEs are the file's: a type info of the library
// is its offset in the file's type info table (index * 0x64), an imported one its import
// entry's offset plus one, and the other view of a dual interface is -2.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/oleaut/oleauto.h"
#include "platform/oleaut/typelib_model.h"

namespace comrt {

// What the TYPEDESCs of one description point to: the pointees of VT_PTR and VT_SAFEARRAY,
// and the ARRAYDESCs of VT_CARRAY (each in words enough for its bounds).
struct TypeStore {
    std::deque<TYPEDESC> descs;
    std::deque<std::vector<std::uint64_t>> arrays;
};

// A method as the library stores it and as a dispatch view shows it: there a retval
// parameter is hidden (it becomes the return type), so is an lcid parameter, and an HRESULT
// result becomes VT_VOID.
struct FuncTable {
    FuncTable() = default;
    FuncTable(const FuncTable&) = delete;
    FuncTable& operator=(const FuncTable&) = delete;
    ~FuncTable();

    std::u16string name;
    std::u16string help;
    DWORD help_context = 0;
    std::vector<std::u16string> param_names;
    TypeStore typedescs;
    std::vector<PARAMDESCEX> defaults;  // targets of pparamdescex
    std::vector<ELEMDESC> params;
    std::vector<std::size_t> dispatch_params;  // the parameters the dispatch view shows
    std::vector<ELEMDESC> dispatch_elems;
    FUNCDESC stored_view{};
    FUNCDESC dispatch_view{};
};

struct VarTable {
    VarTable() = default;
    VarTable(const VarTable&) = delete;
    VarTable& operator=(const VarTable&) = delete;
    ~VarTable();

    std::u16string name;
    std::u16string help;
    TypeStore typedescs;
    VARIANT value{};
    VARDESC desc{};
};

enum class TypeView { listed, vtable };

struct TypeEntry {
    TYPEKIND kind;  // as listed
    std::u16string name;
    std::u16string help;
    TYPEATTR listed_attr{};
    std::optional<TYPEATTR> vtable_attr;  // dual interfaces only
    TypeStore typedescs;
    std::vector<std::unique_ptr<FuncTable>> funcs;  // its own, in the library's order
    // What the listed view shows: a dual interface's dispatch view begins with the methods
    // its vtable inherits (IUnknown's and IDispatch's), as OLE lists them.
    std::vector<const FuncTable*> listed_funcs;
    std::vector<const FuncTable*> own_funcs;
    std::vector<std::unique_ptr<VarTable>> vars;
};

inline constexpr HREFTYPE href_dual_partner = 0xFFFFFFFEu;
// The types of the runtime's stdole2 that inherited methods name: base + index * 0x64.
inline constexpr HREFTYPE href_stdole_base = 0x01000000u;

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
    const std::u16string& help_file() const { return help_file_; }
    const std::deque<TypeEntry>& entries() const { return entries_; }

    HREFTYPE href_of(const TlbRef& ref) const;
    // What an href names, if it names a type info of this library or one of its imports.
    std::optional<TlbRef> resolve(HREFTYPE href) const;

    // The index among the entry's own functions of the first with `memid`.
    // The member `memid` of `entry` that ITypeInfo::Invoke with `flags` (DISPATCH_METHOD,
    // DISPATCH_PROPERTYGET, ...: the same bits as INVOKEKIND) calls: among the type's own
    // methods, then its base's in this library, and so on up (a derived dual interface calls
    // the members it inherits). The type that declares it and its index there.
    struct FuncAt {
        std::size_t type;
        std::size_t func;
    };
    std::optional<FuncAt> find_invocable_func(std::size_t entry, MEMBERID memid, WORD flags) const;
    // `func` with its parameters typed as Invoke passes them: a pointer to an interface
    // pointer ([out] or [out, retval] IFoo**) as a pointer to VT_DISPATCH (a dual or dispatch
    // interface) or VT_UNKNOWN, an enumeration as VT_I4.
    TlbFunc invocable_view(const TlbFunc& func) const;

  private:
    std::unique_ptr<FuncTable> build_func(const TlbFunc& f, bool stdole) const;
    std::unique_ptr<VarTable> build_var(const TlbVar& v) const;
    void build_type(const TlbType& t, TYPEDESC& top, TypeStore& store, bool stdole) const;
    void build_entry(const TlbTypeInfo& t);
    void add_inherited(const TlbTypeInfo& t, std::size_t depth, std::vector<const FuncTable*>& out);

    TypeLibModel model_;
    TLIBATTR lib_attr_{};
    std::u16string name_, help_, help_file_;
    std::deque<TypeEntry> entries_;  // in place: descriptions point into them
    std::vector<std::unique_ptr<FuncTable>> stdole_funcs_;  // IUnknown's, then IDispatch's
};

// Whether an entry is a dual interface, listed as TKIND_DISPATCH with a vtable view.
inline bool is_dual(const TlbTypeInfo& t) {
    return t.kind == TKIND_DISPATCH && (t.flags & TYPEFLAG_FDUAL) != 0;
}

// Name comparison as OLE does it: without regard to case (ASCII and Latin-1 letters).
bool names_equal(std::u16string_view a, std::u16string_view b);

}  // namespace comrt
