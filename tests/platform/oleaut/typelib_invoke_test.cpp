#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/platform/oleaut/calc_object.h"
#include "tests/support/error_info_probe.h"

namespace {

using calctest::CCalc;

// Arguments in call order; rgvarg gets them reversed, as Invoke expects.
class Args {
  public:
    Args& I4(LONG v) {
        return Push([&](VARIANT& x) {
            x.vt = VT_I4;
            x.lVal = v;
        });
    }
    Args& UI4(ULONG v) {
        return Push([&](VARIANT& x) {
            x.vt = VT_UI4;
            x.ulVal = v;
        });
    }
    Args& I8(LONGLONG v) {
        return Push([&](VARIANT& x) {
            x.vt = VT_I8;
            x.llVal = v;
        });
    }
    Args& Text(const char16_t* v) {
        BSTR b = SysAllocString(v);
        owned_.push_back(b);
        return Push([&](VARIANT& x) {
            x.vt = VT_BSTR;
            x.bstrVal = b;
        });
    }
    Args& Ref(VARTYPE vt, void* p) {
        return Push([&](VARIANT& x) {
            x.vt = VT_BYREF | vt;
            x.byref = p;
        });
    }
    Args& Missing() {
        return Push([&](VARIANT& x) {
            x.vt = VT_ERROR;
            x.scode = DISP_E_PARAMNOTFOUND;
        });
    }
    ~Args() {
        for (BSTR b : owned_)
            SysFreeString(b);
    }
    DISPPARAMS* params() {
        reversed_.assign(in_order_.rbegin(), in_order_.rend());
        dp_ = {reversed_.data(), nullptr, static_cast<UINT>(reversed_.size()), 0};
        return &dp_;
    }

  private:
    template <class F>
    Args& Push(F fill) {
        VARIANT v;
        VariantInit(&v);
        fill(v);
        in_order_.push_back(v);
        return *this;
    }
    std::vector<VARIANT> in_order_, reversed_;
    std::vector<BSTR> owned_;
    DISPPARAMS dp_{};
};

struct ExcepInfo : EXCEPINFO {
    ExcepInfo() : EXCEPINFO{} {}
    ~ExcepInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
};

HRESULT Call(CCalc& calc, DISPID id, Args& args, EXCEPINFO* ei = nullptr, UINT* arg_err = nullptr,
             VARIANT* result = nullptr) {
    return calc.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, args.params(), result, ei, arg_err);
}

TEST(TypeLibInvoke, CallsTheVtableSlotWithPositionalArguments) {
    CCalc calc;
    ASSERT_NE(calc.type_info(), nullptr);
    LONG sum = 0;
    Args args;
    args.I4(40).I4(2).Ref(VT_I4, &sum);
    EXPECT_EQ(Call(calc, 1, args), S_OK);
    EXPECT_EQ(sum, 42);
}

TEST(TypeLibInvoke, OmittedOptionalArgumentTakesItsDefault) {
    CCalc calc;
    _bstr_t text;
    LONG length = 0;
    Args omitted;
    omitted.Text(u"ab").I4(2).Ref(VT_BSTR, text.GetAddress()).Ref(VT_I4, &length);
    EXPECT_EQ(Call(calc, 2, omitted), S_OK);
    EXPECT_EQ(calc.last_scale, 130u);
    EXPECT_EQ(text.view(), u"abab");
    EXPECT_EQ(length, 4);

    Args missing;  // passed as "missing" is the same as omitted
    missing.Text(u"x").I4(1).Ref(VT_BSTR, text.GetAddress()).Ref(VT_I4, &length).Missing();
    EXPECT_EQ(Call(calc, 2, missing), S_OK);
    EXPECT_EQ(calc.last_scale, 130u);

    Args given;
    given.Text(u"x").I4(3).Ref(VT_BSTR, text.GetAddress()).Ref(VT_I4, &length).UI4(7);
    EXPECT_EQ(Call(calc, 2, given), S_OK);
    EXPECT_EQ(calc.last_scale, 7u);
    EXPECT_EQ(text.view(), u"xxx");
}

TEST(TypeLibInvoke, CoercesByValueArgumentsToTheDeclaredType) {
    CCalc calc;
    LONG sum = 0;
    Args args;
    args.Text(u"42").Text(u" -2 ").Ref(VT_I4, &sum);
    EXPECT_EQ(Call(calc, 1, args), S_OK);
    EXPECT_EQ(sum, 40);

    LONG by_ref = 5;  // a by-reference argument for a by-value parameter is read through
    Args refs;
    refs.Ref(VT_I4, &by_ref).I8(1).Ref(VT_I4, &sum);
    EXPECT_EQ(Call(calc, 1, refs), S_OK);
    EXPECT_EQ(sum, 6);
}

TEST(TypeLibInvoke, ArgumentErrorsNameTheArgument) {
    CCalc calc;
    LONG sum = 0;
    struct Case {
        const char* what;
        HRESULT expected;
        UINT arg_err;  // index in rgvarg (reverse order)
        std::function<void(Args&)> build;
    };
    const Case cases[] = {
        {"text that is no number", DISP_E_TYPEMISMATCH, 2,
         [&](Args& a) { a.Text(u"abc").I4(1).Ref(VT_I4, &sum); }},
        {"number too big for LONG", DISP_E_OVERFLOW, 1,
         [&](Args& a) { a.I4(1).Text(u"99999999999").Ref(VT_I4, &sum); }},
        {"64-bit value too big for LONG", DISP_E_OVERFLOW, 2,
         [&](Args& a) { a.I8(1LL << 40).I4(1).Ref(VT_I4, &sum); }},
        {"out-parameter of the wrong type", DISP_E_TYPEMISMATCH, 0,
         [&](Args& a) { a.I4(1).I4(1).I4(0); }},
        {"required argument passed as missing", DISP_E_PARAMNOTOPTIONAL, 2,
         [&](Args& a) { a.Missing().I4(1).Ref(VT_I4, &sum); }},
    };
    for (const Case& c : cases) {
        Args args;
        c.build(args);
        UINT arg_err = 99;
        EXPECT_EQ(Call(calc, 1, args, nullptr, &arg_err), c.expected) << c.what;
        EXPECT_EQ(arg_err, c.arg_err) << c.what;
    }
}

TEST(TypeLibInvoke, WrongArgumentCountsAndCallShapesAreRefused) {
    CCalc calc;
    LONG sum = 0;
    Args too_few;
    too_few.I4(1).I4(2);
    EXPECT_EQ(Call(calc, 1, too_few), DISP_E_BADPARAMCOUNT);
    Args too_many;
    too_many.I4(1).I4(2).Ref(VT_I4, &sum).I4(4);
    EXPECT_EQ(Call(calc, 1, too_many), DISP_E_BADPARAMCOUNT);
    Args describe_short;  // the optional one may go, the out-pointers may not
    describe_short.Text(u"a").I4(1).Ref(VT_I4, &sum);
    EXPECT_EQ(Call(calc, 2, describe_short), DISP_E_BADPARAMCOUNT);

    Args fine;
    fine.I4(1).I4(2).Ref(VT_I4, &sum);
    EXPECT_EQ(Call(calc, 99, fine), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(
        calc.Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, fine.params(), nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(calc.Invoke(1, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, fine.params(),
                          nullptr, nullptr, nullptr),
              S_OK);
    DISPPARAMS* named = fine.params();
    DISPID name = 0;
    named->rgdispidNamedArgs = &name;
    named->cNamedArgs = 1;
    EXPECT_EQ(calc.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, named, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    EXPECT_EQ(calc.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              E_INVALIDARG);
}

TEST(TypeLibInvoke, MissingOutArgumentsArriveAsNullPointers) {
    CCalc calc;
    Args args;
    args.Text(u"a").I4(1).Missing().Missing();
    ExcepInfo ei;
    EXPECT_EQ(Call(calc, 2, args, &ei), DISP_E_EXCEPTION);
    EXPECT_TRUE(calc.saw_null_out);
    EXPECT_EQ(ei.scode, E_POINTER);
}

TEST(TypeLibInvoke, FailureWithErrorInformationFillsExcepInfo) {
    CCalc calc;
    Args args;
    args.I4(static_cast<LONG>(0x80040201));
    ExcepInfo ei;
    EXPECT_EQ(Call(calc, 3, args, &ei), DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, static_cast<SCODE>(0x80040201));
    EXPECT_EQ(std::u16string_view(ei.bstrSource), u"Calc.Test");
    EXPECT_EQ(std::u16string_view(ei.bstrDescription), u"calc failed");
    EXPECT_EQ(ei.wCode, 0);
    // The information also stays the thread's, as after a direct call.
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->description, u"calc failed");
}

TEST(TypeLibInvoke, EarlierErrorInformationIsNotReportedAsTheCallsOwn) {
    CCalc calc;
    Args setup;
    setup.I4(static_cast<LONG>(0x80040202));
    EXPECT_EQ(Call(calc, 3, setup), DISP_E_EXCEPTION);  // leaves "calc failed" on the thread

    Args args;
    args.I4(0);  // fails with E_FAIL and sets no information
    ExcepInfo ei;
    EXPECT_EQ(Call(calc, 3, args, &ei), DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, E_FAIL);
    EXPECT_EQ(ei.bstrDescription, nullptr);
    EXPECT_EQ(ei.bstrSource, nullptr);
    auto seen = kivtest::TakeErrorInfo();  // the earlier information is kept as it was
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->description, u"calc failed");
}

TEST(TypeLibInvoke, RetvalBecomesTheResult) {
    CCalc calc;
    Args args;
    args.I4(21);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(calc, 5, args, nullptr, nullptr, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);
}

TEST(TypeLibInvoke, SixtyFourBitArgumentsKeepEveryBit) {
    CCalc calc;
    LONGLONG out = 0;
    Args args;
    args.I8(0x123456789ALL).UI4(0xFFFFFFFFu).Text(u"18446744073709551615").I4(-3).Ref(VT_I8, &out);
    EXPECT_EQ(Call(calc, 4, args), S_OK);
    EXPECT_EQ(out, 0x123456789ALL + 0xFFFFFFFFLL - 3);
    EXPECT_EQ(calc.last_wide_c, 0xFFFFFFFFFFFFFFFFull);
}

// Scripting engines pass every variable as a VARIANT by reference, whatever it holds.
TEST(TypeLibInvoke, TypedOutParametersFillVariablesPassedByReference) {
    CCalc calc;
    struct Case {
        const char* what;
        std::function<void(VARIANT&)> start;
    };
    const Case cases[] = {
        {"empty", [](VARIANT&) {}},
        {"holding a number",
         [](VARIANT& v) {
             v.vt = VT_I4;
             v.lVal = 5;
         }},
        {"holding a string",
         [](VARIANT& v) {
             v.vt = VT_BSTR;
             v.bstrVal = SysAllocString(u"x");
         }},
    };
    for (const Case& c : cases) {
        VARIANT text, length;
        VariantInit(&text);
        VariantInit(&length);
        c.start(text);
        c.start(length);
        Args args;
        args.Text(u"ab").I4(2).Ref(VT_VARIANT, &text).Ref(VT_VARIANT, &length);
        EXPECT_EQ(Call(calc, 2, args), S_OK) << c.what;
        ASSERT_EQ(text.vt, VT_BSTR) << c.what;
        EXPECT_EQ(std::u16string_view(text.bstrVal), u"abab") << c.what;
        ASSERT_EQ(length.vt, VT_I4) << c.what;
        EXPECT_EQ(length.lVal, 4) << c.what;
        VariantClear(&text);
        VariantClear(&length);
    }

    VARIANT kept;  // a failed call leaves the variable as it was
    VariantInit(&kept);
    kept.vt = VT_I4;
    kept.lVal = 7;
    Args failing;
    failing.Text(u"ab").I4(2).Ref(VT_VARIANT, &kept).Missing();
    EXPECT_EQ(Call(calc, 2, failing), DISP_E_EXCEPTION);
    EXPECT_EQ(kept.vt, VT_I4);
    EXPECT_EQ(kept.lVal, 7);
}

TEST(TypeLibInvoke, GetIDsOfNamesIgnoresCase) {
    CCalc calc;
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"describe"), const_cast<LPOLESTR>(u"SCALE"),
                        const_cast<LPOLESTR>(u"pbstrout")};
    DISPID ids[3] = {};
    EXPECT_EQ(calc.GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 2);
    EXPECT_EQ(ids[1], 4);
    EXPECT_EQ(ids[2], 2);

    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"nope")};
    EXPECT_EQ(calc.GetIDsOfNames(IID_NULL, unknown, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    LPOLESTR missing[] = {const_cast<LPOLESTR>(u"Subtract")};
    EXPECT_EQ(calc.GetIDsOfNames(IID_NULL, missing, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

}  // namespace
