// The Prime object as a connectable object: its connection point, and the Progress events of
// its long calls, with cancel, failing sinks and handlers that call back into the object.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win32.h"
#include "server/host/prime.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/progress_sink.h"

namespace {

using kivtest::ProgressSink;

constexpr char16_t kCancelled[] = u"The call was cancelled by a handler of the Progress event.";

CComPtr<IPrime2> NewPrime2() {
    CComPtr<IPrime2> prime;
    EXPECT_EQ(CPrime::CreateInstance(IID_IPrime2, reinterpret_cast<void**>(&prime)), S_OK);
    return prime;
}

std::u16string Description() {
    auto seen = kivtest::TakeErrorInfo();
    return seen ? seen->description : u"";
}

// 2^4423 - 1, a Mersenne prime of 1,332 digits: its Rabin-Miller trials take milliseconds each.
std::u16string MersennePrime4423() {
    std::string digits = "1";
    // Decimal text of 2^4423 - 1 by repeated doubling in base 10.
    for (int i = 0; i < 4423; ++i) {
        int carry = 0;
        for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
            const int d = (*it - '0') * 2 + carry;
            *it = static_cast<char>('0' + d % 10);
            carry = d / 10;
        }
        if (carry)
            digits.insert(digits.begin(), static_cast<char>('0' + carry));
    }
    digits.back() = static_cast<char>(digits.back() - 1);  // 2^k ends in 2, 4, 6 or 8
    return std::u16string(digits.begin(), digits.end());
}

// An even number whose pair search takes seconds: 2 followed by 3,999 zeros.
std::u16string LongSearchNumber() {
    return u"2" + std::u16string(3999, u'0');
}

struct LongCall {
    const char* name;
    const char16_t* activity;
    const char16_t* unit;
    std::function<HRESULT(IPrime2*)> run;
};

std::vector<LongCall> LongCalls() {
    return {
        {"trial division", u"trial division", u"divisors",
         [](IPrime2* p) {
             VARIANT_BOOL r;  // 2^61 - 1: about 7.6e8 odd divisors
             return p->IsPrimeNumber(_bstr_t(u"2305843009213693951").GetBSTR(), kivTrial_Division,
                                     0, &r);
         }},
        {"Rabin-Miller", u"Rabin-Miller test", u"trials",
         [](IPrime2* p) {
             VARIANT_BOOL r;
             return p->IsPrimeNumber(_bstr_t(MersennePrime4423().c_str()).GetBSTR(),
                                     kivRabin_Miller, 1000000, &r);
         }},
        {"pair search", u"Goldbach pair search", u"candidates",
         [](IPrime2* p) {
             CComPtr<IGoldbachPair> pair;
             return p->FindGoldbachPair(_bstr_t(LongSearchNumber().c_str()).GetBSTR(), 0, 130,
                                        &pair);
         }},
        {"test run", u"Goldbach pair search", u"candidates",
         [](IPrime2* p) {
             _bstr_t status;
             return p->RunTest(4000, VARIANT_FALSE, 130, status.GetAddress());
         }},
    };
}

TEST(PrimeEvents, LongCallsReportTheirProgressAndAHandlerCancelsThem) {
    for (const LongCall& call : LongCalls()) {
        SCOPED_TRACE(call.name);
        CComPtr<IPrime2> prime = NewPrime2();
        ProgressSink sink;
        sink.cancelAt = 3;
        ASSERT_NE(kivtest::Advise(prime, &sink), 0u);
        EXPECT_EQ(call.run(prime), E_ABORT);
        EXPECT_EQ(Description(), kCancelled);
        ASSERT_EQ(sink.events.size(), 3u);
        EXPECT_GE(sink.events[0].elapsed, 0.45);
        for (std::size_t i = 0; i < sink.events.size(); ++i) {
            const kivtest::ProgressEvent& e = sink.events[i];
            EXPECT_EQ(e.activity, call.activity);
            EXPECT_EQ(e.unit, call.unit);
            EXPECT_GT(e.expected, 0);
            EXPECT_FALSE(e.current.empty());
            if (i > 0) {
                EXPECT_GE(e.done, sink.events[i - 1].done);
                EXPECT_GE(e.elapsed - sink.events[i - 1].elapsed, 0.24);  // at most four a second
            }
        }
        // No stop is left behind: the next call is served in full.
        VARIANT_BOOL isPrime = VARIANT_FALSE;
        EXPECT_EQ(
            prime->IsPrimeNumber(_bstr_t(u"1000000007").GetBSTR(), kivTrial_Division, 0, &isPrime),
            S_OK);
        EXPECT_EQ(isPrime, VARIANT_TRUE);
    }
}

TEST(PrimeEvents, ShortCallsSendNone) {
    CComPtr<IPrime2> prime = NewPrime2();
    ProgressSink sink;
    ASSERT_NE(kivtest::Advise(prime, &sink), 0u);
    VARIANT_BOOL isPrime;
    CComPtr<IGoldbachPair> pair;
    _bstr_t status;
    EXPECT_EQ(
        prime->IsPrimeNumber(_bstr_t(u"1000000007").GetBSTR(), kivTrial_Division, 0, &isPrime),
        S_OK);
    EXPECT_EQ(prime->IsPrimeNumber(_bstr_t(u"1000000007").GetBSTR(), kivRabin_Miller, 10, &isPrime),
              S_OK);
    EXPECT_EQ(prime->FindGoldbachPair(_bstr_t(u"1000000000000").GetBSTR(), 0, 130, &pair), S_OK);
    EXPECT_EQ(prime->RunTest(30, VARIANT_FALSE, 130, status.GetAddress()), S_OK);
    EXPECT_EQ(sink.calls, 0u);
}

TEST(PrimeEvents, AFailingSinkIsLeftOutForTheRestOfTheCall) {
    for (HRESULT failure : {RPC_E_DISCONNECTED, E_FAIL}) {
        CComPtr<IPrime2> prime = NewPrime2();
        ProgressSink dead, counting;
        dead.failWith = failure;
        counting.cancelAt = 3;
        ASSERT_NE(kivtest::Advise(prime, &dead), 0u);
        ASSERT_NE(kivtest::Advise(prime, &counting), 0u);
        CComPtr<IGoldbachPair> pair;
        EXPECT_EQ(
            prime->FindGoldbachPair(_bstr_t(LongSearchNumber().c_str()).GetBSTR(), 0, 130, &pair),
            E_ABORT);
        EXPECT_EQ(dead.calls, 1u);
        EXPECT_EQ(counting.events.size(), 3u);
    }
}

TEST(PrimeEvents, AHandlerCallingBackIsServedUnlessItWouldShareTheRunningTest) {
    struct Case {
        const char* name;
        std::function<HRESULT(IPrime2*)> outer;
        HRESULT innerIsPrime;  // IsPrimeNumber("97") from the handler
    };
    const Case cases[] = {
        {"during a test",
         [](IPrime2* p) {
             VARIANT_BOOL r;
             return p->IsPrimeNumber(_bstr_t(u"2305843009213693951").GetBSTR(), kivTrial_Division,
                                     0, &r);
         },
         DISP_E_EXCEPTION},
        {"during a search",
         [](IPrime2* p) {
             CComPtr<IGoldbachPair> pair;
             return p->FindGoldbachPair(_bstr_t(LongSearchNumber().c_str()).GetBSTR(), 0, 130,
                                        &pair);
         },
         S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<IPrime2> prime = NewPrime2();
        ProgressSink sink;
        sink.cancelAt = 1;
        HRESULT isPrimeHr = E_UNEXPECTED, pairHr = E_UNEXPECTED, sysHr = E_UNEXPECTED;
        std::u16string refusal;
        std::u16string pairText;
        sink.handler = [&] {
            VARIANT_BOOL r;
            isPrimeHr = prime->IsPrimeNumber(_bstr_t(u"97").GetBSTR(), kivRabin_Miller, 10, &r);
            refusal = Description();
            CComPtr<IGoldbachPair> pair;
            pairHr = prime->FindGoldbachPair(_bstr_t(u"100").GetBSTR(), 0, 130, &pair);
            _bstr_t text;
            if (pair)
                pair->get_Text(text.GetAddress());
            pairText = text.GetBSTR() ? std::u16string(text.GetBSTR()) : u"";
            _bstr_t report;
            sysHr = prime->get_SysInfo(report.GetAddress());
        };
        ASSERT_NE(kivtest::Advise(prime, &sink), 0u);
        EXPECT_EQ(c.outer(prime), E_ABORT);  // the handler's calls left the cancel in place
        EXPECT_EQ(isPrimeHr, c.innerIsPrime);
        if (FAILED(c.innerIsPrime)) {
            EXPECT_EQ(refusal,
                      u"The object is testing a number for a call still running; IsPrime and "
                      u"IsPrimeNumber on the same object must wait until that call ends.");
        }
        EXPECT_EQ(pairHr, S_OK);
        EXPECT_EQ(pairText, u"3 + 97");
        EXPECT_TRUE(SUCCEEDED(sysHr));
    }
}

TEST(PrimeEvents, TheConnectionPointKeepsItsSinksAsWindowsDefines) {
    CComPtr<IPrime2> prime = NewPrime2();
    CComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(
        prime->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
        S_OK);
    CComPtr<IConnectionPoint> point, none;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IPrimeEvents, &point), S_OK);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID__IPrimeEvents);
    CComPtr<IConnectionPointContainer> back;
    EXPECT_EQ(point->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(back), static_cast<IUnknown*>(container));

    CComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], static_cast<IConnectionPoint*>(point));
    listed[0]->Release();

    ProgressSink a, b;
    DWORD ca = 0, cb = 0;
    EXPECT_EQ(point->Advise(nullptr, &ca), E_POINTER);
    ASSERT_EQ(point->Advise(&a, &ca), S_OK);
    ASSERT_EQ(point->Advise(&b, &cb), S_OK);
    EXPECT_NE(ca, 0u);
    EXPECT_NE(ca, cb);
    CComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    EXPECT_EQ(point->Unadvise(ca), S_OK);  // the enumerator keeps its own list
    CONNECTDATA data[3] = {};
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, ca);
    EXPECT_EQ(data[1].dwCookie, cb);
    for (ULONG i = 0; i < fetched; ++i)
        data[i].pUnk->Release();
    EXPECT_EQ(connections->Reset(), S_OK);
    EXPECT_EQ(connections->Skip(3), S_FALSE);
    EXPECT_EQ(point->Unadvise(ca), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cb), S_OK);
}

}  // namespace
