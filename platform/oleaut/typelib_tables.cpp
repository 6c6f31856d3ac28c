#include "platform/oleaut/typelib_tables.h"

#include <new>
#include <vector>

#include "platform/base/bstr.h"
#include "platform/base/utf8_text.h"
#include "platform/oleaut/typelib_stdole.h"

namespace comrt {
namespace {

constexpr HREFTYPE typeinfo_href_step = 0x64;  // a type info's size in the file's table

VARIANT variant_of(const TlbValue& value) {
    VARIANT v;
    VariantInit(&v);
    if (value.vt == VT_BSTR) {
        std::u16string text = utf8_to_utf16(value.text);
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (v.bstrVal == nullptr)
            throw std::bad_alloc();
    } else {
        v.ullVal = value.bits;  // the union's storage; a narrower member reads its low bytes
    }
    v.vt = value.vt;
    return v;
}

WORD pointer_size(SYSKIND syskind) {
    return syskind == SYS_WIN64 ? 8 : 4;
}

}  // namespace

FuncTable::~FuncTable() {
    for (PARAMDESCEX& d : defaults)
        VariantClear(&d.varDefaultValue);
}

VarTable::~VarTable() {
    VariantClear(&value);
}

void TypeLibTables::build_type(const TlbType& t, TYPEDESC& top, TypeStore& store,
                               bool stdole) const {
    TYPEDESC* current = &top;
    std::size_t arrays = 0;
    for (VARTYPE wrapper : t.indirections) {
        current->vt = wrapper;
        if (wrapper == VT_CARRAY) {
            const TlbArrayBounds& bounds = t.arrays[arrays++];
            const std::size_t bytes =
                sizeof(ARRAYDESC) + (bounds.size() - 1) * sizeof(SAFEARRAYBOUND);
            auto& words = store.arrays.emplace_back((bytes + 7) / 8, 0);
            auto* desc = new (words.data()) ARRAYDESC{};
            desc->cDims = static_cast<USHORT>(bounds.size());
            for (std::size_t d = 0; d < bounds.size(); ++d)
                desc->rgbounds[d] = {bounds[d].first, bounds[d].second};
            current->lpadesc = desc;
            current = &desc->tdescElem;
            continue;
        }
        TYPEDESC& next = store.descs.emplace_back();
        current->lptdesc = &next;
        current = &next;
    }
    current->vt = t.vt;
    if (t.vt == VT_USERDEFINED)
        current->hreftype =
            stdole ? href_stdole_base + t.ref.index * typeinfo_href_step : href_of(t.ref);
}

std::unique_ptr<FuncTable> TypeLibTables::build_func(const TlbFunc& f, bool stdole) const {
    auto t = std::make_unique<FuncTable>();
    t->name = utf8_to_utf16(f.name);
    t->help = utf8_to_utf16(f.help);
    t->help_context = f.help_context;
    const std::size_t n = f.params.size();
    // Sized once: the descriptions point into these vectors.
    t->defaults.resize(n);
    t->params.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const TlbParam& p = f.params[i];
        t->param_names.push_back(utf8_to_utf16(p.name));
        ELEMDESC& e = t->params[i];
        build_type(p.type, e.tdesc, t->typedescs, stdole);
        e.paramdesc.wParamFlags = p.flags;
        e.paramdesc.pparamdescex = nullptr;
        if (p.flags & PARAMFLAG_FHASDEFAULT) {
            t->defaults[i].cBytes = sizeof(PARAMDESCEX);
            t->defaults[i].varDefaultValue = variant_of(p.default_value);
            e.paramdesc.pparamdescex = &t->defaults[i];
        }
    }

    FUNCDESC& s = t->stored_view;
    s.memid = f.memid;
    s.lprgscode = nullptr;
    s.lprgelemdescParam = n ? t->params.data() : nullptr;
    s.funckind = f.funckind;
    s.invkind = f.invkind;
    s.callconv = f.callconv;
    s.cParams = static_cast<SHORT>(n);
    s.cParamsOpt = f.optional_count;
    s.oVft = f.vtable_offset;
    s.cScodes = 0;
    build_type(f.result, s.elemdescFunc.tdesc, t->typedescs, stdole);
    s.elemdescFunc.paramdesc = {nullptr, PARAMFLAG_NONE};
    s.wFuncFlags = f.flags;

    // A dispinterface's own methods are shown as declared, without a vtable slot; a vtable
    // method seen through a dispatch view hides its retval and lcid parameters.
    FUNCDESC& d = t->dispatch_view;
    d = s;
    d.funckind = FUNC_DISPATCH;
    const bool declared = f.funckind == FUNC_DISPATCH;
    const bool retval = !declared && n > 0 && (f.params.back().flags & PARAMFLAG_FRETVAL) &&
                        t->params.back().tdesc.vt == VT_PTR;
    for (std::size_t i = 0; i < n; ++i)
        if (declared || (!(f.params[i].flags & PARAMFLAG_FLCID) && !(retval && i + 1 == n)))
            t->dispatch_params.push_back(i);
    for (std::size_t i : t->dispatch_params)
        t->dispatch_elems.push_back(t->params[i]);
    d.cParams = static_cast<SHORT>(t->dispatch_elems.size());
    d.lprgelemdescParam = t->dispatch_elems.empty() ? nullptr : t->dispatch_elems.data();
    if (declared)
        d.oVft = 0;
    else if (retval)
        d.elemdescFunc.tdesc = *t->params.back().tdesc.lptdesc;
    else if (d.elemdescFunc.tdesc.vt == VT_HRESULT)
        d.elemdescFunc.tdesc.vt = VT_VOID;
    return t;
}

std::unique_ptr<VarTable> TypeLibTables::build_var(const TlbVar& v) const {
    auto t = std::make_unique<VarTable>();
    t->name = utf8_to_utf16(v.name);
    t->help = utf8_to_utf16(v.help);
    VARDESC& d = t->desc;
    d.memid = v.memid;
    d.lpstrSchema = nullptr;
    if (v.varkind == VAR_CONST) {
        t->value = variant_of(v.value);
        d.lpvarValue = &t->value;
    } else {
        d.oInst = v.offset;
    }
    build_type(v.type, d.elemdescVar.tdesc, t->typedescs, false);
    d.elemdescVar.paramdesc = {nullptr, PARAMFLAG_NONE};
    d.wVarFlags = v.flags;
    d.varkind = v.varkind;
    return t;
}

void TypeLibTables::build_entry(const TlbTypeInfo& t) {
    TypeEntry& entry = entries_.emplace_back();
    entry.kind = t.kind;
    entry.name = utf8_to_utf16(t.name);
    entry.help = utf8_to_utf16(t.help);
    for (const TlbFunc& f : t.funcs) {
        entry.funcs.push_back(build_func(f, false));
        entry.own_funcs.push_back(entry.funcs.back().get());
    }
    entry.listed_funcs = entry.own_funcs;
    for (const TlbVar& v : t.vars)
        entry.vars.push_back(build_var(v));

    TYPEATTR& a = entry.listed_attr;
    a.guid = t.guid;
    a.lcid = model_.lcid;
    a.memidConstructor = MEMBERID_NIL;
    a.memidDestructor = MEMBERID_NIL;
    a.lpstrSchema = nullptr;
    a.cbSizeInstance = t.size;
    a.typekind = t.kind;
    a.cFuncs = static_cast<WORD>(t.funcs.size());
    a.cVars = static_cast<WORD>(t.vars.size());
    a.cImplTypes = static_cast<WORD>(t.impls.size());
    a.cbSizeVft = t.vtable_size;
    a.cbAlignment = t.alignment;
    a.wTypeFlags = t.flags;
    a.wMajorVerNum = t.major_version;
    a.wMinorVerNum = t.minor_version;
    if (t.kind == TKIND_ALIAS)
        build_type(t.alias, a.tdescAlias, entry.typedescs, false);
    if (t.kind == TKIND_DISPATCH) {
        // As OLE shows a dispinterface: IDispatch is its one base and its vtable is IDispatch's.
        a.cImplTypes = 1;
        a.cbSizeVft = static_cast<WORD>(vtable_slot_of_first_method * pointer_size(model_.syskind));
        a.wTypeFlags &= static_cast<WORD>(~TYPEFLAG_FOLEAUTOMATION);
    }
    if (is_dual(t)) {
        TYPEATTR vtable = a;
        vtable.typekind = TKIND_INTERFACE;
        vtable.cImplTypes = static_cast<WORD>(t.impls.size());
        vtable.cbSizeVft = t.vtable_size;
        vtable.wTypeFlags = t.flags;
        entry.vtable_attr = vtable;
    }
}

TypeLibTables::TypeLibTables(TypeLibModel model) : model_(std::move(model)) {
    const TypeLibModel& m = model_;
    lib_attr_ = {m.libid,         m.lcid,
                 m.syskind,       m.major_version,
                 m.minor_version, static_cast<WORD>(m.flags | LIBFLAG_FHASDISKIMAGE)};
    name_ = utf8_to_utf16(m.name);
    help_ = utf8_to_utf16(m.help);
    help_file_ = utf8_to_utf16(m.help_file);
    for (const TlbTypeInfo& t : m.types)
        build_entry(t);
    for (std::size_t i = 0; i < m.types.size(); ++i) {
        if (!is_dual(m.types[i]))
            continue;
        std::vector<const FuncTable*> listed;
        add_inherited(m.types[i], 0, listed);
        TypeEntry& entry = entries_[i];
        listed.insert(listed.end(), entry.own_funcs.begin(), entry.own_funcs.end());
        entry.listed_funcs = std::move(listed);
        entry.listed_attr.cFuncs = static_cast<WORD>(entry.listed_funcs.size());
    }
}

// The methods the vtable of `t` inherits: its base's, after what the base inherits.
void TypeLibTables::add_inherited(const TlbTypeInfo& t, std::size_t depth,
                                  std::vector<const FuncTable*>& out) {
    if (t.impls.empty() || depth > model_.types.size())
        return;  // the end, or a loop of bases that only a damaged library has
    const TlbRef& base = t.impls[0].ref;
    if (!base.imported) {
        const TlbTypeInfo& b = model_.types[base.index];
        if (b.kind != TKIND_INTERFACE && b.kind != TKIND_DISPATCH)
            return;
        add_inherited(b, depth + 1, out);
        const auto& own = entries_[base.index].own_funcs;
        out.insert(out.end(), own.begin(), own.end());
        return;
    }
    const TlbImport& import = model_.imports[base.index];
    if (import.library != LIBID_stdole ||
        (import.type != IID_IDispatch && import.type != IID_IUnknown))
        return;  // methods of other libraries' bases are not listed
    if (stdole_funcs_.empty()) {
        const TypeLibModel& stdole = stdole_model();
        for (std::size_t k : {stdole_iunknown, stdole_idispatch})
            for (const TlbFunc& f : stdole.types[k].funcs)
                stdole_funcs_.push_back(build_func(f, true));
    }
    const std::size_t count = import.type == IID_IDispatch ? stdole_funcs_.size() : 3;
    for (std::size_t k = 0; k < count; ++k)
        out.push_back(stdole_funcs_[k].get());
}

HREFTYPE TypeLibTables::href_of(const TlbRef& ref) const {
    if (ref.imported)
        return model_.imports[ref.index].href;
    return static_cast<HREFTYPE>(ref.index) * typeinfo_href_step;
}

std::optional<TlbRef> TypeLibTables::resolve(HREFTYPE href) const {
    if ((href & 3) == 0) {
        if (href % typeinfo_href_step != 0 || href / typeinfo_href_step >= entries_.size())
            return std::nullopt;
        return TlbRef{false, href / typeinfo_href_step};
    }
    for (std::size_t i = 0; i < model_.imports.size(); ++i)
        if (model_.imports[i].href == href)
            return TlbRef{true, static_cast<std::uint32_t>(i)};
    return std::nullopt;
}

std::optional<TypeLibTables::FuncAt> TypeLibTables::find_invocable_func(std::size_t entry,
                                                                        MEMBERID memid,
                                                                        WORD flags) const {
    // Bounded by the count of types: only a damaged library has a loop of bases.
    for (std::size_t depth = 0; depth <= model_.types.size(); ++depth) {
        const auto& funcs = entries_[entry].funcs;
        for (std::size_t i = 0; i < funcs.size(); ++i)
            if (funcs[i]->stored_view.memid == memid &&
                (funcs[i]->stored_view.invkind & flags) != 0)
                return FuncAt{entry, i};
        const TlbTypeInfo& t = model_.types[entry];
        if (t.impls.empty() || t.impls[0].ref.imported)
            return std::nullopt;  // IDispatch's and IUnknown's methods are not invoked
        entry = t.impls[0].ref.index;
        const TYPEKIND kind = model_.types[entry].kind;
        if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH)
            return std::nullopt;
    }
    return std::nullopt;
}

TlbFunc TypeLibTables::invocable_view(const TlbFunc& func) const {
    TlbFunc view = func;
    for (TlbParam& p : view.params) {
        TlbType& t = p.type;
        if (t.vt != VT_USERDEFINED)
            continue;
        TYPEKIND kind = TKIND_MAX;
        WORD type_flags = 0;
        if (!t.ref.imported && t.ref.index < model_.types.size()) {
            kind = model_.types[t.ref.index].kind;
            type_flags = model_.types[t.ref.index].flags;
        } else if (t.ref.imported && t.ref.index < model_.imports.size()) {
            const TlbImport& import = model_.imports[t.ref.index];
            if (import.library == LIBID_stdole && import.type == IID_IDispatch)
                kind = TKIND_DISPATCH;
            else if (import.library == LIBID_stdole && import.type == IID_IUnknown)
                kind = TKIND_INTERFACE;
        }
        if (kind == TKIND_ENUM && t.indirections.size() <= 1) {
            t.vt = VT_I4;
        } else if ((kind == TKIND_INTERFACE || kind == TKIND_DISPATCH) &&
                   t.indirections.size() == 2) {
            // Only the out-directions: an [in] IFoo* would need a QueryInterface of what the
            // caller passes, which nothing here does.
            t.indirections.pop_back();
            const bool dispatch = kind == TKIND_DISPATCH || (type_flags & TYPEFLAG_FDUAL) != 0;
            t.vt = dispatch ? VT_DISPATCH : VT_UNKNOWN;
        }
    }
    return view;
}

bool names_equal(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    auto fold = [](char16_t c) -> char16_t {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            return c - 0x20;
        return c;
    };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

}  // namespace comrt
