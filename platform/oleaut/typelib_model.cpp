#include "platform/oleaut/typelib_model.h"

#include <set>
#include <utility>

#include "platform/base/utf8_text.h"

namespace comrt {
namespace {

bool is_identifier(const std::string& name) {
    if (name.empty() || name.size() > tlb_max_name_length)
        return false;
    auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!letter(name[0]))
        return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

bool is_help_text(const std::string& text) {
    return text.size() <= tlb_max_help_length && text.find('\0') == std::string::npos &&
           is_valid_utf8(text);
}

std::string folded(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return name;
}

struct Checker {
    const TypeLibModel& m;

    bool ref(const TlbRef& r) const {
        return r.imported ? r.index < m.imports.size() : r.index < m.types.size();
    }

    bool type(const TlbType& t, bool allow_void) const {
        if (t.indirections.size() > tlb_max_indirections)
            return false;
        std::size_t arrays = 0;
        for (VARTYPE v : t.indirections) {
            if (v == VT_CARRAY) {
                if (arrays == t.arrays.size() || t.arrays[arrays].empty() ||
                    t.arrays[arrays].size() > tlb_max_array_dims)
                    return false;
                ++arrays;
            } else if (v != VT_PTR && v != VT_SAFEARRAY) {
                return false;
            }
        }
        if (arrays != t.arrays.size())
            return false;
        if (!is_model_base_type(t.vt))
            return false;
        if (t.vt == VT_VOID && t.indirections.empty() && !allow_void)
            return false;
        return t.vt != VT_USERDEFINED || ref(t.ref);
    }

    static bool value(const TlbValue& v) {
        switch (v.vt) {
            case VT_BSTR:
                return is_help_text(v.text);
            case VT_I1:
            case VT_UI1:
            case VT_I2:
            case VT_UI2:
            case VT_BOOL:
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_ERROR:
            case VT_R4:
            case VT_I8:
            case VT_UI8:
            case VT_R8:
            case VT_CY:
            case VT_DATE:
                return v.text.empty();
            case VT_EMPTY:
            case VT_NULL:
            case VT_DISPATCH:  // a null pointer, as [defaultvalue(0)] of a pointer gives it
            case VT_UNKNOWN:
            case VT_VARIANT:
                return v.text.empty() && v.bits == 0;
            default:
                return false;
        }
    }

    bool param(const TlbParam& p, bool last) const {
        constexpr USHORT known = PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FLCID |
                                 PARAMFLAG_FRETVAL | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT |
                                 PARAMFLAG_FHASCUSTDATA;
        if ((!p.name.empty() && !is_identifier(p.name)) || !type(p.type, false) ||
            (p.flags & ~known) != 0)
            return false;
        if ((p.flags & PARAMFLAG_FRETVAL) &&
            (!last || p.type.indirections.empty() || !(p.flags & PARAMFLAG_FOUT)))
            return false;
        if (p.flags & PARAMFLAG_FHASDEFAULT)
            return value(p.default_value);
        return p.default_value == TlbValue{};
    }

    bool func(const TlbFunc& f) const {
        if (!is_identifier(f.name) || !is_help_text(f.help) || f.params.size() > tlb_max_items ||
            f.funckind > FUNC_DISPATCH || f.callconv >= CC_MAX || f.vtable_offset < 0 ||
            f.optional_count < -1 || f.optional_count > static_cast<SHORT>(f.params.size()) ||
            !type(f.result, true))
            return false;
        switch (f.invkind) {
            case INVOKE_FUNC:
            case INVOKE_PROPERTYGET:
            case INVOKE_PROPERTYPUT:
            case INVOKE_PROPERTYPUTREF:
                break;
            default:
                return false;
        }
        for (std::size_t i = 0; i < f.params.size(); ++i)
            if (!param(f.params[i], i + 1 == f.params.size()))
                return false;
        return true;
    }

    bool var(const TlbVar& v, TYPEKIND kind) const {
        if (!is_identifier(v.name) || !is_help_text(v.help) || v.varkind > VAR_DISPATCH ||
            !type(v.type, false))
            return false;
        // The fields of records and unions are per instance, and only theirs are.
        if ((kind == TKIND_RECORD || kind == TKIND_UNION) != (v.varkind == VAR_PERINSTANCE))
            return false;
        return v.varkind == VAR_CONST ? value(v.value) : v.value == TlbValue{};
    }

    // Members of a kind that can have them, each found by one member id (functions: by
    // id and invoke kind, as property accessors share theirs).
    bool members(const TlbTypeInfo& t) const {
        if (t.funcs.size() > tlb_max_items || t.vars.size() > tlb_max_items ||
            t.impls.size() > tlb_max_items)
            return false;
        const bool funcs_allowed =
            t.kind == TKIND_INTERFACE || t.kind == TKIND_DISPATCH || t.kind == TKIND_MODULE;
        const bool vars_allowed = t.kind == TKIND_ENUM || t.kind == TKIND_DISPATCH ||
                                  t.kind == TKIND_RECORD || t.kind == TKIND_UNION ||
                                  t.kind == TKIND_MODULE;
        if ((!funcs_allowed && !t.funcs.empty()) || (!vars_allowed && !t.vars.empty()))
            return false;
        std::set<std::pair<MEMBERID, int>> ids;
        for (const TlbFunc& f : t.funcs)
            if (!func(f) || !ids.insert({f.memid, f.invkind}).second)
                return false;
        std::set<MEMBERID> var_ids;
        for (const auto& [id, kind] : ids)
            var_ids.insert(id);
        for (const TlbVar& v : t.vars)
            if (!var(v, t.kind) || !var_ids.insert(v.memid).second)
                return false;
        return true;
    }

    bool impls(const TlbTypeInfo& t) const {
        constexpr INT known = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE |
                              IMPLTYPEFLAG_FRESTRICTED | 0x8;  // 0x8: FDEFAULTVTABLE
        const std::size_t most = t.kind == TKIND_COCLASS ? tlb_max_items
                                 : t.kind == TKIND_INTERFACE || t.kind == TKIND_DISPATCH ? 1
                                                                                         : 0;
        if (t.impls.size() > most)
            return false;
        for (const TlbImpl& i : t.impls)
            if (!ref(i.ref) || (i.flags & ~known) != 0)
                return false;
        return true;
    }

    bool type_info(const TlbTypeInfo& t) const {
        switch (t.kind) {
            case TKIND_ENUM:
            case TKIND_INTERFACE:
            case TKIND_DISPATCH:
            case TKIND_COCLASS:
            case TKIND_RECORD:
            case TKIND_UNION:
            case TKIND_MODULE:
                if (t.alias != TlbType{})
                    return false;
                break;
            case TKIND_ALIAS:
                if (!type(t.alias, false))
                    return false;
                break;
            default:
                return false;
        }
        return is_help_text(t.help) && members(t) && impls(t);
    }
};

}  // namespace

bool is_model_base_type(VARTYPE vt) {
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_VARIANT:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_VOID:
        case VT_HRESULT:
        case VT_USERDEFINED:
        case VT_LPSTR:
        case VT_LPWSTR:
            return true;
        default:
            return false;
    }
}

HRESULT validate_typelib_model(const TypeLibModel& m) {
    if (!is_identifier(m.name) || !is_help_text(m.help) || m.syskind > SYS_WIN64 ||
        m.types.size() > tlb_max_items || m.imports.size() > tlb_max_items)
        return TYPE_E_INVDATAREAD;
    const Checker check{m};
    std::set<std::string> names;
    std::set<GUID> guids{m.libid};
    for (const TlbTypeInfo& t : m.types) {
        if (!is_identifier(t.name) || !names.insert(folded(t.name)).second || !check.type_info(t))
            return TYPE_E_INVDATAREAD;
        // Only the kinds that are found by GUID need one of their own.
        if (t.guid != GUID{} && !guids.insert(t.guid).second)
            return TYPE_E_INVDATAREAD;
    }
    for (const TlbImport& i : m.imports)
        if (i.file.size() > tlb_max_name_length || !is_help_text(i.file))
            return TYPE_E_INVDATAREAD;
    if (!is_help_text(m.help_file) || (m.idispatch && !check.ref(*m.idispatch)))
        return TYPE_E_INVDATAREAD;
    return S_OK;
}

}  // namespace comrt
