// Error information set by a served object reaches its caller in another process, through the
// vtable and through IDispatch::Invoke.
#include <gtest/gtest.h>

#include "tests/support/calc_server.h"
#include "tests/support/error_info_probe.h"

namespace {

using calctest::CLSID_Calc;
using calctest::IID_ICalc;

class RemoteErrorInfo : public kivtest::CalcServerTest {
  protected:
    void SetUp() override {
        CalcServerTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                                   reinterpret_cast<void**>(&calc_)),
                  S_OK);
    }
    void TearDown() override {
        calc_.Release();
        CalcServerTest::TearDown();
    }
    CComPtr<calctest::ICalc> calc_;
};

TEST_F(RemoteErrorInfo, ThroughTheVtableCarriesSourceAndDescription) {
    struct Row {
        LONG hr;
        HRESULT expected;
        bool has_info;
    };
    const Row rows[] = {{E_INVALIDARG, E_INVALIDARG, true}, {0, E_FAIL, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hr);
        EXPECT_EQ(calc_->Fail(row.hr), row.expected);
        auto seen = kivtest::TakeErrorInfo();
        ASSERT_EQ(seen.has_value(), row.has_info);
        if (seen) {
            EXPECT_EQ(seen->source, u"Calc.Test");
            EXPECT_EQ(seen->description, u"calc failed");
        }
    }
}

TEST_F(RemoteErrorInfo, ThroughInvokeFillsTheExceptionAndTheCallersInformation) {
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(calc_.QueryInterface(&dispatch), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = E_INVALIDARG;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    EXCEPINFO excep{};
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    EXPECT_EQ(_bstr_t(excep.bstrDescription, false).view(), u"calc failed");
    EXPECT_EQ(_bstr_t(excep.bstrSource, false).view(), u"Calc.Test");
    SysFreeString(excep.bstrHelpFile);
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen) << "the caller's error information is set as well";
    EXPECT_EQ(seen->description, u"calc failed");
}

}  // namespace
