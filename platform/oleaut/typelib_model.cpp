#include "platform/oleaut/typelib_model.h"

#include <limits>
#include <set>
#include <stdexcept>

#include "platform/base/utf8_text.h"
#include "platform/oleaut/integer_vartype.h"

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

// Rejects a name seen before in the same scope, regardless of ASCII case.
bool unique_name(std::set<std::string>& seen, const std::string& name) {
    return is_identifier(name) && seen.insert(folded(name)).second;
}

template <class T>
bool fits(LONGLONG value) {
    if constexpr (std::is_unsigned_v<T>)
        return value >= 0 && static_cast<ULONGLONG>(value) <= std::numeric_limits<T>::max();
    else
        return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

bool default_fits(VARTYPE vt, LONGLONG value) {
    switch (vt) {
        case VT_I1:
            return fits<std::int8_t>(value);
        case VT_UI1:
            return fits<std::uint8_t>(value);
        case VT_I2:
            return fits<std::int16_t>(value);
        case VT_UI2:
            return fits<std::uint16_t>(value);
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
            return fits<std::int32_t>(value);
        case VT_UI4:
        case VT_UINT:
            return fits<std::uint32_t>(value);
        case VT_I8:
        case VT_UI8:
            return true;  // a UI8 default is stored as its bit pattern
        case VT_BOOL:
            return value == 0 || value == VARIANT_TRUE;
        default:
            return false;  // no default of a non-integer type can be described
    }
}

constexpr USHORT known_param_flags =
    PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;

bool valid_params(const std::vector<TlbParam>& params) {
    if (params.size() > tlb_max_items)
        return false;
    std::set<std::string> names;
    bool optional_seen = false;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const TlbParam& p = params[i];
        bool last = i + 1 == params.size();
        if (!unique_name(names, p.name) || !is_supported_param_type(p.vt) ||
            (p.flags & ~known_param_flags) != 0)
            return false;
        bool optional = (p.flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0;
        if ((p.flags & PARAMFLAG_FOUT) && !p.by_pointer)
            return false;
        if (p.flags & PARAMFLAG_FRETVAL) {
            if (!last || !p.by_pointer || !(p.flags & PARAMFLAG_FOUT) || optional)
                return false;
            continue;
        }
        if ((p.flags & PARAMFLAG_FHASDEFAULT) &&
            (p.by_pointer || !default_fits(p.vt, p.default_value)))
            return false;
        if (!(p.flags & PARAMFLAG_FHASDEFAULT) && p.default_value != 0)
            return false;
        if (optional_seen && !optional)
            return false;  // optional parameters are trailing
        optional_seen = optional_seen || optional;
    }
    return true;
}

bool valid_interface(const TlbInterface& itf) {
    if (!is_help_text(itf.help) || itf.funcs.size() > tlb_max_items)
        return false;
    std::set<std::string> names;
    std::set<DISPID> dispids;
    for (const TlbFunc& f : itf.funcs) {
        if (!unique_name(names, f.name) || !is_help_text(f.help) || f.dispid == DISPID_UNKNOWN ||
            !dispids.insert(f.dispid).second || !valid_params(f.params))
            return false;
    }
    return true;
}

bool valid_enum(const TlbEnum& e) {
    if (!is_help_text(e.help) || e.constants.size() > tlb_max_items)
        return false;
    std::set<std::string> names;
    for (const TlbEnumConst& c : e.constants)
        if (!unique_name(names, c.name))
            return false;
    return true;
}

}  // namespace

bool is_supported_param_type(VARTYPE vt) {
    return is_integer_vartype(vt) || vt == VT_BOOL || vt == VT_ERROR || vt == VT_R4 ||
           vt == VT_R8 || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN ||
           vt == VT_VARIANT;
}

HRESULT validate_typelib_model(const TypeLibModel& m) {
    if (!is_identifier(m.name) || !is_help_text(m.help) || m.syskind > SYS_WIN64 ||
        m.enums.size() + m.interfaces.size() + m.coclasses.size() > tlb_max_items)
        return TYPE_E_INVDATAREAD;
    std::set<std::string> type_names;
    std::set<GUID> guids{m.libid};
    for (const TlbEnum& e : m.enums)
        if (!unique_name(type_names, e.name) || !guids.insert(e.guid).second || !valid_enum(e))
            return TYPE_E_INVDATAREAD;
    for (const TlbInterface& i : m.interfaces)
        if (!unique_name(type_names, i.name) || !guids.insert(i.iid).second || !valid_interface(i))
            return TYPE_E_INVDATAREAD;
    for (const TlbCoClass& c : m.coclasses)
        if (!unique_name(type_names, c.name) || !guids.insert(c.clsid).second ||
            !is_help_text(c.help) ||
            (c.default_interface && *c.default_interface >= m.interfaces.size()))
            return TYPE_E_INVDATAREAD;
    return S_OK;
}

TypeLibModel typelib_model_from_desc(const TypeLibDesc& d) {
    TypeLibModel m;
    m.name = d.name;
    m.libid = d.libid;
    m.help = d.help;
    m.major_version = d.major_version;
    m.minor_version = d.minor_version;
    m.lcid = d.lcid;
    m.syskind = d.syskind;
    for (const EnumDesc& e : d.enums) {
        TlbEnum& out = m.enums.emplace_back();
        out.name = e.name, out.guid = e.guid, out.help = e.help;
        for (const EnumConstDesc& c : e.constants)
            out.constants.push_back({std::string(c.name), c.value});
    }
    for (const InterfaceDesc& i : d.interfaces) {
        TlbInterface& out = m.interfaces.emplace_back();
        out.name = i.name, out.iid = i.iid, out.help = i.help;
        out.dual = i.dual, out.oleautomation = i.oleautomation, out.nonextensible = i.nonextensible;
        for (const FuncDesc& f : i.funcs) {
            TlbFunc& func = out.funcs.emplace_back();
            func.name = f.name, func.dispid = f.dispid, func.help = f.help;
            for (const ParamDesc& p : f.params)
                func.params.push_back(
                    {std::string(p.name), p.vt, p.by_pointer, p.flags, p.default_value});
        }
    }
    for (const CoClassDesc& c : d.coclasses) {
        TlbCoClass& out = m.coclasses.emplace_back();
        out.name = c.name, out.clsid = c.clsid, out.help = c.help, out.creatable = c.creatable;
        if (c.default_interface != nullptr) {
            std::size_t index = 0;
            while (index < d.interfaces.size() && &d.interfaces[index] != c.default_interface)
                ++index;
            if (index == d.interfaces.size())
                throw std::invalid_argument("coclass names an interface outside the library");
            out.default_interface = static_cast<std::uint32_t>(index);
        }
    }
    if (FAILED(validate_typelib_model(m)))
        throw std::invalid_argument("type library description " + m.name + " is not valid");
    return m;
}

}  // namespace comrt
