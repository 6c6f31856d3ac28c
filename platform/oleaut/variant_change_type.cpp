#include "platform/oleaut/variant_change_type.h"

#include <limits>
#include <string>
#include <type_traits>

#include "platform/base/bstr.h"
#include "platform/base/hresult.h"
#include "platform/oleaut/integer_vartype.h"

namespace {

using Int = __int128;  // wide enough for every integer type and their differences
constexpr Int digits_limit = Int{1} << 100;

bool is_supported(VARTYPE vt) {
    return comrt::is_integer_vartype(vt) || vt == VT_EMPTY || vt == VT_NULL || vt == VT_BOOL ||
           vt == VT_BSTR || vt == VT_ERROR;
}

// The value a VT_BYREF variant points at, as a plain variant that owns nothing.
HRESULT dereference(const VARIANT& src, VARIANT& out) {
    VariantInit(&out);
    VARTYPE base = src.vt & ~VT_BYREF;
    if (src.byref == nullptr)
        return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT& inner = *src.pvarVal;
        if (inner.vt & VT_BYREF)
            return DISP_E_BADVARTYPE;  // one level only, as OLE
        out = inner;
        return S_OK;
    }
    out.vt = base;
    switch (base) {
        case VT_I1:
        case VT_UI1:
            out.bVal = *static_cast<BYTE*>(src.byref);
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            out.iVal = *static_cast<SHORT*>(src.byref);
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            out.lVal = *src.plVal;
            break;
        case VT_I8:
        case VT_UI8:
            out.llVal = *src.pllVal;
            break;
        case VT_BSTR:
            out.bstrVal = *src.pbstrVal;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

// Calls f(field, T{}) with the member of v that holds an integer of type vt, T being the C type
// whose range vt has (the member's own type may say less, as char does); answers `other` for any
// other type.
template <class Variant, class F, class R>
R on_integer_field(Variant& v, VARTYPE vt, F f, R other) {
    switch (vt) {
        case VT_I1:
            return f(v.cVal, std::int8_t{});
        case VT_UI1:
            return f(v.bVal, std::uint8_t{});
        case VT_I2:
            return f(v.iVal, std::int16_t{});
        case VT_UI2:
            return f(v.uiVal, std::uint16_t{});
        case VT_I4:
        case VT_INT:
            return f(v.lVal, std::int32_t{});
        case VT_UI4:
        case VT_UINT:
            return f(v.ulVal, std::uint32_t{});
        case VT_I8:
            return f(v.llVal, std::int64_t{});
        case VT_UI8:
            return f(v.ullVal, std::uint64_t{});
        default:
            return other;
    }
}

Int integer_of(const VARIANT& v) {
    if (v.vt == VT_BOOL)
        return v.boolVal;
    return on_integer_field(
        v, v.vt, [](auto field, auto) { return Int(field); }, Int{0});  // VT_EMPTY
}

bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view trimmed(BSTR text) {
    std::u16string_view s(text ? text : u"", text ? SysStringLen(text) : 0);
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Decimal text: [sign] digits [. digits], or [sign] . digits.
HRESULT parse_number(std::u16string_view s, Int& value) {
    bool negative = false;
    if (!s.empty() && (s[0] == u'-' || s[0] == u'+')) {
        negative = s[0] == u'-';
        s.remove_prefix(1);
    }
    Int whole = 0;
    bool digits = false, overflow = false;
    std::size_t i = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        digits = true;
        if (whole < digits_limit)
            whole = whole * 10 + (s[i] - u'0');
        else
            overflow = true;
    }
    int first_fraction_digit = -1;
    bool rest_nonzero = false;
    if (i < s.size() && s[i] == u'.') {
        for (++i; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            digits = true;
            if (first_fraction_digit < 0)
                first_fraction_digit = s[i] - u'0';
            else if (s[i] != u'0')
                rest_nonzero = true;
        }
    }
    if (!digits || i != s.size())
        return DISP_E_TYPEMISMATCH;
    if (overflow)
        return DISP_E_OVERFLOW;
    // Round half to even.
    if (first_fraction_digit > 5 || (first_fraction_digit == 5 && (rest_nonzero || whole % 2 == 1)))
        ++whole;
    value = negative ? -whole : whole;
    return S_OK;
}

bool equals_ignoring_case(std::u16string_view s, std::u16string_view word) {
    if (s.size() != word.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i] >= u'a' && s[i] <= u'z' ? s[i] - 32 : s[i];
        char16_t w = word[i] >= u'a' && word[i] <= u'z' ? word[i] - 32 : word[i];
        if (c != w)
            return false;
    }
    return true;
}

template <class T>
bool in_range(Int v) {
    return v >= Int(std::numeric_limits<T>::min()) && v <= Int(std::numeric_limits<T>::max());
}

HRESULT store_integer(Int v, VARTYPE vt, VARIANT& out) {
    auto store = [&](auto& field, auto type) -> HRESULT {
        if (!in_range<decltype(type)>(v))
            return DISP_E_OVERFLOW;
        field = static_cast<std::remove_reference_t<decltype(field)>>(v);
        out.vt = vt;
        return S_OK;
    };
    return on_integer_field(out, vt, store, DISP_E_BADVARTYPE);
}

HRESULT to_text(const VARIANT& v, USHORT flags, VARIANT& out) {
    std::u16string text;
    if (v.vt == VT_BOOL && (flags & VARIANT_ALPHABOOL)) {
        text = v.boolVal ? u"True" : u"False";
    } else {
        Int n = integer_of(v);
        bool negative = n < 0;
        if (negative)
            n = -n;
        do {
            text.insert(text.begin(), static_cast<char16_t>(u'0' + static_cast<int>(n % 10)));
            n /= 10;
        } while (n != 0);
        if (negative)
            text.insert(text.begin(), u'-');
    }
    out.vt = VT_BSTR;
    out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return out.bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

// Converts a plain (not by-reference) source into a new variant.
HRESULT convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& out) {
    if (src.vt == vt)
        return VariantCopy(&out, &src);
    if (vt == VT_EMPTY)
        return S_OK;  // out stays VT_EMPTY
    if (src.vt == VT_NULL || vt == VT_NULL || src.vt == VT_ERROR || vt == VT_ERROR)
        return DISP_E_TYPEMISMATCH;
    if (vt == VT_BSTR)
        return to_text(src, flags, out);
    Int value = 0;
    if (src.vt == VT_BSTR) {
        std::u16string_view text = trimmed(src.bstrVal);
        if (vt == VT_BOOL &&
            (equals_ignoring_case(text, u"True") || equals_ignoring_case(text, u"False"))) {
            value = equals_ignoring_case(text, u"True") ? 1 : 0;
        } else if (HRESULT hr = parse_number(text, value); FAILED(hr)) {
            if (vt != VT_BOOL || hr != DISP_E_OVERFLOW)
                return hr;
            value = 1;  // too big for any integer, but certainly not zero
        }
    } else {
        value = integer_of(src);
    }
    if (vt == VT_BOOL) {
        out.vt = VT_BOOL;
        out.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    return store_integer(value, vt, out);
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr)
        return E_INVALIDARG;
    VARIANT plain;
    if (pvarSrc->vt & VT_BYREF) {
        if (HRESULT hr = dereference(*pvarSrc, plain); FAILED(hr))
            return hr;
    } else {
        plain = *pvarSrc;  // borrowed, not owned
    }
    if (!is_supported(plain.vt) || !is_supported(vt))
        return DISP_E_BADVARTYPE;
    VARIANT result;
    VariantInit(&result);
    if (HRESULT hr = convert(plain, wFlags, vt, result); FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    VariantClear(pvargDest);  // after the conversion: the destination may be the source
    *pvargDest = result;
    return S_OK;
}
