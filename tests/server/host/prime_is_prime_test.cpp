// IsPrime through the Prime object: its frame turns the body's failures into error
// information, and a null out-pointer into E_POINTER alone.
#include <gtest/gtest.h>

#include <string>

#include "server/host/prime.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/prime_object.h"

namespace {

using kivtest::NewPrime;

TEST(PrimeIsPrime, NullResultPointerLeavesErrorInfoAlone) {
    CComPtr<IPrime> prime = NewPrime();
    _bstr_t number(u"7");
    ReportError("left from before");
    EXPECT_EQ(prime->IsPrime(number.GetBSTR(), 1, 0, nullptr), E_POINTER);
    EXPECT_EQ(prime->IsPrime(nullptr, 9, -1, nullptr), E_POINTER);
    auto seen = kivtest::TakeErrorInfo();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->description, u"left from before");
}

TEST(PrimeIsPrime, AnswersAndFailuresReachTheCaller) {
    struct Case {
        const char16_t* text;  // null: no BSTR
        LONG method, trials;
        HRESULT hr;
        LONG ret;
        const char* description;  // of the failure
    };
    const Case cases[] = {
        {u"2305843009213693951", 1, 0, S_OK, 1, nullptr},
        {u"56052361", 1, 0, S_OK, 0, nullptr},  // a Carmichael number the congruences admit
        {u"56052361", 2, -1, S_OK, 0, nullptr},
        {u"1000000007", 3, 0, S_OK, 1, nullptr},
        {nullptr, 1, 0, DISP_E_EXCEPTION, 0, kivmsg::InvalidParameters},
        {nullptr, 3, 5, DISP_E_EXCEPTION, 0, kivmsg::InvalidParameters},
        {u"7", 4, 0, DISP_E_EXCEPTION, 0, kivmsg::InvalidParameters},
        {u"7", 3, -1, DISP_E_EXCEPTION, 0, kivmsg::InvalidParameters},
        {u"1", 2, 0, DISP_E_EXCEPTION, 0, kivmsg::NaturalNumber},
        {u"", 3, 0, DISP_E_EXCEPTION, 0, "bad conversion from char*"},
        {u"9223372036854775808", 1, 0, DISP_E_EXCEPTION, 0, kivmsg::MaxLimit},
    };
    CComPtr<IPrime> prime = NewPrime();
    for (const Case& c : cases) {
        _bstr_t number;
        if (c.text != nullptr)
            number = _bstr_t(std::u16string_view(c.text));
        LONG ret = 7;
        EXPECT_EQ(prime->IsPrime(c.text != nullptr ? number.GetBSTR() : nullptr, c.method, c.trials,
                                 &ret),
                  c.hr);
        EXPECT_EQ(ret, c.ret);
        auto seen = kivtest::TakeErrorInfo();
        if (c.description == nullptr) {
            EXPECT_FALSE(seen);
        } else {
            ASSERT_TRUE(seen);
            EXPECT_EQ(seen->description, kivtest::U16(c.description));
        }
    }
}

}  // namespace
