#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

struct Variant {
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    VARIANT v;
};

Variant Text(const char16_t* text) {
    Variant x;
    x.v.vt = VT_BSTR;
    x.v.bstrVal = SysAllocString(text);
    return x;
}

TEST(VariantChangeType, TextToIntegers) {
    struct Case {
        const char16_t* text;
        VARTYPE vt;
        HRESULT hr;
        LONGLONG value;
    };
    const Case cases[] = {
        {u"42", VT_I4, S_OK, 42},
        {u"  -17\t", VT_I4, S_OK, -17},
        {u"+5", VT_I2, S_OK, 5},
        {u"2147483647", VT_I4, S_OK, 2147483647},
        {u"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
        {u"-2147483648", VT_I4, S_OK, -2147483648LL},
        {u"4294967295", VT_UI4, S_OK, 4294967295LL},
        {u"-1", VT_UI4, DISP_E_OVERFLOW, 0},
        {u"32768", VT_I2, DISP_E_OVERFLOW, 0},
        {u"65535", VT_UI2, S_OK, 65535},
        {u"9223372036854775807", VT_I8, S_OK, 9223372036854775807LL},
        {u"9223372036854775808", VT_I8, DISP_E_OVERFLOW, 0},
        {u"123456789012345678901234567890123456789", VT_UI8, DISP_E_OVERFLOW, 0},
        {u"2.5", VT_I4, S_OK, 2},  // half to even
        {u"3.5", VT_I4, S_OK, 4},
        {u"2.51", VT_I4, S_OK, 3},
        {u"-0.4", VT_I4, S_OK, 0},
        {u"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"1 2", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"-", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"\u0661", VT_I4, DISP_E_TYPEMISMATCH, 0},  // only ASCII digits
    };
    for (const Case& c : cases) {
        Variant src = Text(c.text);
        Variant dest;
        EXPECT_EQ(VariantChangeType(&dest.v, &src.v, 0, c.vt), c.hr) << std::hex << c.vt;
        if (c.hr != S_OK) {
            EXPECT_EQ(dest.v.vt, VT_EMPTY);  // untouched on failure
            continue;
        }
        EXPECT_EQ(dest.v.vt, c.vt);
        switch (c.vt) {
            case VT_I2:
                EXPECT_EQ(dest.v.iVal, c.value);
                break;
            case VT_UI2:
                EXPECT_EQ(dest.v.uiVal, c.value);
                break;
            case VT_I4:
                EXPECT_EQ(dest.v.lVal, c.value);
                break;
            case VT_UI4:
                EXPECT_EQ(dest.v.ulVal, static_cast<ULONG>(c.value));
                break;
            default:
                EXPECT_EQ(dest.v.llVal, c.value);
                break;
        }
    }
}

TEST(VariantChangeType, BooleansAndText) {
    struct Case {
        const char16_t* text;
        HRESULT hr;
        VARIANT_BOOL value;
    };
    const Case cases[] = {{u"True", S_OK, VARIANT_TRUE},   {u"false", S_OK, VARIANT_FALSE},
                          {u" TRUE ", S_OK, VARIANT_TRUE}, {u"0", S_OK, VARIANT_FALSE},
                          {u"-1", S_OK, VARIANT_TRUE},     {u"7", S_OK, VARIANT_TRUE},
                          {u"yes", DISP_E_TYPEMISMATCH, 0}};
    for (const Case& c : cases) {
        Variant src = Text(c.text), dest;
        EXPECT_EQ(VariantChangeType(&dest.v, &src.v, 0, VT_BOOL), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(dest.v.boolVal, c.value);
        }
    }
    Variant b, text;
    b.v.vt = VT_BOOL;
    b.v.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&text.v, &b.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string_view(text.v.bstrVal), u"-1");
    ASSERT_EQ(VariantChangeType(&text.v, &b.v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string_view(text.v.bstrVal), u"True");
    ASSERT_EQ(VariantChangeType(&b.v, &b.v, 0, VT_I4), S_OK);  // in place
    EXPECT_EQ(b.v.vt, VT_I4);
    EXPECT_EQ(b.v.lVal, -1);
}

TEST(VariantChangeType, IntegersBetweenTypesAndToText) {
    Variant big;
    big.v.vt = VT_UI8;
    big.v.ullVal = 18446744073709551615ull;
    Variant text, narrow;
    ASSERT_EQ(VariantChangeType(&text.v, &big.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string_view(text.v.bstrVal), u"18446744073709551615");
    EXPECT_EQ(VariantChangeType(&narrow.v, &big.v, 0, VT_I8), DISP_E_OVERFLOW);
    Variant negative;
    negative.v.vt = VT_I8;
    negative.v.llVal = -9223372036854775807LL - 1;
    ASSERT_EQ(VariantChangeType(&text.v, &negative.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string_view(text.v.bstrVal), u"-9223372036854775808");
    EXPECT_EQ(VariantChangeType(&narrow.v, &negative.v, 0, VT_UI4), DISP_E_OVERFLOW);

    LONG value = 77;  // read through a reference
    Variant ref;
    ref.v.vt = VT_BYREF | VT_I4;
    ref.v.plVal = &value;
    ASSERT_EQ(VariantChangeType(&narrow.v, &ref.v, 0, VT_UI1), S_OK);
    EXPECT_EQ(narrow.v.bVal, 77);
    ref.v.vt = VT_EMPTY;  // not owned

    Variant empty, zero;
    ASSERT_EQ(VariantChangeType(&zero.v, &empty.v, 0, VT_I4), S_OK);
    EXPECT_EQ(zero.v.lVal, 0);
    Variant null;
    null.v.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&zero.v, &null.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    Variant real;
    real.v.vt = VT_R8;
    EXPECT_EQ(VariantChangeType(&zero.v, &real.v, 0, VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(nullptr, &real.v, 0, VT_I4), E_INVALIDARG);
}

}  // namespace
