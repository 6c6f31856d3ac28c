// Scripting clients' variables (VT_BYREF | VT_VARIANT) aimed at IPrime's typed out-parameters:
// the rewriting itself, and late-bound calls of CPrime that receive their results in them.
#include "server/host/typed_out_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/utf8_text.h"
#include "server/host/prime.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"

namespace {

// A VARIANT that frees what it holds.
struct Var {
    Var() { VariantInit(&v); }
    ~Var() { VariantClear(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    VARIANT v;
};

enum class Start { Empty, Text, Number };

void Fill(VARIANT* v, Start start) {
    VariantClear(v);
    if (start == Start::Text) {
        v->vt = VT_BSTR;
        v->bstrVal = SysAllocString(u"old");
    } else if (start == Start::Number) {
        v->vt = VT_I2;
        v->iVal = 5;
    }
}

VARIANT ByRef(VARIANT* variable) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BYREF | VT_VARIANT;
    arg.pvarVal = variable;
    return arg;
}

VARIANT Text(const char16_t* text) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(text);
    return arg;
}

VARIANT Int(LONG value) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = value;
    return arg;
}

// Arguments in call order, handed to Invoke reversed; owns the by-value ones.
struct Args {
    explicit Args(std::vector<VARIANT> in_order) : values(in_order.rbegin(), in_order.rend()) {}
    ~Args() {
        for (VARIANT& v : values)
            if (!(v.vt & VT_BYREF))
                VariantClear(&v);
    }
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    DISPPARAMS params() { return {values.data(), nullptr, static_cast<UINT>(values.size()), 0}; }
    std::vector<VARIANT> values;
};

CComPtr<ITypeInfo> PrimeInfo() {
    const std::u16string path = comrt::utf8_to_utf16(kivtest::KivPath());
    CComPtr<ITypeLib> library;
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(LoadTypeLib(path.c_str(), &library), S_OK);
    if (library) {
        EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IPrime, &info), S_OK);
    }
    return info;
}

const Start kStarts[] = {Start::Empty, Start::Text, Start::Number};

TEST(TypedOutArguments, VariablesBecomeReferencesOfTheParameterTypeAndReceiveTheResults) {
    CComPtr<ITypeInfo> info = PrimeInfo();
    ASSERT_TRUE(info);
    for (Start start : kStarts) {
        SCOPED_TRACE(static_cast<int>(start));
        Var first, second, ret;
        for (VARIANT* v : {&first.v, &second.v, &ret.v})
            Fill(v, start);
        Args args({Text(u"100"), Int(0), ByRef(&first.v), ByRef(&second.v), ByRef(&ret.v)});
        DISPPARAMS params = args.params();
        TypedOutArguments rewriter;
        ASSERT_EQ(rewriter.Rewrite(info, 3, &params, nullptr), S_OK);
        DISPPARAMS* out = rewriter.Params();
        ASSERT_EQ(out->cArgs, 5u) << "the optional threads per core stays omitted";
        EXPECT_EQ(out->rgvarg[4].vt, VT_BSTR) << "inputs pass as given";
        EXPECT_EQ(out->rgvarg[3].vt, VT_I4);
        ASSERT_EQ(out->rgvarg[2].vt, VT_BYREF | VT_BSTR);
        ASSERT_EQ(out->rgvarg[1].vt, VT_BYREF | VT_BSTR);
        ASSERT_EQ(out->rgvarg[0].vt, VT_BYREF | VT_I4);
        EXPECT_EQ(*out->rgvarg[2].pbstrVal, nullptr) << "an out-parameter starts empty";
        EXPECT_EQ(*out->rgvarg[0].plVal, 0);
        // What the method writes.
        *out->rgvarg[2].pbstrVal = SysAllocString(u"3");
        *out->rgvarg[1].pbstrVal = SysAllocString(u"97");
        *out->rgvarg[0].plVal = 1;
        rewriter.WriteBack();
        ASSERT_EQ(first.v.vt, VT_BSTR);
        EXPECT_EQ(std::u16string(first.v.bstrVal), u"3");
        ASSERT_EQ(second.v.vt, VT_BSTR);
        EXPECT_EQ(std::u16string(second.v.bstrVal), u"97");
        ASSERT_EQ(ret.v.vt, VT_I4);
        EXPECT_EQ(ret.v.lVal, 1);
    }
}

TEST(TypedOutArguments, WithoutWriteBackTheVariableStaysAndTheResultIsFreed) {
    CComPtr<ITypeInfo> info = PrimeInfo();
    ASSERT_TRUE(info);
    Var first, second, ret;
    Fill(&first.v, Start::Text);
    {
        Args args({Text(u"100"), Int(0), ByRef(&first.v), ByRef(&second.v), ByRef(&ret.v)});
        DISPPARAMS params = args.params();
        TypedOutArguments rewriter;
        ASSERT_EQ(rewriter.Rewrite(info, 3, &params, nullptr), S_OK);
        *rewriter.Params()->rgvarg[2].pbstrVal = SysAllocString(u"left by a failed call");
    }
    ASSERT_EQ(first.v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(first.v.bstrVal), u"old");
    EXPECT_EQ(ret.v.vt, VT_EMPTY);
}

TEST(TypedOutArguments, TypedReferencesAndUnknownMembersPassUnchanged) {
    CComPtr<ITypeInfo> info = PrimeInfo();
    ASSERT_TRUE(info);
    LONG ret = 7;
    VARIANT typed;
    VariantInit(&typed);
    typed.vt = VT_BYREF | VT_I4;
    typed.plVal = &ret;
    Args args({Text(u"7"), Int(1), Int(0), typed});
    DISPPARAMS params = args.params();
    for (DISPID id : {1, 99}) {
        TypedOutArguments rewriter;
        ASSERT_EQ(rewriter.Rewrite(info, id, &params, nullptr), S_OK);
        EXPECT_EQ(rewriter.Params(), &params);
    }
}

// Late-bound calls of CPrime with scripting variables, as VBScript makes them.
class PrimeScriptCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        // Invoke reads IPrime's type information from the registered kivLib.
        ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
        ASSERT_EQ(CPrime::CreateInstance(IID_IDispatch, reinterpret_cast<void**>(&dispatch_)),
                  S_OK);
    }
    HRESULT Call(DISPID id, Args& args, EXCEPINFO* excep) {
        DISPPARAMS params = args.params();
        return dispatch_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, excep,
                                 nullptr);
    }
    CComPtr<IDispatch> dispatch_;
};

TEST_F(PrimeScriptCalls, VariablesReceiveTheResults) {
    for (Start start : kStarts) {
        SCOPED_TRACE(static_cast<int>(start));
        Var is_prime;
        Fill(&is_prime.v, start);
        Args prime_args({Text(u"1000000007"), Int(kivRabin_Miller), Int(0), ByRef(&is_prime.v)});
        ASSERT_EQ(Call(1, prime_args, nullptr), S_OK);
        ASSERT_EQ(is_prime.v.vt, VT_I4);
        EXPECT_EQ(is_prime.v.lVal, 1);

        Var first, second, ret;
        for (VARIANT* v : {&first.v, &second.v, &ret.v})
            Fill(v, start);
        Args pair_args({Text(u"100"), Int(0), ByRef(&first.v), ByRef(&second.v), ByRef(&ret.v)});
        ASSERT_EQ(Call(3, pair_args, nullptr), S_OK);
        ASSERT_EQ(first.v.vt, VT_BSTR);
        EXPECT_EQ(std::u16string(first.v.bstrVal), u"3");
        ASSERT_EQ(second.v.vt, VT_BSTR);
        EXPECT_EQ(std::u16string(second.v.bstrVal), u"97");
        ASSERT_EQ(ret.v.vt, VT_I4);
        EXPECT_EQ(ret.v.lVal, 1);
    }
}

TEST_F(PrimeScriptCalls, AFailedCallLeavesTheVariableAlone) {
    Var ret;
    Fill(&ret.v, Start::Text);
    Args args({Text(u"abc"), Int(kivAKS), Int(0), ByRef(&ret.v)});
    EXCEPINFO excep{};
    EXPECT_EQ(Call(1, args, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(_bstr_t(excep.bstrDescription, false).view(),
              u"The input number must be a natural number greater than one with precision P such "
              u"that 1 <= P <= 1073739772.");
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    ASSERT_EQ(ret.v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(ret.v.bstrVal), u"old");
}

}  // namespace
