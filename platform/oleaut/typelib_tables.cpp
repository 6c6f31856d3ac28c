#include "platform/oleaut/typelib_tables.h"

#include "platform/base/utf8_text.h"

namespace comrt {
namespace {

constexpr WORD pointer_size = sizeof(void*);

VARIANT default_variant(const TlbParam& p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = p.vt;
    switch (p.vt) {
        case VT_I1:
            v.cVal = static_cast<char>(p.default_value);
            break;
        case VT_UI1:
            v.bVal = static_cast<BYTE>(p.default_value);
            break;
        case VT_I2:
            v.iVal = static_cast<SHORT>(p.default_value);
            break;
        case VT_UI2:
            v.uiVal = static_cast<USHORT>(p.default_value);
            break;
        case VT_BOOL:
            v.boolVal = static_cast<VARIANT_BOOL>(p.default_value);
            break;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
            v.lVal = static_cast<LONG>(p.default_value);
            break;
        case VT_UI4:
        case VT_UINT:
            v.ulVal = static_cast<ULONG>(p.default_value);
            break;
        default:
            v.llVal = p.default_value;
            break;  // VT_I8, VT_UI8
    }
    return v;
}

std::unique_ptr<FuncTable> build_func(const TlbFunc& f, std::size_t index) {
    auto t = std::make_unique<FuncTable>();
    t->name = utf8_to_utf16(f.name);
    t->help = utf8_to_utf16(f.help);
    const std::size_t n = f.params.size();
    // Sized once: the descriptions point into these vectors.
    t->pointees.resize(n);
    t->defaults.resize(n);
    t->params.resize(n);
    SHORT optional = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const TlbParam& p = f.params[i];
        t->param_names.push_back(utf8_to_utf16(p.name));
        ELEMDESC& e = t->params[i];
        if (p.by_pointer) {
            t->pointees[i].vt = p.vt;
            e.tdesc.lptdesc = &t->pointees[i];
            e.tdesc.vt = VT_PTR;
        } else {
            e.tdesc.vt = p.vt;
        }
        e.paramdesc.wParamFlags = p.flags;
        e.paramdesc.pparamdescex = nullptr;
        if (p.flags & PARAMFLAG_FHASDEFAULT) {
            t->defaults[i].cBytes = sizeof(PARAMDESCEX);
            t->defaults[i].varDefaultValue = default_variant(p);
            e.paramdesc.pparamdescex = &t->defaults[i];
        }
        if (p.flags & PARAMFLAG_FOPT)
            ++optional;
    }
    bool has_retval = n > 0 && (f.params.back().flags & PARAMFLAG_FRETVAL);

    FUNCDESC& v = t->vtable_view;
    v.memid = f.dispid;
    v.lprgscode = nullptr;
    v.lprgelemdescParam = n ? t->params.data() : nullptr;
    v.funckind = FUNC_PUREVIRTUAL;
    v.invkind = INVOKE_FUNC;
    v.callconv = CC_STDCALL;
    v.cParams = static_cast<SHORT>(n);
    v.cParamsOpt = optional;
    v.oVft = static_cast<SHORT>((vtable_slot_of_first_method + index) * pointer_size);
    v.cScodes = 0;
    v.elemdescFunc.tdesc.vt = VT_HRESULT;
    v.wFuncFlags = 0;

    FUNCDESC& d = t->dispatch_view;
    d = v;
    d.funckind = FUNC_DISPATCH;
    d.elemdescFunc.tdesc.vt = VT_VOID;
    if (has_retval) {
        d.cParams = static_cast<SHORT>(n - 1);
        if (d.cParams == 0)
            d.lprgelemdescParam = nullptr;
        d.elemdescFunc.tdesc = t->pointees[n - 1];
    }
    return t;
}

TYPEATTR base_attr(const GUID& guid, LCID lcid, TYPEKIND kind) {
    TYPEATTR a{};
    a.guid = guid;
    a.lcid = lcid;
    a.memidConstructor = MEMBERID_NIL;
    a.memidDestructor = MEMBERID_NIL;
    a.typekind = kind;
    a.cbSizeInstance = pointer_size;
    a.cbAlignment = pointer_size;
    return a;
}

}  // namespace

TypeLibTables::TypeLibTables(TypeLibModel model) : model_(std::move(model)) {
    const TypeLibModel& m = model_;
    lib_attr_ = {m.libid,         m.lcid,          m.syskind,
                 m.major_version, m.minor_version, LIBFLAG_FHASDISKIMAGE};
    name_ = utf8_to_utf16(m.name);
    help_ = utf8_to_utf16(m.help);

    for (std::size_t i = 0; i < m.enums.size(); ++i) {
        const TlbEnum& e = m.enums[i];
        TypeEntry& entry = entries_.emplace_back();
        entry.kind = TKIND_ENUM, entry.model_index = i;
        entry.name = utf8_to_utf16(e.name), entry.help = utf8_to_utf16(e.help);
        entry.listed_attr = base_attr(e.guid, m.lcid, TKIND_ENUM);
        entry.listed_attr.cVars = static_cast<WORD>(e.constants.size());
        entry.listed_attr.cbSizeInstance = entry.listed_attr.cbAlignment = sizeof(LONG);
        for (std::size_t k = 0; k < e.constants.size(); ++k) {
            auto c = std::make_unique<ConstTable>();
            c->name = utf8_to_utf16(e.constants[k].name);
            VariantInit(&c->value);
            c->value.vt = VT_I4;
            c->value.lVal = e.constants[k].value;
            c->desc.memid = enum_constant_memid_base + static_cast<MEMBERID>(k);
            c->desc.lpstrSchema = nullptr;
            c->desc.lpvarValue = &c->value;
            c->desc.elemdescVar.tdesc.vt = VT_I4;
            c->desc.elemdescVar.paramdesc = {nullptr, PARAMFLAG_NONE};
            c->desc.wVarFlags = 0;
            c->desc.varkind = VAR_CONST;
            entry.constants.push_back(std::move(c));
        }
    }
    for (std::size_t i = 0; i < m.interfaces.size(); ++i) {
        const TlbInterface& itf = m.interfaces[i];
        TypeEntry& entry = entries_.emplace_back();
        entry.kind = itf.dual ? TKIND_DISPATCH : TKIND_INTERFACE, entry.model_index = i;
        entry.name = utf8_to_utf16(itf.name), entry.help = utf8_to_utf16(itf.help);
        for (std::size_t k = 0; k < itf.funcs.size(); ++k)
            entry.funcs.push_back(build_func(itf.funcs[k], k));

        WORD flags = TYPEFLAG_FDISPATCHABLE;  // every interface here derives from IDispatch
        if (itf.dual)
            flags |= TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION;
        if (itf.oleautomation)
            flags |= TYPEFLAG_FOLEAUTOMATION;
        if (itf.nonextensible)
            flags |= TYPEFLAG_FNONEXTENSIBLE;
        TYPEATTR vtable = base_attr(itf.iid, m.lcid, TKIND_INTERFACE);
        vtable.cFuncs = static_cast<WORD>(itf.funcs.size());
        vtable.cImplTypes = 1;
        vtable.cbSizeVft =
            static_cast<WORD>((vtable_slot_of_first_method + itf.funcs.size()) * pointer_size);
        vtable.wTypeFlags = flags;
        if (itf.dual) {
            TYPEATTR dispatch = vtable;
            dispatch.typekind = TKIND_DISPATCH;
            dispatch.cbSizeVft = vtable_slot_of_first_method * pointer_size;  // IDispatch's own
            entry.listed_attr = dispatch;
            entry.vtable_attr = vtable;
        } else {
            entry.listed_attr = vtable;
        }
    }
    for (std::size_t i = 0; i < m.coclasses.size(); ++i) {
        const TlbCoClass& c = m.coclasses[i];
        TypeEntry& entry = entries_.emplace_back();
        entry.kind = TKIND_COCLASS, entry.model_index = i;
        entry.name = utf8_to_utf16(c.name), entry.help = utf8_to_utf16(c.help);
        entry.listed_attr = base_attr(c.clsid, m.lcid, TKIND_COCLASS);
        entry.listed_attr.cImplTypes = c.default_interface ? 1 : 0;
        entry.listed_attr.wTypeFlags = c.creatable ? TYPEFLAG_FCANCREATE : 0;
    }
}

std::optional<std::pair<std::size_t, TypeView>> TypeLibTables::resolve(HREFTYPE href) const {
    std::size_t entry = href >> 2;
    if (entry >= entries_.size() || (href & 2))
        return std::nullopt;
    if (href & 1) {
        if (!entries_[entry].vtable_attr)
            return std::nullopt;
        return std::pair{entry, TypeView::vtable};
    }
    return std::pair{entry, TypeView::listed};
}

std::optional<std::size_t> TypeLibTables::find_func(std::size_t entry, MEMBERID memid) const {
    const auto& funcs = entries_[entry].funcs;
    for (std::size_t i = 0; i < funcs.size(); ++i)
        if (funcs[i]->vtable_view.memid == memid)
            return i;
    return std::nullopt;
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
