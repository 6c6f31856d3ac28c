#include <gtest/gtest.h>

#include "tests/platform/oleaut/calc_object.h"

namespace {

using calctest::CCalc;
using calctest::ICalc;

extern "C" LONGLONG MixedArguments(SHORT a, LONGLONG b, ULONG c, BYTE d, ULONGLONG e) {
    return a + b + static_cast<LONGLONG>(c) + d + static_cast<LONGLONG>(e % 1000);
}
extern "C" double Scaled(double x, float y, LONG z) {
    return x * y + z;
}
extern "C" LONG VariantValue(LONG before, VARIANT v, LONG after) {
    return v.vt == VT_I4 ? before + v.lVal + after : -1;
}

VARIANT Of(VARTYPE vt, LONGLONG bits) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = bits;
    return v;
}

TEST(DispCallFunc, CallsAVtableSlotWith64And32BitArguments) {
    CCalc calc;
    LONGLONG out = 0;
    VARIANT a = Of(VT_I8, 0x7000000000000001LL), b = Of(VT_UI4, 0xFFFFFFFFu),
            c = Of(VT_UI8, static_cast<LONGLONG>(0xFEDCBA9876543210ull)), d = Of(VT_I2, 0);
    d.iVal = -2;
    VARIANT p;
    VariantInit(&p);
    p.vt = VT_BYREF | VT_I8;
    p.pllVal = &out;
    VARTYPE types[] = {VT_I8, VT_UI4, VT_UI8, VT_I2, VT_BYREF | VT_I8};
    VARIANTARG* args[] = {&a, &b, &c, &d, &p};
    VARIANT result;
    ICalc* itf = &calc;
    ASSERT_EQ(
        DispCallFunc(itf, 10 * sizeof(void*), CC_STDCALL, VT_HRESULT, 5, types, args, &result),
        S_OK);
    EXPECT_EQ(result.vt, VT_HRESULT);
    EXPECT_EQ(result.scode, S_OK);
    EXPECT_EQ(out, 0x7000000000000001LL + 0xFFFFFFFFLL - 2);
    EXPECT_EQ(calc.last_wide_c, 0xFEDCBA9876543210ull);

    VARTYPE add_types[] = {VT_I4, VT_I4, VT_BYREF | VT_I4};
    LONG sum = 0;
    VARIANT x = Of(VT_I4, -7), y = Of(VT_I4, 3), s;
    VariantInit(&s);
    s.vt = VT_BYREF | VT_I4;
    s.plVal = nullptr;  // the method sees the null and says so
    VARIANTARG* add_args[] = {&x, &y, &s};
    ASSERT_EQ(
        DispCallFunc(itf, 7 * sizeof(void*), CC_CDECL, VT_HRESULT, 3, add_types, add_args, &result),
        S_OK);
    EXPECT_EQ(result.scode, E_POINTER);
    s.plVal = &sum;
    ASSERT_EQ(DispCallFunc(itf, 7 * sizeof(void*), CC_STDCALL, VT_HRESULT, 3, add_types, add_args,
                           &result),
              S_OK);
    EXPECT_EQ(sum, -4);
}

TEST(DispCallFunc, CallsAPlainFunctionByAddress) {
    VARIANT a = Of(VT_I2, 0), b = Of(VT_I8, 1LL << 40), c = Of(VT_UI4, 0), d = Of(VT_UI1, 0),
            e = Of(VT_UI8, 5001);
    a.iVal = -1;
    c.ulVal = 0x80000000u;
    d.bVal = 200;
    VARTYPE types[] = {VT_I2, VT_I8, VT_UI4, VT_UI1, VT_UI8};
    VARIANTARG* args[] = {&a, &b, &c, &d, &e};
    VARIANT result;
    ASSERT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&MixedArguments), CC_CDECL, VT_I8,
                           5, types, args, &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_I8);
    EXPECT_EQ(result.llVal, -1 + (1LL << 40) + 0x80000000LL + 200 + 1);

    VARIANT x = Of(VT_R8, 0), y = Of(VT_R4, 0), z = Of(VT_I4, -1);
    x.dblVal = 1.5;
    y.fltVal = 4.0f;
    VARTYPE ftypes[] = {VT_R8, VT_R4, VT_I4};
    VARIANTARG* fargs[] = {&x, &y, &z};
    ASSERT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&Scaled), CC_STDCALL, VT_R8, 3,
                           ftypes, fargs, &result),
              S_OK);
    EXPECT_DOUBLE_EQ(result.dblVal, 5.0);

    VARIANT before = Of(VT_I4, 1), inner = Of(VT_I4, 20), after = Of(VT_I4, 300);
    VARTYPE vtypes[] = {VT_I4, VT_VARIANT, VT_I4};
    VARIANTARG* vargs[] = {&before, &inner, &after};
    ASSERT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&VariantValue), CC_STDCALL, VT_I4,
                           3, vtypes, vargs, &result),
              S_OK);
    EXPECT_EQ(result.lVal, 321);
}

TEST(DispCallFunc, RefusesWhatItCannotCall) {
    CCalc calc;
    ICalc* itf = &calc;
    VARIANT result, a = Of(VT_I4, 1);
    VARTYPE bad[] = {VT_USERDEFINED};
    VARIANTARG* args[] = {&a};
    EXPECT_EQ(DispCallFunc(itf, 7 * sizeof(void*), CC_STDCALL, VT_HRESULT, 1, bad, args, &result),
              DISP_E_BADVARTYPE);
    EXPECT_EQ(
        DispCallFunc(itf, 7 * sizeof(void*), CC_FASTCALL, VT_HRESULT, 0, nullptr, nullptr, &result),
        E_INVALIDARG);
    EXPECT_EQ(DispCallFunc(itf, 7 * sizeof(void*) + 1, CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr,
                           &result),
              E_INVALIDARG);
    EXPECT_EQ(
        DispCallFunc(itf, 7 * sizeof(void*), CC_STDCALL, VT_HRESULT, 1, nullptr, nullptr, &result),
        E_INVALIDARG);
    EXPECT_EQ(
        DispCallFunc(itf, 7 * sizeof(void*), CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr, nullptr),
        E_INVALIDARG);
}

}  // namespace
